#pragma once

#include "EchoCanceller.h"

#include <memory>

namespace webrtc {
class AudioProcessing;
}

namespace ambrel {

// The echo canceller of the WebRTC audio processing module, with its own delay estimation (the
// streams' reported delays are unreliable on a desktop) and the long filter that copes with
// reverberant rooms, followed by its noise suppression and a high-pass filter.
class WebRtcEchoCanceller : public EchoCanceller {
public:
    static constexpr int processingRate = 16000;

    // Throws std::runtime_error when the module cannot be set up.
    WebRtcEchoCanceller();
    ~WebRtcEchoCanceller() override;
    WebRtcEchoCanceller(const WebRtcEchoCanceller&) = delete;
    WebRtcEchoCanceller& operator=(const WebRtcEchoCanceller&) = delete;

    int sampleRate() const override { return processingRate; }
    void analyzeReference(std::span<const float> frame) override;
    void process(std::span<float> frame, int delayMilliseconds) override;
    void reset() override;

private:
    void configure();

    std::unique_ptr<webrtc::AudioProcessing> module_;
};

} // namespace ambrel
