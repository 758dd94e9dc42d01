#include "FrameClock.h"

#include <cmath>

namespace ambrel {

namespace {
// How far each arrival pulls the running count: enough for drift, little for jitter.
constexpr double pull = 0.02;
} // namespace

double FrameClock::stamp(std::size_t count, double observedEnd) {
    const double observed = observedEnd - static_cast<double>(count) * frameSeconds_;
    double start = observed;
    if (next_ && std::abs(observed - *next_) <= tolerance_) {
        start = *next_ + (observed - *next_) * pull;
    }
    next_ = start + static_cast<double>(count) * frameSeconds_;
    return start;
}

} // namespace ambrel
