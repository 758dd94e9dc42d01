#pragma once

namespace ambrel {

// The format of one input stream of a device.
struct StreamFormat {
    double sampleRate = 0;
    bool isFloat32 = true; // linear PCM, 32-bit float samples
    int channels = 0;

    bool operator==(const StreamFormat&) const = default;
};

} // namespace ambrel
