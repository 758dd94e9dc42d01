#pragma once

#include <cstddef>
#include <span>

namespace ambrel {

// Removes from the microphone what the speakers played into it. Works on 10 ms frames of mono
// float audio at its own rate: frames of the speakers' sound (the far end) go in through
// analyzeReference, in order; microphone frames are cleaned in place by process. Used from one
// thread at a time.
class EchoCanceller {
public:
    static constexpr int frameMilliseconds = 10;

    virtual ~EchoCanceller() = default;

    virtual int sampleRate() const = 0;
    std::size_t frameSize() const {
        return static_cast<std::size_t>(sampleRate() * frameMilliseconds / 1000);
    }

    virtual void analyzeReference(std::span<const float> frame) = 0;
    // `delayMilliseconds`: how long after the newest reference frame its sound is expected in
    // the microphone, as far as the caller knows; the canceller refines it.
    virtual void process(std::span<float> frame, int delayMilliseconds) = 0;
    // Forgets what it learnt of the echo path, as for a new pair of streams.
    virtual void reset() = 0;
    // How much of the last frame processed it muted as residue of the echo, from 0 to 1: the
    // room's floor is missing there.
    virtual double muted() const { return 0; }
};

} // namespace ambrel
