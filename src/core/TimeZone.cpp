#include "TimeZone.h"

#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace ambrel::core {

std::unique_ptr<icu::TimeZone> TimeZone::makeIcuTimeZone() const {
    if (followsSystem()) {
        // detectHostTimeZone reads TZ and /etc/localtime on every call; the cached default
        // zone would not notice the user changing it.
        return std::unique_ptr<icu::TimeZone>(icu::TimeZone::detectHostTimeZone());
    }
    return std::unique_ptr<icu::TimeZone>(
        icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(identifier_)));
}

std::string TimeZone::identifier() const {
    if (!followsSystem()) {
        return identifier_;
    }
    icu::UnicodeString id;
    makeIcuTimeZone()->getID(id);
    std::string text;
    id.toUTF8String(text);
    return text;
}

} // namespace ambrel::core
