#pragma once

#include "Instant.h"

#include <cstddef>
#include <optional>
#include <string_view>

namespace ambrel::core {

// The few facts of a session file that the history list shows, read in one pass over the text
// without building the lines. It accepts exactly the files that SessionCoding::decode accepts:
// a listed session can always be opened.
struct SessionSummaryProbe {
    Instant startedAt = 0;
    std::optional<Instant> endedAt;
    Instant lastUpdated = 0;
    std::size_t lineCount = 0;

    // Absent when the full reader would refuse the file.
    static std::optional<SessionSummaryProbe> read(std::string_view json);

    bool operator==(const SessionSummaryProbe&) const = default;
};

} // namespace ambrel::core
