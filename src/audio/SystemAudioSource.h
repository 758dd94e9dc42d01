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

    // `started` is told on every start (the app keeps that it asked to record). With
    // `awaitServer`, a start while the sound server is not there (yet) succeeds as an
    // interruption: the connection keeps trying and capture begins, with word that it resumed,
    // when the server answers; without it such a start fails.
    explicit SystemAudioSource(std::function<void()> started = {}, bool awaitServer = false);
    ~SystemAudioSource() override;

    void start(BufferCallback onBuffer, InterruptionCallback onInterruption = {}) override;
    void stop() override;

    // The source being recorded now ("speakers.monitor"), for diagnostics and tests.
    std::optional<std::string> recordedSource();

private:
    struct Capture;
    std::function<void()> started_;
    bool awaitServer_ = false;
    std::unique_ptr<Capture> capture_;
};

} // namespace ambrel
