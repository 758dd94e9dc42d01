#pragma once

#include "core/SpeechSource.h"

#include <string>
#include <vector>

namespace ambrel {

// The words being recognised now, for the caption window: at most three lines, oldest first.
struct LiveTranscriptText {
    struct Line {
        core::SpeechSource source = core::SpeechSource::systemAudio;
        std::string text;
        bool isFinal = false; // false while the recogniser may still change it

        bool operator==(const Line&) const = default;
    };

    std::vector<Line> lines;
    bool showsSpeakers = false; // both sources run, so lines carry their source

    bool operator==(const LiveTranscriptText&) const = default;
};

} // namespace ambrel
