#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace ambrel::core {

enum class LogLevel { debug, info, notice, error, fault };

std::string_view name(LogLevel level);

// The two log categories of the program. Messages go to one process-wide sink: the app routes
// them to its logging categories, the command line to standard error.
class Log {
public:
    using Sink =
        std::function<void(std::string_view category, LogLevel level, std::string_view message)>;

    static Log& audio();
    static Log& transcript();

    // Replaces the sink for every category; an empty sink restores the default (notices and worse
    // to standard error). Safe from any thread.
    static void setSink(Sink sink);

    const std::string& category() const { return category_; }
    void write(LogLevel level, std::string_view message) const;
    void debug(std::string_view message) const { write(LogLevel::debug, message); }
    void info(std::string_view message) const { write(LogLevel::info, message); }
    void notice(std::string_view message) const { write(LogLevel::notice, message); }
    void error(std::string_view message) const { write(LogLevel::error, message); }
    void fault(std::string_view message) const { write(LogLevel::fault, message); }

private:
    explicit Log(std::string category) : category_(std::move(category)) {}

    std::string category_;
};

} // namespace ambrel::core
