#pragma once

#include "Instant.h"
#include "Marker.h"
#include "TranscriptLine.h"

#include <optional>
#include <string>
#include <vector>

namespace ambrel::core {

// Everything known about one transcription session; a plain value.
struct SessionRecord {
    std::string id; // the base name of the session's files
    Instant startedAt = 0;
    std::optional<Instant> endedAt; // absent while recording (or after a crash)
    Instant lastUpdated = 0;
    std::vector<TranscriptLine> lines; // in the order added, not re-sorted
    std::vector<Marker> markers;       // in the order added
    std::string appVersion;
    std::vector<std::string> languages;

    SessionRecord() = default;
    // An absent lastUpdated means startedAt.
    SessionRecord(std::string id, Instant startedAt, std::vector<TranscriptLine> lines = {},
                  std::vector<Marker> markers = {}, std::optional<Instant> endedAt = std::nullopt,
                  std::optional<Instant> lastUpdated = std::nullopt, std::string appVersion = {},
                  std::vector<std::string> languages = {});

    bool isLive() const { return !endedAt.has_value(); }
    // True when some line comes from another source than the first line.
    bool hasMultipleSources() const;

    bool operator==(const SessionRecord&) const = default;
};

} // namespace ambrel::core
