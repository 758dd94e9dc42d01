#include "TranscriptLabels.h"

#include "TranscriptRenderer.h"

namespace ambrel::core {

TranscriptLabels::TranscriptLabels()
    : formatDuration([](double seconds) { return TranscriptRenderer::formatDuration(seconds); })
    , languageName([](const std::string& locale) { return locale; }) {}

const TranscriptLabels& TranscriptLabels::english() {
    static const TranscriptLabels labels;
    return labels;
}

const std::string& TranscriptLabels::speaker(SpeechSource source) const {
    return source == SpeechSource::microphone ? me : others;
}

std::string TranscriptLabels::markerLabel(MarkerKind kind) const {
    if (auto own = markers.find(kind); own != markers.end()) {
        return own->second;
    }
    const auto& fallback = english().markers;
    if (auto found = fallback.find(kind); found != fallback.end()) {
        return found->second;
    }
    return std::string(rawValue(kind));
}

} // namespace ambrel::core
