#pragma once

#include "MarkerKind.h"
#include "SpeechSource.h"

#include <functional>
#include <map>
#include <string>

namespace ambrel::core {

// The words the renderings print; the application fills them in the interface language.
struct TranscriptLabels {
    std::string title = "Transcription";
    std::string started = "Started";
    std::string ended = "Ended";
    std::string recording = "Recording\u2026";
    std::string duration = "Duration";
    std::string lines = "Lines";
    std::string language = "Language";
    std::string me = "Me";
    std::string others = "Others";
    std::string speakerLine = "%@: %@"; // speaker, then text
    std::map<MarkerKind, std::string> markers{{MarkerKind::paused, "Paused"},
                                              {MarkerKind::resumed, "Resumed"}};
    std::function<std::string(double seconds)> formatDuration;          // default: the renderer's
    std::function<std::string(const std::string& locale)> languageName; // default: unchanged

    TranscriptLabels();

    static const TranscriptLabels& english();

    const std::string& speaker(SpeechSource source) const;
    // Own label, else the English one, else the raw value.
    std::string markerLabel(MarkerKind kind) const;
};

} // namespace ambrel::core
