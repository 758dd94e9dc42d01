#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace ambrel {

// Cuts a stream of samples into frames of one size; samples that do not fill a frame wait for
// the next ones.
class FrameSlicer {
public:
    explicit FrameSlicer(std::size_t frameSize) : frameSize_(frameSize > 0 ? frameSize : 1) {}

    // The frames these samples complete, oldest first.
    std::vector<std::vector<float>> add(std::span<const float> samples);
    // Samples waiting for the next frame.
    std::size_t pending() const { return waiting_.size(); }
    void clear() { waiting_.clear(); }

private:
    std::size_t frameSize_;
    std::vector<float> waiting_;
};

} // namespace ambrel
