#pragma once

#include "BufferConverter.h"
#include "Recognizer.h"

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace ambrel {

// Hands captured audio to the recognisers, converted once per distinct format and stamped with
// a running sample count: audio time since the pipeline began. The count keeps running while
// it agrees with the clock within a quarter second, and jumps forward (never back) after a gap.
// Used on the audio source's thread only.
class AudioFanOut {
public:
    AudioFanOut(const std::vector<std::pair<StreamFormat, Recognizer*>>& recognizers,
                double clockOrigin, std::function<double()> monotonic);

    void feed(const AudioBuffer& buffer);

private:
    struct Target {
        StreamFormat format;
        BufferConverter converter;
        std::vector<Recognizer*> inputs;
        std::int64_t nextSample = 0;
    };

    std::vector<Target> targets_;
    double clockOrigin_;
    std::function<double()> monotonic_;
};

} // namespace ambrel
