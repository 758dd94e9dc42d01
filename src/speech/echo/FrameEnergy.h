#pragma once

#include <span>

namespace ambrel {

// Sum of the squared samples of a frame, in double: the measure of loudness the canceller's
// parts compare.
inline double energyOf(std::span<const float> frame) {
    double energy = 0;
    for (const float sample : frame) {
        energy += static_cast<double>(sample) * sample;
    }
    return energy;
}

} // namespace ambrel
