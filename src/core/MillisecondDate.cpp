#include "MillisecondDate.h"

#include "CivilDate.h"

#include <fmt/format.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace ambrel::core::MillisecondDate {

namespace {

// floor(a / b) and the matching non-negative remainder, for b > 0.
std::pair<std::int64_t, std::int64_t> floorDivide(std::int64_t a, std::int64_t b) {
    std::int64_t quotient = a / b;
    std::int64_t remainder = a % b;
    if (remainder < 0) {
        --quotient;
        remainder += b;
    }
    return {quotient, remainder};
}

std::string paddedYear(std::int64_t year) {
    if (year < 0) {
        // The magnitude of INT64_MIN does not fit; years never come near it.
        return fmt::format("-{:04}", -year);
    }
    return fmt::format("{:04}", year);
}

std::string compose(std::int64_t wholeSeconds, std::optional<std::int64_t> milliseconds) {
    const auto [days, secondOfDay] = floorDivide(wholeSeconds, 86400);
    const auto date = CivilDate::fromDaysSinceEpoch(days);
    auto text =
        fmt::format("{}-{:02}-{:02}T{:02}:{:02}:{:02}", paddedYear(date.year), date.month, date.day,
                    secondOfDay / 3600, secondOfDay % 3600 / 60, secondOfDay % 60);
    if (milliseconds) {
        text += fmt::format(".{:03}", *milliseconds);
    }
    text += 'Z';
    return text;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads `count` ASCII digits at `position`; nullopt if any is not a digit.
std::optional<std::int64_t> digits(std::string_view text, std::size_t position, std::size_t count) {
    if (position + count > text.size()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (std::size_t i = position; i < position + count; ++i) {
        if (!isDigit(text[i])) {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

std::optional<Instant> parseCanonical(std::string_view text) {
    if (text.size() != 24 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[19] != '.' || text[23] != 'Z') {
        return std::nullopt;
    }
    const auto year = digits(text, 0, 4);
    const auto month = digits(text, 5, 2);
    const auto day = digits(text, 8, 2);
    const auto hour = digits(text, 11, 2);
    const auto minute = digits(text, 14, 2);
    const auto second = digits(text, 17, 2);
    const auto millisecond = digits(text, 20, 3);
    if (!year || !month || !day || !hour || !minute || !second || !millisecond) {
        return std::nullopt;
    }
    if (*month < 1 || *month > 12 || *day < 1 || *day > 31 || *hour >= 24 || *minute >= 60 ||
        *second >= 60) {
        return std::nullopt;
    }
    const auto days = CivilDate{*year, static_cast<unsigned>(*month), static_cast<unsigned>(*day)}
                          .daysSinceEpoch();
    const std::int64_t total =
        (days * 86400 + *hour * 3600 + *minute * 60 + *second) * 1000 + *millisecond;
    return static_cast<double>(total) / 1000.0;
}

bool isLeapYear(std::int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned daysInMonth(std::int64_t year, std::int64_t month) {
    static constexpr unsigned lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : lengths[month - 1];
}

// RFC 3339 date-time: full-date "T" partial-time time-offset, the fraction optional.
std::optional<Instant> parseRFC3339(std::string_view text) {
    if (text.size() < 20 || text[4] != '-' || text[7] != '-' ||
        (text[10] != 'T' && text[10] != 't') || text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    const auto year = digits(text, 0, 4);
    const auto month = digits(text, 5, 2);
    const auto day = digits(text, 8, 2);
    const auto hour = digits(text, 11, 2);
    const auto minute = digits(text, 14, 2);
    const auto second = digits(text, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second) {
        return std::nullopt;
    }
    if (*month < 1 || *month > 12 || *day < 1 || *day > daysInMonth(*year, *month) || *hour > 23 ||
        *minute > 59 || *second > 60) {
        return std::nullopt;
    }
    std::size_t position = 19;
    double fraction = 0;
    if (position < text.size() && text[position] == '.') {
        ++position;
        const std::size_t first = position;
        double scale = 0.1;
        while (position < text.size() && isDigit(text[position])) {
            fraction += (text[position] - '0') * scale;
            scale /= 10;
            ++position;
        }
        if (position == first) {
            return std::nullopt;
        }
    }
    if (position >= text.size()) {
        return std::nullopt;
    }
    std::int64_t offsetSeconds = 0;
    const char zone = text[position];
    if (zone == 'Z' || zone == 'z') {
        ++position;
    } else if (zone == '+' || zone == '-') {
        const auto offsetHour = digits(text, position + 1, 2);
        const auto offsetMinute = digits(text, position + 4, 2);
        if (position + 6 > text.size() || text[position + 3] != ':' || !offsetHour ||
            !offsetMinute || *offsetHour > 23 || *offsetMinute > 59) {
            return std::nullopt;
        }
        offsetSeconds = (*offsetHour * 3600 + *offsetMinute * 60) * (zone == '-' ? -1 : 1);
        position += 6;
    } else {
        return std::nullopt;
    }
    if (position != text.size()) {
        return std::nullopt;
    }
    const auto days = CivilDate{*year, static_cast<unsigned>(*month), static_cast<unsigned>(*day)}
                          .daysSinceEpoch();
    const std::int64_t seconds =
        days * 86400 + *hour * 3600 + *minute * 60 + *second - offsetSeconds;
    return static_cast<double>(seconds) + fraction;
}

} // namespace

std::string string(Instant instant) {
    const double milliseconds = std::round(instant * 1000.0);
    if (milliseconds > -9223372036854777856.0 && milliseconds < 9223372036854775808.0) {
        const auto [seconds, remainder] =
            floorDivide(static_cast<std::int64_t>(milliseconds), 1000);
        return compose(seconds, remainder);
    }
    const double seconds = std::floor(instant);
    // Whole seconds must still fit, and the day arithmetic must not overflow.
    if (!(seconds > -9.0e18 && seconds < 9.0e18)) {
        throw std::domain_error("Instant has no calendar form: " + fmt::format("{}", instant));
    }
    return compose(static_cast<std::int64_t>(seconds), std::nullopt);
}

std::optional<Instant> parse(std::string_view text) {
    if (auto instant = parseCanonical(text)) {
        return instant;
    }
    return parseRFC3339(text);
}

Instant decode(std::string_view text) {
    if (auto instant = parse(text)) {
        return *instant;
    }
    throw InvalidDate(text);
}

} // namespace ambrel::core::MillisecondDate
