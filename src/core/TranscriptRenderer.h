#pragma once

#include "MarkerKind.h"
#include "PlainTextOptions.h"
#include "SessionRecord.h"
#include "TimeZone.h"
#include "TranscriptLabels.h"

#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The human-readable forms of a session: the Markdown file written beside the JSON record,
// and the plain text put on the clipboard.
namespace ambrel::core::TranscriptRenderer {

// A line or a marker of a session.
using TimelineEntry = std::variant<const TranscriptLine*, const Marker*>;

// The lines in their stored order, each marker (by date, ties as stored) before the first line
// that starts after it; the rest at the end. Points into `record`.
std::vector<TimelineEntry> timeline(const SessionRecord& record);

std::string markdown(const SessionRecord& record, const TranscriptLabels& labels,
                     const TimeZone& timeZone);

// Empty when the session has neither lines nor markers.
std::string plainText(const SessionRecord& record, const TranscriptLabels& labels,
                      const PlainTextOptions& options, const TimeZone& timeZone);

// "45s", "5m 07s", "1h 02m 05s"; negative or absurd values give "0s".
std::string formatDuration(double seconds);

// "⏸" for paused, "▶" for resumed.
std::string_view symbol(MarkerKind kind);

// A text on one line: split at every line break, pieces trimmed of spaces and tabs, empty pieces
// dropped, joined with single spaces.
std::string singleLine(std::string_view text);

// A backslash before each of $ * < [ \ _ ` ~.
std::string escapeMarkdown(std::string_view text);

} // namespace ambrel::core::TranscriptRenderer
