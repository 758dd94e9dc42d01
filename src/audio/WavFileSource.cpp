#include "WavFileSource.h"

#include <cmath>

namespace ambrel {

WavFileSource::WavFileSource(const std::filesystem::path& path, double chunkSeconds)
    : file_(path)
    , chunkSeconds_(chunkSeconds) {}

void WavFileSource::start(BufferCallback onBuffer, InterruptionCallback) {
    onBuffer_ = std::move(onBuffer);
}

void WavFileSource::stop() {
    onBuffer_ = nullptr;
}

bool WavFileSource::deliverNext() {
    if (!onBuffer_) {
        return false;
    }
    const auto frames =
        static_cast<std::size_t>(std::max(1.0, std::round(file_.sampleRate() * chunkSeconds_)));
    auto samples = file_.read(frames);
    if (samples.empty()) {
        return false;
    }
    onBuffer_(AudioBuffer{file_.sampleRate(), file_.channels(), std::move(samples)});
    return true;
}

} // namespace ambrel
