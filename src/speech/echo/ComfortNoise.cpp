#include "ComfortNoise.h"

#include "FrameEnergy.h"

#include <algorithm>
#include <cmath>

namespace ambrel {

namespace {

// Uniform noise between -a and a has a root mean square of a / sqrt(3).
const double uniformPeak = std::sqrt(3.0);
// The floor estimate falls at once to a quieter frame and rises by under 2 dB a second (from
// -120 dBFS at least), so that it follows a room that gets louder without taking the echo or a
// voice between two pauses for its floor.
constexpr double floorRise = 1.002;
constexpr double floorBottom = 1e-6;

} // namespace

ComfortNoise::ComfortNoise(int sampleRate, double levelDecibels)
    : base_(static_cast<float>(std::pow(10.0, levelDecibels / 20)))
    , fadeStep_(1.0 / (fadeInSeconds * sampleRate)) {}

void ComfortNoise::track(std::span<const float> heard) {
    const double level = std::sqrt(energyOf(heard) / static_cast<double>(heard.size()));
    floor_ = floor_ ? std::min(level, std::max(*floor_, floorBottom) * floorRise) : level;
}

void ComfortNoise::addTo(std::span<float> frame, double muted) {
    const double missing = std::max(0.0, floor_.value_or(0) - base_);
    const double step = (muted - muted_) / static_cast<double>(frame.size());
    for (float& sample : frame) {
        muted_ += step;
        fade_ = std::min(1.0, fade_ + fadeStep_);
        sample += static_cast<float>((base_ * fade_ + missing * muted_) * uniformPeak) *
                  distribution_(generator_);
    }
    muted_ = muted;
}

void ComfortNoise::reset() {
    floor_.reset();
    muted_ = 0;
    fade_ = 0;
}

} // namespace ambrel
