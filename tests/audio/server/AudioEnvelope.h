#pragma once

#include <cstddef>
#include <vector>

namespace ambrel::testing {

// The loudness of a sound in 10-millisecond steps: enough to recognise a recording of a known
// sound whatever its sample rate and channel layout.
struct AudioEnvelope {
    std::vector<double> frames;

    static AudioEnvelope of(const std::vector<float>& interleaved, double sampleRate, int channels);

    // The best Pearson correlation of `reference` against any stretch of this envelope.
    double bestMatch(const AudioEnvelope& reference) const;
};

} // namespace ambrel::testing
