#pragma once

#include "audio/AudioBuffer.h"
#include "audio/StreamFormat.h"

#include <memory>
#include <optional>

namespace ambrel {

// Converts captured audio to what a recogniser wants: mono (channels averaged), samples kept
// within -1...1, resampled to the target rate. Keeps resampler state between calls, so a
// stream of buffers converts without seams.
class BufferConverter {
public:
    explicit BufferConverter(StreamFormat target);
    ~BufferConverter();
    BufferConverter(BufferConverter&&) noexcept;
    BufferConverter& operator=(BufferConverter&&) noexcept;

    const StreamFormat& target() const { return target_; }

    // Absent when nothing came out (the resampler may hold a few frames back at first).
    std::optional<AudioBuffer> convert(const AudioBuffer& buffer);

private:
    struct Resampler;
    StreamFormat target_;
    std::unique_ptr<Resampler> resampler_;
    double inputRate_ = 0;
};

} // namespace ambrel
