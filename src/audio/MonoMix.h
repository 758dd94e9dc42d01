#pragma once

#include "AudioBuffer.h"
#include "StreamFormat.h"

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace ambrel {

// How one microphone is recorded: its rate, and which of its channels go into the mono mix.
struct CapturePlan {
    double sampleRate = 0;
    std::optional<std::vector<int>> channels; // zero-based; absent: every channel

    bool operator==(const CapturePlan&) const = default;
};

namespace MonoMix {

// Throws AudioSourceError "Unsupported microphone format" unless every stream is 32-bit float
// at one positive rate. Devices of three channels or more mix only their preferred stereo pair
// (1-based channel numbers), else the first two channels.
CapturePlan plan(std::span<const StreamFormat> formats, std::span<const int> preferredStereo);

// One buffer of interleaved float samples as a device delivers it.
struct InputBuffer {
    const float* data = nullptr;
    std::size_t byteSize = 0;
    int channels = 0;
};

// The mono average of the planned channels that carry sound (a channel whose peak is at most
// 0.001 is left out, so a silent second channel does not halve the first). Absent when there
// are no frames.
std::optional<AudioBuffer> mix(std::span<const InputBuffer> buffers, const CapturePlan& plan);

} // namespace MonoMix
} // namespace ambrel
