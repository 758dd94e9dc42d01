#include "SpeexEchoCanceller.h"

#include <algorithm>
#include <cmath>
#include <speex/speex_echo.h>
#include <stdexcept>

namespace ambrel {

namespace {

// Reference frames that may wait for microphone frames: the caller feeds them as their sound
// is due, so more than a few means the two streams drift apart, and the oldest go.
constexpr std::size_t referenceBacklog = 3;

void toSamples(std::span<const float> frame, std::vector<std::int16_t>& samples) {
    samples.resize(frame.size());
    std::transform(frame.begin(), frame.end(), samples.begin(), [](float sample) {
        return static_cast<std::int16_t>(std::lround(std::clamp(sample, -1.0F, 1.0F) * 32767.0F));
    });
}

} // namespace

SpeexEchoCanceller::SpeexEchoCanceller(int tailMilliseconds)
    : heard_(frameSize())
    , left_(frameSize())
    , silence_(frameSize(), 0) {
    state_ = speex_echo_state_init(static_cast<int>(frameSize()),
                                   processingRate * tailMilliseconds / 1000);
    if (!state_) {
        throw std::runtime_error("the echo canceller could not be made");
    }
    int rate = processingRate;
    speex_echo_ctl(state_, SPEEX_ECHO_SET_SAMPLING_RATE, &rate);
}

SpeexEchoCanceller::~SpeexEchoCanceller() {
    speex_echo_state_destroy(state_);
}

void SpeexEchoCanceller::analyzeReference(std::span<const float> frame) {
    if (frame.size() != frameSize()) {
        throw std::invalid_argument("a reference frame must be 10 ms long");
    }
    references_.emplace_back();
    toSamples(frame, references_.back());
    while (references_.size() > referenceBacklog) {
        references_.pop_front();
    }
}

void SpeexEchoCanceller::process(std::span<float> frame, int /*delayMilliseconds*/) {
    if (frame.size() != frameSize()) {
        throw std::invalid_argument("a microphone frame must be 10 ms long");
    }
    toSamples(frame, heard_);
    const auto& played = references_.empty() ? silence_ : references_.front();
    speex_echo_cancellation(state_, heard_.data(), played.data(), left_.data());
    if (!references_.empty()) {
        references_.pop_front();
    }
    std::transform(left_.begin(), left_.end(), frame.begin(),
                   [](std::int16_t sample) { return static_cast<float>(sample) / 32767.0F; });
    const double removed = keepHeardWhereLouder(frame);
    gate_.apply(removed, frame);
}

double SpeexEchoCanceller::keepHeardWhereLouder(std::span<float> frame) {
    double heard = 0;
    double left = 0;
    for (std::size_t i = 0; i < frame.size(); ++i) {
        heard += static_cast<double>(heard_[i]) * heard_[i];
        left += static_cast<double>(frame[i]) * frame[i];
    }
    heard /= 32767.0 * 32767.0;
    // A filter that adds to what was heard has learnt a path that is not there, as when the
    // microphone does not hear the speakers at all: the frame stays as heard. Crossfaded, so
    // that switching never clicks.
    const double target = left > heard ? 1.0 : 0.0;
    const double step = (target - heardShare_) / static_cast<double>(frame.size());
    for (std::size_t i = 0; i < frame.size(); ++i) {
        heardShare_ += step;
        frame[i] =
            static_cast<float>(frame[i] * (1 - heardShare_) + heard_[i] / 32767.0 * heardShare_);
    }
    heardShare_ = target;
    // The tiny bias keeps silence in and out at 0 dB removed.
    constexpr double bias = 1e-9;
    return 10 * std::log10((heard + bias) / (left + bias));
}

void SpeexEchoCanceller::reset() {
    speex_echo_state_reset(state_);
    references_.clear();
    gate_.reset();
    heardShare_ = 0;
}

} // namespace ambrel
