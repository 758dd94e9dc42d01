#include "FrameSlicer.h"

#include <algorithm>

namespace ambrel {

std::vector<std::vector<float>> FrameSlicer::add(std::span<const float> samples) {
    std::vector<std::vector<float>> frames;
    while (!samples.empty()) {
        const std::size_t taken = std::min(frameSize_ - waiting_.size(), samples.size());
        waiting_.insert(waiting_.end(), samples.begin(), samples.begin() + taken);
        samples = samples.subspan(taken);
        if (waiting_.size() == frameSize_) {
            frames.push_back(std::move(waiting_));
            waiting_ = {};
            waiting_.reserve(frameSize_);
        }
    }
    return frames;
}

} // namespace ambrel
