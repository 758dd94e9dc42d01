#pragma once

#include "core/SessionRecord.h"
#include "core/SpeechSource.h"

#include <optional>
#include <string>
#include <vector>

namespace ambrel {

// One row of a displayed transcript: a line or a pause/resume marker, with its clock time.
struct TranscriptRow {
    enum class Kind { line, marker };

    Kind kind = Kind::line;
    std::string time;
    std::optional<std::string> speaker; // only when the session has both sources
    std::optional<core::SpeechSource> source;
    std::string text;

    bool operator==(const TranscriptRow&) const = default;

    // Lines in their stored order, each marker before the first line that starts after it.
    static std::vector<TranscriptRow> rows(const core::SessionRecord& record);
};

namespace TranscriptPlainText {

// One copied row: "[09:05:03] Me: Good morning."; the time and speaker when given.
std::string row(const std::string& time, const std::string& speaker, const std::string& text);

} // namespace TranscriptPlainText

} // namespace ambrel
