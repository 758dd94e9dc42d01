#pragma once

#include <cstddef>
#include <cstdint>

namespace ambrel {

// Lines up the audio given to one Vosk recogniser with the pipeline's time line. Vosk times its
// words by the samples it has taken since it was made, across utterances and resets; the time
// line may move on without audio (dropped buffers, a paused source) and then a new stream
// begins, timed from its first sample.
class VoskTimeline {
public:
    // How to feed a buffer: `silence` frames of silence first (a short gap), then the buffer
    // without its first `skip` frames (already covered).
    struct Placement {
        bool newStream = false;
        std::size_t silence = 0;
        std::size_t skip = 0;

        bool operator==(const Placement&) const = default;
    };

    // Gaps and overlaps up to `tolerance` seconds are smoothed over; larger ones begin a stream.
    explicit VoskTimeline(double rate, double tolerance = 0.1);

    // Whether audio starting at `startSample` cannot continue the current stream. The utterance
    // under way must be ended before place() begins the new one.
    bool breaks(std::int64_t startSample) const;
    // Accounts for a buffer of `frames` starting at `startSample`; feed it as told.
    Placement place(std::int64_t startSample, std::size_t frames);
    // Counts samples as given to the recogniser.
    void fed(std::size_t samples) { fed_ += static_cast<std::int64_t>(samples); }

    // Add to a Vosk time to get the time-line time.
    double offset() const;
    // Time-line time just after the last sample given to the recogniser.
    double now() const;
    bool started() const { return started_; }

private:
    double rate_;
    std::int64_t tolerance_;
    bool started_ = false;
    std::int64_t fed_ = 0;         // samples given to the recogniser so far
    std::int64_t streamFed_ = 0;   // fed_ when the current stream began
    std::int64_t streamStart_ = 0; // its first sample on the time line
    std::int64_t next_ = 0;        // the time-line sample expected next
};

} // namespace ambrel
