#pragma once

#include "Instant.h"

#include <optional>
#include <string_view>

// RFC 3339 date-times: "2025-03-14T09:05:00.5+01:00", "2025-03-14T08:05:00Z".
namespace ambrel::core::InternetDateTime {

enum class Fraction { optional, required, forbidden };

// Calendar dates are checked (no February 30); leap seconds (":60") are accepted.
std::optional<Instant> parse(std::string_view text, Fraction fraction = Fraction::optional);

} // namespace ambrel::core::InternetDateTime
