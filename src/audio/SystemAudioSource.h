#pragma once

#include "AudioSource.h"
#include "PulseConnection.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ambrel {

// Records what the computer plays: the monitor of the default sink, as 32-bit float at the
// monitor's own rate and channels. It follows the default sink, never records anything but a
// monitor, and keeps going across sound-server restarts. Runs on its own thread.
class SystemAudioSource : public AudioSource {
public:
    static constexpr const char* streamName = "Ambrel System Audio";

    // `started` is told on every start (the app keeps that it asked to record).
    explicit SystemAudioSource(std::function<void()> started = {});
    ~SystemAudioSource() override;

    void start(BufferCallback onBuffer, InterruptionCallback onInterruption = {}) override;
    void stop() override;

    // The source being recorded now ("speakers.monitor"), for diagnostics and tests.
    std::optional<std::string> recordedSource();

private:
    struct Capture;
    std::function<void()> started_;
    std::unique_ptr<Capture> capture_;
};

} // namespace ambrel
