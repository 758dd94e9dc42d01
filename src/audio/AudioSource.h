#pragma once

#include "AudioBuffer.h"
#include "AudioSourceError.h"

#include <functional>
#include <optional>

namespace ambrel {

// Something that captures audio. Buffers arrive on the source's own thread, never the main
// thread, one callback at a time.
class AudioSource {
public:
    using BufferCallback = std::function<void(AudioBuffer buffer)>;
    // Capture was lost (with the reason) or is back (absent); from the source's thread.
    using InterruptionCallback = std::function<void(const std::optional<AudioSourceError>& lost)>;

    virtual ~AudioSource() = default;

    // Throws AudioSourceError when capture cannot start.
    virtual void start(BufferCallback onBuffer, InterruptionCallback onInterruption = {}) = 0;
    // Stops capturing and releases everything; harmless when not started or called twice.
    virtual void stop() = 0;
};

} // namespace ambrel
