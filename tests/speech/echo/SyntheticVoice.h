#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ambrel::testing {

// Speech-like sound for the echo tests: voiced syllables of changing pitch and length with
// pauses between them, the same for the same seed.
std::vector<float> syntheticVoice(double seconds, int rate, std::uint32_t seed, float peak = 0.5f);

// `signal` later by `delaySeconds` and quieter by `decibels`, the same length.
std::vector<float> delayedEcho(const std::vector<float>& signal, int rate, double delaySeconds,
                               double decibels);

// Energy in dB of samples [from, to).
double levelOf(const std::vector<float>& samples, std::size_t from, std::size_t to);

} // namespace ambrel::testing
