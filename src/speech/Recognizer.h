#pragma once

#include "audio/AudioBuffer.h"
#include "audio/StreamFormat.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ambrel {

// One result of a recogniser: its text as runs, each with the audio time it covers and a
// confidence where the engine knows them. Times are seconds on the pipeline's audio time line.
struct RecognizerResult {
    struct Run {
        std::string text;
        std::optional<std::pair<double, double>> time; // start and end
        std::optional<double> confidence;              // 0...1

        bool operator==(const Run&) const = default;
    };

    std::vector<Run> runs;
    std::pair<double, double> range{0, 0}; // the audio the result covers
    bool isFinal = false;

    std::string text() const;
    bool operator==(const RecognizerResult&) const = default;
};

// A speech recogniser for one language, working on its own thread: it takes timed audio in the
// format it names and reports volatile and final results.
class Recognizer {
public:
    struct Callbacks {
        std::function<void(RecognizerResult result)> onResult;
        std::function<void(const std::string& error)> onFailure; // the recogniser cannot go on
        std::function<void()> onFinished;                        // after finish(): all is out
    };

    virtual ~Recognizer() = default;

    // The audio it wants: mono 32-bit float at this rate.
    virtual StreamFormat format() const = 0;

    // Callbacks arrive on the recogniser's own thread.
    virtual void start(Callbacks callbacks) = 0;
    // Audio whose first frame is sample `startSample` of the time line (at the format's rate).
    // Safe from any thread; when recognition falls behind, the oldest waiting buffers are dropped.
    virtual void feed(AudioBuffer buffer, std::int64_t startSample) = 0;
    // Recognises what was fed, reports the last finals, then onFinished.
    virtual void finish() = 0;
    // Stops at once; no callback follows.
    virtual void cancel() = 0;
    // Buffers fed but not yet recognised. Safe from any thread.
    virtual std::size_t backlog() const = 0;
};

} // namespace ambrel
