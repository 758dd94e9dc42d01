#pragma once

#include "Instant.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// The date form of every session file: "2025-03-14T08:05:42.250Z", always UTC, always three
// fraction digits. Reading also takes RFC 3339 texts with any zone and with or without a fraction.
namespace ambrel::core::MillisecondDate {

// Throws std::domain_error for instants that have no calendar form (NaN, infinite, or beyond
// 64-bit seconds). Instants beyond 64-bit milliseconds are written without a fraction.
std::string string(Instant instant);

// The canonical form first, then RFC 3339 with and without a fraction.
std::optional<Instant> parse(std::string_view text);

struct InvalidDate : std::runtime_error {
    explicit InvalidDate(std::string_view text)
        : std::runtime_error("Invalid date: " + std::string(text)) {}
};

// parse(), failing with InvalidDate.
Instant decode(std::string_view text);

} // namespace ambrel::core::MillisecondDate
