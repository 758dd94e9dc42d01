#include "ResidualEchoGate.h"

#include <algorithm>
#include <cmath>

namespace ambrel {

void ResidualEchoGate::apply(double removedDecibels, double heardLevel, std::span<float> left) {
    if (heardLevel >= settings_.quietBelow) {
        if (removedDecibels >= 0) {
            removed_ += settings_.smoothing * (removedDecibels - removed_);
        }
        if (removed_ > settings_.closeAbove) {
            closed_ = true;
            framesBelow_ = 0;
        } else if (removed_ < settings_.openBelow && closed_ &&
                   ++framesBelow_ >= settings_.openAfter) {
            closed_ = false;
        }
    }
    const double target =
        closed_ ? std::min(settings_.closedGain,
                           std::pow(10.0, (removed_ - settings_.leastSuppression) / 20))
                : 1.0;
    const double step = (target - gain_) / static_cast<double>(left.size());
    for (float& sample : left) {
        gain_ += step;
        sample = static_cast<float>(sample * gain_);
    }
    gain_ = target;
}

void ResidualEchoGate::reset() {
    removed_ = 0;
    closed_ = false;
    framesBelow_ = 0;
    gain_ = 1;
}

} // namespace ambrel
