#pragma once

#include <cstddef>
#include <vector>

namespace ambrel {

// Captured PCM audio: interleaved 32-bit float samples. Owned by whoever receives it.
struct AudioBuffer {
    double sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;

    std::size_t frameCount() const {
        return channels > 0 ? samples.size() / static_cast<std::size_t>(channels) : 0;
    }
    bool operator==(const AudioBuffer&) const = default;
};

} // namespace ambrel
