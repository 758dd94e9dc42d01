#pragma once

#include "RecognitionLanguage.h"
#include "core/Instant.h"
#include "core/SpeechSource.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ambrel {

// What the speech engine needs of a pipeline: one source's audio turned into recognition events.
// The real one is SpeechPipeline; tests script their own.
class TranscriptionPipeline {
public:
    struct Event {
        enum class Kind { volatileText, final };
        Kind kind = Kind::volatileText;
        std::string text;
        double confidence = 0;
        std::string language;    // finals only
        core::Instant start = 0; // finals only

        bool operator==(const Event&) const = default;
    };

    struct Handlers {
        std::function<void(const Event& event)> onEvent;
        // A recogniser failed while running.
        std::function<void(const std::string& error)> onError;
        // The audio source lost capture (with the reason) or got it back (absent).
        std::function<void(const std::optional<std::string>& lost)> onInterruption;
    };

    virtual ~TranscriptionPipeline() = default;

    virtual core::SpeechSource source() const = 0;
    virtual const std::vector<RecognitionLanguage>& languages() const = 0;

    // `done` gets the reason when the pipeline could not start; it is stopped again then.
    virtual void start(Handlers handlers,
                       std::function<void(std::optional<std::string> failure)> done) = 0;
    // Lets the recognisers finish what they heard, for at most `timeout` seconds.
    virtual void stop(double timeout, std::function<void()> done) = 0;
    virtual void stopNow() = 0;

    // Audio waiting for recognition (buffers); file runs wait while it is large.
    virtual std::size_t backlog() const = 0;
};

} // namespace ambrel
