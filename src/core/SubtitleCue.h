#pragma once

#include "SpeechSource.h"

#include <cstdint>
#include <string>

namespace ambrel::core {

// One transcript line as a subtitle: when it is on screen, in whole milliseconds from the
// session's start, and what it says.
struct SubtitleCue {
    std::int64_t start = 0;
    std::int64_t end = 0; // always after start
    SpeechSource source = SpeechSource::systemAudio;
    std::string text; // the line's text on one line, not yet escaped

    bool operator==(const SubtitleCue&) const = default;
};

} // namespace ambrel::core
