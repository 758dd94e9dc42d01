#pragma once

#include <cstddef>
#include <optional>

namespace ambrel {

// Times the frames of one stream on the monotonic clock. Frames follow each other exactly while
// that agrees with when they arrive, nudged slowly towards the arrivals so that a sound card
// whose clock runs a little fast or slow is followed; after a gap or a jump beyond the
// tolerance the count starts again from the arrival.
class FrameClock {
public:
    FrameClock(double frameSeconds, double tolerance)
        : frameSeconds_(frameSeconds)
        , tolerance_(tolerance) {}

    // `count` frames were just completed, the last of them ending at `observedEnd`; returns the
    // start of the first of them (the others follow at one frame each).
    double stamp(std::size_t count, double observedEnd);
    void reset() { next_.reset(); }

private:
    double frameSeconds_;
    double tolerance_;
    std::optional<double> next_;
};

} // namespace ambrel
