#pragma once

#include "core/FixedDateFormat.h"
#include "core/Instant.h"

#include <memory>
#include <string>
#include <string_view>

// Time texts shown to the user. Durations and titles follow the interface language's locale;
// clock times are fixed 24-hour texts.
namespace ambrel::Format {

// "2:05", "1:02:05" (negative times show as "0:00").
std::string elapsed(double seconds);

// "45s", "2m 5s", "2h 5m" in the locale's abbreviated units: hours and minutes from an hour
// on, minutes and seconds below, leading zero units left out.
std::string duration(double seconds, std::string_view localeIdentifier);

// The session's start in the abbreviated date and short time style of the interface language,
// in the current time zone: "Mar 14, 2025, 9:05 AM".
std::string sessionTitle(core::Instant date);

// Clock texts of a transcript: "09:05:03" on the session's first day, "Mar 15 00:00:05" after.
class TranscriptClock {
public:
    explicit TranscriptClock(core::Instant sessionStart);
    ~TranscriptClock();
    TranscriptClock(TranscriptClock&&) noexcept;
    TranscriptClock& operator=(TranscriptClock&&) noexcept;

    core::Instant sessionStart() const { return sessionStart_; }
    std::string text(core::Instant instant) const;

private:
    struct Impl;
    core::Instant sessionStart_;
    std::unique_ptr<Impl> impl_;
};

} // namespace ambrel::Format
