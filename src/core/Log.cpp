#include "Log.h"

#include <cstdio>
#include <memory>
#include <mutex>

namespace ambrel::core {

namespace {

std::mutex sinkMutex;

Log::Sink& currentSink() {
    static Log::Sink sink;
    return sink;
}

void defaultSink(std::string_view category, LogLevel level, std::string_view message) {
    if (level < LogLevel::notice) {
        return;
    }
    std::fprintf(stderr, "ambrel[%.*s] %.*s: %.*s\n", static_cast<int>(category.size()),
                 category.data(), static_cast<int>(name(level).size()), name(level).data(),
                 static_cast<int>(message.size()), message.data());
}

} // namespace

std::string_view name(LogLevel level) {
    switch (level) {
    case LogLevel::debug:
        return "debug";
    case LogLevel::info:
        return "info";
    case LogLevel::notice:
        return "notice";
    case LogLevel::error:
        return "error";
    case LogLevel::fault:
        return "fault";
    }
    return "unknown";
}

Log& Log::audio() {
    static Log log("org.ambrel.Ambrel.audio");
    return log;
}

Log& Log::transcript() {
    static Log log("org.ambrel.Ambrel.transcript");
    return log;
}

void Log::setSink(Sink sink) {
    const std::lock_guard lock(sinkMutex);
    currentSink() = std::move(sink);
}

void Log::write(LogLevel level, std::string_view message) const {
    const std::lock_guard lock(sinkMutex);
    if (currentSink()) {
        currentSink()(category_, level, message);
    } else {
        defaultSink(category_, level, message);
    }
}

} // namespace ambrel::core
