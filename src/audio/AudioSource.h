#pragma once

#include "AudioBuffer.h"
#include "AudioSourceError.h"
#include "core/MicrophoneSelection.h"

#include <functional>
#include <optional>
#include <string>

namespace ambrel {

// Something that captures audio. Buffers arrive on the source's own thread, never the main
// thread, one callback at a time.
class AudioSource {
public:
    using BufferCallback = std::function<void(AudioBuffer buffer)>;
    // Capture was lost (with the reason) or is back (absent); from the source's thread.
    using InterruptionCallback = std::function<void(const std::optional<AudioSourceError>& lost)>;
    // The device recorded now, or the problem that keeps one from recording (none: no device).
    using DeviceChange = std::function<void(const std::optional<std::string>& deviceName,
                                            const std::optional<std::string>& problem)>;

    virtual ~AudioSource() = default;

    // Throws AudioSourceError when capture cannot start.
    virtual void start(BufferCallback onBuffer, InterruptionCallback onInterruption = {}) = 0;
    // Stops capturing and releases everything; harmless when not started or called twice.
    virtual void stop() = 0;

    // Whether start() and stop() may run on any thread (one at a time); false for sources that
    // live on the scheduler's thread and must be started there.
    virtual bool startsOnAnyThread() const { return true; }

    // Sources that choose among devices tell which one they record; the others never call it.
    virtual void setDeviceCallback(DeviceChange) {}
    // Records another device from now on, without a stop; false for a source with no choice.
    virtual bool switchDevice(const core::MicrophoneSelection&) { return false; }
};

} // namespace ambrel
