#pragma once

#include "Instant.h"

#include <cstddef>
#include <optional>
#include <string_view>

namespace ambrel::core {

// The few facts of a session file that the history list shows, read in one pass over the text
// without building the lines: the file is checked to be well-formed JSON, but the elements of
// "lines" are only counted.
struct SessionSummaryProbe {
    Instant startedAt = 0;
    std::optional<Instant> endedAt;
    Instant lastUpdated = 0;
    std::size_t lineCount = 0;

    // Absent when the text is not JSON, is not an object, or lacks a required member or has
    // one of the wrong type.
    static std::optional<SessionSummaryProbe> read(std::string_view json);

    bool operator==(const SessionSummaryProbe&) const = default;
};

} // namespace ambrel::core
