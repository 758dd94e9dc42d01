#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

namespace ambrel {

namespace detail {

template <typename Sample>
double sumOfSquares(std::span<const Sample> frame) {
    double energy = 0;
    for (const Sample sample : frame) {
        energy += static_cast<double>(sample) * sample;
    }
    return energy;
}

} // namespace detail

// Sum of the squared samples of a frame, in double: the measure of loudness the canceller's
// parts compare.
inline double energyOf(std::span<const float> frame) {
    return detail::sumOfSquares(frame);
}

// The same of 16-bit samples, on the float scale where `fullScale` is 1.
inline double energyOf(std::span<const std::int16_t> frame, double fullScale) {
    return detail::sumOfSquares(frame) / (fullScale * fullScale);
}

// The mean power of `samples` samples whose energy is `energy`, in dBFS. The floor keeps digital
// silence from weighing more than quiet.
inline double levelOf(double energy, std::size_t samples) {
    return 10 * std::log10(energy / static_cast<double>(samples) + 1e-10);
}

inline double levelOf(std::span<const float> frame) {
    return levelOf(energyOf(frame), frame.size());
}

} // namespace ambrel
