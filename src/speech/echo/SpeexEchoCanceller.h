#pragma once

#include "EchoCanceller.h"
#include "ResidualEchoGate.h"

#include <cstdint>
#include <vector>

struct SpeexEchoState_;
struct SpeexPreprocessState_;

namespace ambrel {

// speexdsp's multidelay adaptive filter: a linear model of the echo path, learnt while the
// speakers play, subtracted from the microphone. What the model misses, speexdsp's suppressor
// takes down band by band, from the filter's own estimate of the echo, so that the user's voice
// stays where it is louder than the residue while both sides talk; a gate mutes frames that are
// residue alone. It wants its reference in step with the microphone, one frame each, which the
// caller's alignment gives.
class SpeexEchoCanceller : public EchoCanceller {
public:
    static constexpr int processingRate = 16000;
    // Long enough for the lead the caller leaves plus a room's reverberation.
    static constexpr int defaultTailMilliseconds = 400;

    // Throws std::runtime_error when the filter or its suppressor cannot be made.
    explicit SpeexEchoCanceller(int tailMilliseconds = defaultTailMilliseconds);
    ~SpeexEchoCanceller() override;
    SpeexEchoCanceller(const SpeexEchoCanceller&) = delete;
    SpeexEchoCanceller& operator=(const SpeexEchoCanceller&) = delete;

    int sampleRate() const override { return processingRate; }
    void analyzeReference(std::span<const float> frame) override;
    // The delay is ignored: the filter's length covers what the alignment leaves.
    void process(std::span<float> frame, int delayMilliseconds) override;
    void reset() override;
    double muted() const override { return 1.0 - gate_.gain(); }

private:
    // `heardEnergy`: of the frame before the filter.
    void keepHeardWhereLouder(std::span<float> frame, double heardEnergy);

    SpeexEchoState_* state_ = nullptr;
    SpeexPreprocessState_* suppressor_ = nullptr;
    // Frames fed but not yet matched, one after another; sized once, so that the capture
    // thread never allocates.
    std::vector<std::int16_t> references_;
    std::vector<std::int16_t> heard_;
    std::vector<std::int16_t> left_;
    std::vector<std::int16_t> silence_;
    double heardShare_ = 0; // of the frame given out, the rest being the suppressor's output
    ResidualEchoGate gate_;
};

} // namespace ambrel
