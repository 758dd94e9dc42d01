#include "SyntheticVoice.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace ambrel::testing {

std::vector<float> syntheticVoice(double seconds, int rate, std::uint32_t seed, float peak) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, 1.0);
    const auto total = static_cast<std::size_t>(seconds * rate);
    std::vector<float> out(total, 0.0f);
    std::size_t at = static_cast<std::size_t>(unit(random) * 0.2 * rate);
    while (at < total) {
        const auto length = static_cast<std::size_t>((0.08 + 0.2 * unit(random)) * rate);
        const double pitch = 100 + 120 * unit(random);
        const double glide = (unit(random) - 0.5) * 0.6; // the pitch moves within a syllable
        const double formant = 400 + 2000 * unit(random);
        double phase = 0;
        for (std::size_t i = 0; i < length && at + i < total; ++i) {
            const double t = static_cast<double>(i) / static_cast<double>(length);
            const double f0 = pitch * (1 + glide * t);
            phase += 2 * std::numbers::pi * f0 / rate;
            double sample = 0;
            for (int h = 1; f0 * h < 3800; ++h) {
                const double weight = 1.0 / (1.0 + std::pow((f0 * h - formant) / 600.0, 2.0));
                sample += weight * std::sin(h * phase) / std::sqrt(h);
            }
            sample += 0.05 * noise(random);
            const double envelope = std::sin(std::numbers::pi * t);
            out[at + i] = static_cast<float>(0.25 * peak * envelope * sample);
        }
        at += length + static_cast<std::size_t>((0.02 + 0.25 * unit(random)) * rate);
    }
    for (auto& sample : out) {
        sample = std::clamp(sample, -peak, peak);
    }
    return out;
}

std::vector<float> delayedEcho(const std::vector<float>& signal, int rate, double delaySeconds,
                               double decibels) {
    const auto delay = static_cast<std::size_t>(delaySeconds * rate);
    const auto gain = static_cast<float>(std::pow(10.0, -decibels / 20.0));
    std::vector<float> out(signal.size(), 0.0f);
    for (std::size_t i = delay; i < signal.size(); ++i) {
        out[i] = gain * signal[i - delay];
    }
    return out;
}

double levelOf(const std::vector<float>& samples, std::size_t from, std::size_t to) {
    to = std::min(to, samples.size());
    double energy = 0;
    for (std::size_t i = from; i < to; ++i) {
        energy += static_cast<double>(samples[i]) * samples[i];
    }
    return 10 *
           std::log10(energy / static_cast<double>(std::max<std::size_t>(to - from, 1)) + 1e-12);
}

} // namespace ambrel::testing
