#pragma once

#include <unicode/uversion.h>

#include <memory>
#include <string>

U_NAMESPACE_BEGIN
class TimeZone;
U_NAMESPACE_END

namespace ambrel::core {

// Either the system's zone (read afresh at each use, so it follows changes) or a fixed zone.
class TimeZone {
public:
    static TimeZone system() { return TimeZone(std::string()); }
    // An IANA identifier such as "Europe/Berlin", or "UTC". Unknown names act as UTC.
    static TimeZone named(std::string identifier) { return TimeZone(std::move(identifier)); }
    static TimeZone utc() { return named("UTC"); }

    bool followsSystem() const { return identifier_.empty(); }
    // The identifier of the zone in effect now.
    std::string identifier() const;

    std::unique_ptr<icu::TimeZone> makeIcuTimeZone() const;

    bool operator==(const TimeZone&) const = default;

private:
    explicit TimeZone(std::string identifier) : identifier_(std::move(identifier)) {}

    std::string identifier_; // empty: the system zone
};

} // namespace ambrel::core
