#include "TranscriptRow.h"

#include "core/TranscriptRenderer.h"
#include "locale/Format.h"
#include "locale/L10n.h"

#include <variant>

namespace ambrel {

std::vector<TranscriptRow> TranscriptRow::rows(const core::SessionRecord& record) {
    const Format::TranscriptClock clock(record.startedAt);
    const auto labels = L10n::transcriptLabels(); // once, not a table lookup per line
    const bool speakers = record.hasMultipleSources();
    std::vector<TranscriptRow> rows;
    for (const auto& entry : core::TranscriptRenderer::timeline(record)) {
        if (const auto* line = std::get_if<const core::TranscriptLine*>(&entry)) {
            // One row is one text block: line breaks inside a text would split it.
            rows.push_back(
                {Kind::line, clock.text((*line)->start),
                 speakers ? std::optional(labels.speaker((*line)->source)) : std::nullopt,
                 (*line)->source, core::TranscriptRenderer::singleLine((*line)->text)});
            continue;
        }
        const auto& marker = *std::get<const core::Marker*>(entry);
        // The text-presentation selector keeps the symbols from turning into pictures.
        rows.push_back({Kind::marker, clock.text(marker.date), std::nullopt, std::nullopt,
                        std::string(core::TranscriptRenderer::symbol(marker.kind)) + "\uFE0E " +
                            labels.markerLabel(marker.kind)});
    }
    return rows;
}

std::string TranscriptPlainText::row(const std::string& time, const std::string& speaker,
                                     const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    std::string result =
        first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    if (!speaker.empty()) {
        result = L10n::format(Texts::speakerLine, {speaker, result});
    }
    if (!time.empty()) {
        result = "[" + time + "] " + result;
    }
    return result;
}

} // namespace ambrel
