#include "SessionRecord.h"

#include <algorithm>

namespace ambrel::core {

SessionRecord::SessionRecord(std::string id, Instant startedAt, std::vector<TranscriptLine> lines,
                             std::vector<Marker> markers, std::optional<Instant> endedAt,
                             std::optional<Instant> lastUpdated, std::string appVersion,
                             std::vector<std::string> languages)
    : id(std::move(id))
    , startedAt(startedAt)
    , endedAt(endedAt)
    , lastUpdated(lastUpdated.value_or(startedAt))
    , lines(std::move(lines))
    , markers(std::move(markers))
    , appVersion(std::move(appVersion))
    , languages(std::move(languages)) {}

bool SessionRecord::hasMultipleSources() const {
    if (lines.empty()) {
        return false;
    }
    const auto first = lines.front().source;
    return std::any_of(lines.begin() + 1, lines.end(),
                       [first](const TranscriptLine& line) { return line.source != first; });
}

} // namespace ambrel::core
