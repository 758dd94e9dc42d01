#include "AudioFanOut.h"

#include <cmath>
#include <cstdlib>

namespace ambrel {

AudioFanOut::AudioFanOut(const std::vector<std::pair<StreamFormat, Recognizer*>>& recognizers,
                         double clockOrigin, std::function<double()> monotonic)
    : clockOrigin_(clockOrigin)
    , monotonic_(std::move(monotonic)) {
    for (const auto& [format, recognizer] : recognizers) {
        // Named for the lambda: clang before 16 cannot capture a structured binding.
        const StreamFormat& wanted = format;
        auto shared = std::find_if(targets_.begin(), targets_.end(),
                                   [&](const Target& t) { return t.format == wanted; });
        if (shared != targets_.end()) {
            shared->inputs.push_back(recognizer);
        } else {
            targets_.push_back(Target{format, BufferConverter(format), {recognizer}, 0});
        }
    }
}

void AudioFanOut::feed(const AudioBuffer& buffer) {
    const double elapsed = monotonic_() - clockOrigin_;
    for (auto& target : targets_) {
        auto converted = target.converter.convert(buffer);
        if (!converted) {
            continue; // this target's time line does not advance
        }
        const double rate = target.format.sampleRate;
        const auto frames = static_cast<std::int64_t>(converted->frameCount());
        // Where this buffer must have started if it ends now.
        const auto expected = static_cast<std::int64_t>(
            std::round(rate * (elapsed - static_cast<double>(frames) / rate)));
        const auto tolerance = static_cast<std::int64_t>(rate * 0.25);
        const std::int64_t start = std::llabs(expected - target.nextSample) < tolerance
                                       ? target.nextSample
                                       : std::max(target.nextSample, expected);
        target.nextSample = start + frames;
        for (std::size_t i = 0; i < target.inputs.size(); ++i) {
            // The last one may take the buffer; the others get copies.
            target.inputs[i]->feed(
                i + 1 == target.inputs.size() ? std::move(*converted) : *converted, start);
        }
    }
}

} // namespace ambrel
