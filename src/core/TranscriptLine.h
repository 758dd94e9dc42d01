#pragma once

#include "Instant.h"
#include "SpeechSource.h"
#include "Uuid.h"

#include <optional>
#include <string>

namespace ambrel::core {

// One final recognised line of a session.
struct TranscriptLine {
    Uuid id;
    std::string text; // as delivered; may contain line breaks
    Instant start = 0;
    SpeechSource source = SpeechSource::systemAudio;
    std::optional<std::string> language; // locale identifier of the winning recogniser

    bool operator==(const TranscriptLine&) const = default;
};

} // namespace ambrel::core
