#pragma once

#include "Instant.h"
#include "TimeZone.h"

#include <memory>
#include <string>
#include <string_view>

namespace ambrel::core {

// Formats instants with a fixed Unicode date pattern ("yyyy-MM-dd HH:mm:ss") in the POSIX
// locale and the Gregorian calendar of one time zone, whatever the user's locale.
class FixedDateFormat {
public:
    FixedDateFormat(std::string_view pattern, const TimeZone& timeZone);
    ~FixedDateFormat();
    FixedDateFormat(FixedDateFormat&&) noexcept;
    FixedDateFormat& operator=(FixedDateFormat&&) noexcept;

    std::string format(Instant instant) const;

    // The calendar day containing the instant, as [start, end) in that zone.
    struct Day {
        Instant start;
        Instant end;
        bool contains(Instant t) const { return start <= t && t < end; }
    };
    Day dayContaining(Instant instant) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace ambrel::core
