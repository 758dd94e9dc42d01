#pragma once

#include "Instant.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace ambrel::core {

// What the history list needs of a stored session, without its lines.
struct SessionSummary {
    std::string id;
    Instant startedAt = 0;
    std::optional<Instant> endedAt; // absent: live, or left open
    Instant lastUpdated = 0;
    std::size_t lineCount = 0;
    std::filesystem::path jsonURL;
    std::filesystem::path markdownURL;

    bool operator==(const SessionSummary&) const = default;
};

} // namespace ambrel::core
