#include "TranscriptRow.h"

#include "locale/Format.h"
#include "locale/L10n.h"

#include <algorithm>

namespace ambrel {

std::vector<TranscriptRow> TranscriptRow::rows(const core::SessionRecord& record) {
    const Format::TranscriptClock clock(record.startedAt);
    auto markers = record.markers;
    std::stable_sort(markers.begin(), markers.end(),
                     [](const auto& a, const auto& b) { return a.date < b.date; });
    std::vector<TranscriptRow> rows;
    std::size_t next = 0;
    const auto addMarkersBefore = [&](std::optional<core::Instant> limit) {
        for (; next < markers.size() && (!limit || markers[next].date < *limit); ++next) {
            const bool paused = markers[next].kind == core::MarkerKind::paused;
            // The text-presentation selector keeps the symbols from turning into pictures.
            const std::string symbol = paused ? "\u23F8\uFE0E" : "\u25B6\uFE0E";
            rows.push_back(
                {Kind::marker, clock.text(markers[next].date), std::nullopt, std::nullopt,
                 symbol + " " + L10n::text(paused ? Texts::markerPaused : Texts::markerResumed)});
        }
    };
    const bool speakers = record.hasMultipleSources();
    for (const auto& line : record.lines) {
        addMarkersBefore(line.start);
        rows.push_back({Kind::line, clock.text(line.start),
                        speakers ? std::optional(L10n::speaker(line.source)) : std::nullopt,
                        line.source, line.text});
    }
    addMarkersBefore(std::nullopt);
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
