#include "SpeexEchoCanceller.h"

#include "FrameEnergy.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <speex/speex_echo.h>
#include <speex/speex_preprocess.h>
#include <stdexcept>

namespace ambrel {

namespace {

// Reference frames that may wait for microphone frames: the caller feeds them as their sound
// is due, so more than a few means the two streams drift apart, and the oldest go.
constexpr std::size_t referenceBacklog = 3;

constexpr float fullScale = 32767.0F;

std::int16_t toSample(float sample) {
    return static_cast<std::int16_t>(std::lround(std::clamp(sample, -1.0F, 1.0F) * fullScale));
}

} // namespace

SpeexEchoCanceller::SpeexEchoCanceller(int tailMilliseconds)
    : heard_(frameSize())
    , left_(frameSize())
    , silence_(frameSize(), 0) {
    references_.reserve((referenceBacklog + 1) * frameSize());
    state_ = speex_echo_state_init(static_cast<int>(frameSize()),
                                   processingRate * tailMilliseconds / 1000);
    if (!state_) {
        throw std::runtime_error("the echo canceller could not be made");
    }
    int rate = processingRate;
    speex_echo_ctl(state_, SPEEX_ECHO_SET_SAMPLING_RATE, &rate);
    suppressor_ = speex_preprocess_state_init(static_cast<int>(frameSize()), processingRate);
    if (!suppressor_) {
        speex_echo_state_destroy(state_);
        throw std::runtime_error("the echo suppressor could not be made");
    }
    speex_preprocess_ctl(suppressor_, SPEEX_PREPROCESS_SET_ECHO_STATE, state_);
    // It suppresses the echo through its denoiser's gains, so the denoiser stays on (speexdsp's
    // default); at its default depth the room's floor stays steady, which a recogniser ignores.
    int on = 1;
    speex_preprocess_ctl(suppressor_, SPEEX_PREPROCESS_SET_DENOISE, &on);
}

SpeexEchoCanceller::~SpeexEchoCanceller() {
    speex_preprocess_state_destroy(suppressor_);
    speex_echo_state_destroy(state_);
}

void SpeexEchoCanceller::analyzeReference(std::span<const float> frame) {
    if (frame.size() != frameSize()) {
        throw std::invalid_argument("a reference frame must be 10 ms long");
    }
    if (references_.size() == referenceBacklog * frameSize()) {
        references_.erase(references_.begin(),
                          references_.begin() + static_cast<long>(frameSize()));
    }
    std::transform(frame.begin(), frame.end(), std::back_inserter(references_), toSample);
}

void SpeexEchoCanceller::process(std::span<float> frame, int /*delayMilliseconds*/) {
    if (frame.size() != frameSize()) {
        throw std::invalid_argument("a microphone frame must be 10 ms long");
    }
    const double heardEnergy = energyOf(frame);
    std::transform(frame.begin(), frame.end(), heard_.begin(), toSample);
    const bool fed = !references_.empty();
    speex_echo_cancellation(state_, heard_.data(), fed ? references_.data() : silence_.data(),
                            left_.data());
    if (fed) {
        references_.erase(references_.begin(),
                          references_.begin() + static_cast<long>(frameSize()));
    }
    const double filteredEnergy = energyOf(left_, fullScale);
    // Run on every frame, so that its estimates of the noise and the residue stay current.
    speex_preprocess_run(suppressor_, left_.data());
    std::transform(left_.begin(), left_.end(), frame.begin(),
                   [](std::int16_t sample) { return static_cast<float>(sample) / fullScale; });
    keepHeardWhereLouder(frame, heardEnergy);
    // The tiny bias keeps silence in and out at 0 dB removed.
    constexpr double bias = 1e-9;
    const double removed = 10 * std::log10((heardEnergy + bias) / (filteredEnergy + bias));
    gate_.apply(removed, levelOf(heardEnergy, frame.size()), frame);
}

void SpeexEchoCanceller::keepHeardWhereLouder(std::span<float> frame, double heardEnergy) {
    // A filter that adds to what was heard, more than the suppressor takes away, has learnt a
    // path that is not there, as when the microphone does not hear the speakers at all: the
    // frame stays as heard. Crossfaded, so that switching never clicks.
    const double target = energyOf(frame) > heardEnergy ? 1.0 : 0.0;
    const double step = (target - heardShare_) / static_cast<double>(frame.size());
    for (std::size_t i = 0; i < frame.size(); ++i) {
        heardShare_ += step;
        frame[i] =
            static_cast<float>(frame[i] * (1 - heardShare_) + heard_[i] / fullScale * heardShare_);
    }
    heardShare_ = target;
}

void SpeexEchoCanceller::reset() {
    // The suppressor has no reset: it takes the residue from the filter each frame, and its
    // noise estimate follows the new stream within a second.
    speex_echo_state_reset(state_);
    references_.clear();
    gate_.reset();
    heardShare_ = 0;
}

} // namespace ambrel
