#include "MillisecondDate.h"

#include "AsciiDigits.h"
#include "CivilDate.h"
#include "InternetDateTime.h"

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

std::optional<Instant> parseCanonical(std::string_view text) {
    if (text.size() != 24 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[19] != '.' || text[23] != 'Z') {
        return std::nullopt;
    }
    const auto fields = DateTimeDigits::read(text);
    const auto millisecond = asciiDigits(text, 20, 3);
    if (!fields || !millisecond) {
        return std::nullopt;
    }
    if (fields->month < 1 || fields->month > 12 || fields->day < 1 ||
        fields->day > CivilDate::daysInMonth(fields->year, static_cast<unsigned>(fields->month)) ||
        fields->hour >= 24 || fields->minute >= 60 || fields->second >= 60) {
        return std::nullopt;
    }
    const std::int64_t total = fields->secondsSinceEpoch() * 1000 + *millisecond;
    return static_cast<double>(total) / 1000.0;
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
    return InternetDateTime::parse(text);
}

Instant decode(std::string_view text) {
    if (auto instant = parse(text)) {
        return *instant;
    }
    throw InvalidDate(text);
}

} // namespace ambrel::core::MillisecondDate
