#pragma once

#include "AudioSource.h"

#include <functional>
#include <memory>
#include <optional>

namespace ambrel {

// A source whose buffers pass through a function on their way out (on the capture thread); it
// may hold a buffer back by giving nothing. Everything else goes to the source it wraps.
class ProcessedAudioSource : public AudioSource {
public:
    using Process = std::function<std::optional<AudioBuffer>(AudioBuffer buffer)>;

    ProcessedAudioSource(std::shared_ptr<AudioSource> source, Process process)
        : source_(std::move(source))
        , process_(std::move(process)) {}

    void start(BufferCallback onBuffer, InterruptionCallback onInterruption = {}) override;
    void stop() override { source_->stop(); }
    bool startsOnAnyThread() const override { return source_->startsOnAnyThread(); }
    void setDeviceCallback(DeviceChange callback) override {
        source_->setDeviceCallback(std::move(callback));
    }
    bool switchDevice(const core::MicrophoneSelection& selection) override {
        return source_->switchDevice(selection);
    }

    const std::shared_ptr<AudioSource>& source() const { return source_; }

private:
    std::shared_ptr<AudioSource> source_;
    Process process_;
};

} // namespace ambrel
