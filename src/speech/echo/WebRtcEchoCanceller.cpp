#include "WebRtcEchoCanceller.h"

#include <stdexcept>
#include <webrtc/modules/audio_processing/include/audio_processing.h>

namespace ambrel {

namespace {

const webrtc::StreamConfig& monoStream() {
    static const webrtc::StreamConfig stream(WebRtcEchoCanceller::processingRate, 1);
    return stream;
}

} // namespace

WebRtcEchoCanceller::WebRtcEchoCanceller() {
    webrtc::Config config;
    // The delays a desktop reports mean little; the module finds them in the signals.
    config.Set<webrtc::DelayAgnostic>(new webrtc::DelayAgnostic(true));
    // 128 ms of filter instead of 48: rooms and laptop speakers ring longer than a headset.
    config.Set<webrtc::ExtendedFilter>(new webrtc::ExtendedFilter(true));
    module_.reset(webrtc::AudioProcessing::Create(config));
    if (!module_) {
        throw std::runtime_error("the echo canceller could not be made");
    }
    configure();
}

WebRtcEchoCanceller::~WebRtcEchoCanceller() = default;

void WebRtcEchoCanceller::configure() {
    webrtc::ProcessingConfig streams;
    for (auto& stream : streams.streams) {
        stream = monoStream();
    }
    if (module_->Initialize(streams) != webrtc::AudioProcessing::kNoError ||
        module_->echo_cancellation()->Enable(true) != webrtc::AudioProcessing::kNoError ||
        module_->echo_cancellation()->set_suppression_level(
            webrtc::EchoCancellation::kModerateSuppression) != webrtc::AudioProcessing::kNoError ||
        module_->noise_suppression()->set_level(webrtc::NoiseSuppression::kModerate) !=
            webrtc::AudioProcessing::kNoError ||
        module_->noise_suppression()->Enable(true) != webrtc::AudioProcessing::kNoError ||
        module_->high_pass_filter()->Enable(true) != webrtc::AudioProcessing::kNoError) {
        throw std::runtime_error("the echo canceller could not be set up");
    }
}

void WebRtcEchoCanceller::analyzeReference(std::span<const float> frame) {
    if (frame.size() != frameSize()) {
        throw std::invalid_argument("a reference frame must be 10 ms long");
    }
    const float* source = frame.data();
    // The module leaves the reference alone unless asked to enhance it; it wants somewhere to
    // write all the same.
    float scratch[processingRate / 100];
    float* destination = scratch;
    module_->ProcessReverseStream(&source, monoStream(), monoStream(), &destination);
}

void WebRtcEchoCanceller::process(std::span<float> frame, int delayMilliseconds) {
    if (frame.size() != frameSize()) {
        throw std::invalid_argument("a microphone frame must be 10 ms long");
    }
    // Out-of-range delays are clipped by the module, with a warning we need not hear.
    module_->set_stream_delay_ms(delayMilliseconds);
    const float* source = frame.data();
    float* destination = frame.data();
    module_->ProcessStream(&source, monoStream(), monoStream(), &destination);
}

void WebRtcEchoCanceller::reset() {
    configure();
}

} // namespace ambrel
