#include "VoskTimeline.h"

#include <algorithm>
#include <cmath>

namespace ambrel {

VoskTimeline::VoskTimeline(double rate, double tolerance)
    : rate_(rate)
    , tolerance_(static_cast<std::int64_t>(std::llround(rate * tolerance))) {}

bool VoskTimeline::breaks(std::int64_t startSample) const {
    return started_ && std::abs(startSample - next_) > tolerance_;
}

VoskTimeline::Placement VoskTimeline::place(std::int64_t startSample, std::size_t frames) {
    Placement placement;
    if (!started_ || breaks(startSample)) {
        started_ = true;
        placement.newStream = true;
        streamFed_ = fed_;
        streamStart_ = startSample;
        next_ = startSample;
    }
    const auto count = static_cast<std::int64_t>(frames);
    if (startSample > next_) {
        placement.silence = static_cast<std::size_t>(startSample - next_);
    } else {
        placement.skip = static_cast<std::size_t>(std::min(next_ - startSample, count));
    }
    next_ = std::max(next_, startSample + count);
    return placement;
}

double VoskTimeline::offset() const {
    return static_cast<double>(streamStart_ - streamFed_) / rate_;
}

double VoskTimeline::now() const {
    return offset() + static_cast<double>(fed_) / rate_;
}

} // namespace ambrel
