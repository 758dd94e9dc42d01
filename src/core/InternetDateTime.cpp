#include "InternetDateTime.h"

#include "AsciiDigits.h"

namespace ambrel::core::InternetDateTime {

std::optional<Instant> parse(std::string_view text, Fraction fraction) {
    if (text.size() < 20 || text[4] != '-' || text[7] != '-' ||
        (text[10] != 'T' && text[10] != 't') || text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    const auto fields = DateTimeDigits::read(text);
    if (!fields || fields->month < 1 || fields->month > 12 || fields->day < 1 ||
        fields->day > CivilDate::daysInMonth(fields->year, static_cast<unsigned>(fields->month)) ||
        fields->hour > 23 || fields->minute > 59 || fields->second > 60) {
        return std::nullopt;
    }
    std::size_t position = 19;
    double fractionValue = 0;
    const bool hasFraction = position < text.size() && text[position] == '.';
    if ((fraction == Fraction::required && !hasFraction) ||
        (fraction == Fraction::forbidden && hasFraction)) {
        return std::nullopt;
    }
    if (hasFraction) {
        ++position;
        const std::size_t first = position;
        double scale = 0.1;
        while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
            fractionValue += (text[position] - '0') * scale;
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
    std::int64_t offset = 0;
    const char zone = text[position];
    if (zone == 'Z' || zone == 'z') {
        ++position;
    } else if (zone == '+' || zone == '-') {
        const auto offsetHour = asciiDigits(text, position + 1, 2);
        const auto offsetMinute = asciiDigits(text, position + 4, 2);
        if (!offsetHour || !offsetMinute || text[position + 3] != ':' || *offsetHour > 23 ||
            *offsetMinute > 59) {
            return std::nullopt;
        }
        offset = (*offsetHour * 3600 + *offsetMinute * 60) * (zone == '-' ? -1 : 1);
        position += 6;
    } else {
        return std::nullopt;
    }
    if (position != text.size()) {
        return std::nullopt;
    }
    return static_cast<double>(fields->secondsSinceEpoch(offset)) + fractionValue;
}

} // namespace ambrel::core::InternetDateTime
