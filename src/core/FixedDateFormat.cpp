#include "FixedDateFormat.h"

#include <unicode/calendar.h>
#include <unicode/gregocal.h>
#include <unicode/smpdtfmt.h>

#include <stdexcept>

namespace ambrel::core {

struct FixedDateFormat::Impl {
    std::unique_ptr<icu::SimpleDateFormat> formatter;
    std::unique_ptr<icu::Calendar> calendar;
};

namespace {

const icu::Locale& posixLocale() {
    static const icu::Locale locale("en_US_POSIX");
    return locale;
}

UDate toUDate(Instant instant) {
    return instant * 1000.0;
}

} // namespace

FixedDateFormat::FixedDateFormat(std::string_view pattern, const TimeZone& timeZone)
    : impl_(std::make_unique<Impl>()) {
    UErrorCode status = U_ZERO_ERROR;
    const auto zone = timeZone.makeIcuTimeZone();
    impl_->calendar.reset(new icu::GregorianCalendar(*zone, posixLocale(), status));
    impl_->formatter = std::make_unique<icu::SimpleDateFormat>(
        icu::UnicodeString::fromUTF8(
            icu::StringPiece(pattern.data(), static_cast<int32_t>(pattern.size()))),
        posixLocale(), status);
    if (U_FAILURE(status)) {
        throw std::runtime_error(std::string("Cannot create a date formatter: ") +
                                 u_errorName(status));
    }
    impl_->formatter->setCalendar(*impl_->calendar);
    impl_->formatter->setTimeZone(*zone);
}

FixedDateFormat::~FixedDateFormat() = default;
FixedDateFormat::FixedDateFormat(FixedDateFormat&&) noexcept = default;
FixedDateFormat& FixedDateFormat::operator=(FixedDateFormat&&) noexcept = default;

std::string FixedDateFormat::format(Instant instant) const {
    icu::UnicodeString text;
    impl_->formatter->format(toUDate(instant), text);
    std::string utf8;
    text.toUTF8String(utf8);
    return utf8;
}

FixedDateFormat::Day FixedDateFormat::dayContaining(Instant instant) const {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Calendar> calendar(impl_->calendar->clone());
    calendar->setTime(toUDate(instant), status);
    calendar->set(UCAL_HOUR_OF_DAY, 0);
    calendar->set(UCAL_MINUTE, 0);
    calendar->set(UCAL_SECOND, 0);
    calendar->set(UCAL_MILLISECOND, 0);
    const UDate start = calendar->getTime(status);
    if (U_FAILURE(status)) {
        return Day{instant, instant + 86400};
    }
    UErrorCode addStatus = U_ZERO_ERROR;
    calendar->add(UCAL_DATE, 1, addStatus);
    const UDate end = calendar->getTime(addStatus);
    if (U_FAILURE(addStatus)) {
        return Day{start / 1000.0, start / 1000.0 + 86400};
    }
    return Day{start / 1000.0, end / 1000.0};
}

} // namespace ambrel::core
