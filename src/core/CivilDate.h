#pragma once

#include <cstdint>

namespace ambrel::core {

// A proleptic Gregorian calendar date.
struct CivilDate {
    std::int64_t year = 1970;
    unsigned month = 1; // 1...12
    unsigned day = 1;   // 1...31

    // Days since 1970-01-01 (Howard Hinnant's days_from_civil); day is not checked
    // against the length of the month, so February 31 is March 2 or 3.
    std::int64_t daysSinceEpoch() const;
    static CivilDate fromDaysSinceEpoch(std::int64_t days);

    // 28 to 31; `month` is 1...12.
    static unsigned daysInMonth(std::int64_t year, unsigned month);

    bool operator==(const CivilDate&) const = default;
};

} // namespace ambrel::core
