#pragma once

#include "CivilDate.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ambrel::core {

// The value of exactly `count` ASCII digits at `position`; absent if any is missing or not a digit.
inline std::optional<std::int64_t> asciiDigits(std::string_view text, std::size_t position,
                                               std::size_t count) {
    if (position > text.size() || count > text.size() - position) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (std::size_t i = position; i < position + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// The numbers of "YYYY-MM-DDTHH:MM:SS" at their fixed places; the separators are the caller's
// to check. Absent when a field is not all digits.
struct DateTimeDigits {
    std::int64_t year, month, day, hour, minute, second;

    static std::optional<DateTimeDigits> read(std::string_view text) {
        const auto year = asciiDigits(text, 0, 4);
        const auto month = asciiDigits(text, 5, 2);
        const auto day = asciiDigits(text, 8, 2);
        const auto hour = asciiDigits(text, 11, 2);
        const auto minute = asciiDigits(text, 14, 2);
        const auto second = asciiDigits(text, 17, 2);
        if (!year || !month || !day || !hour || !minute || !second) {
            return std::nullopt;
        }
        return DateTimeDigits{*year, *month, *day, *hour, *minute, *second};
    }

    // Seconds since 1970 of these fields read in a zone `offsetSeconds` east of UTC; the day is
    // not checked against the month (February 31 is March 2 or 3).
    std::int64_t secondsSinceEpoch(std::int64_t offsetSeconds = 0) const {
        const auto days = CivilDate{year, static_cast<unsigned>(month), static_cast<unsigned>(day)}
                              .daysSinceEpoch();
        return days * 86400 + hour * 3600 + minute * 60 + second - offsetSeconds;
    }
};

} // namespace ambrel::core
