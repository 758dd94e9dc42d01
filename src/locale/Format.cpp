#include "Format.h"

#include "L10n.h"

#include <fmt/format.h>
#include <unicode/datefmt.h>
#include <unicode/dtptngen.h>
#include <unicode/measfmt.h>
#include <unicode/measunit.h>
#include <unicode/measure.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace ambrel::Format {

namespace {

std::string utf8(const icu::UnicodeString& text) {
    std::string result;
    text.toUTF8String(result);
    return result;
}

std::int64_t wholeSeconds(double seconds) {
    if (!(seconds > 0)) {
        return 0; // negative, zero or not a number
    }
    return seconds >= 9.2e18 ? INT64_C(9200000000000000000) : static_cast<std::int64_t>(seconds);
}

icu::Locale interfaceLocale() {
    return icu::Locale(L10n::localeIdentifier().c_str());
}

} // namespace

std::string elapsed(double seconds) {
    const std::int64_t t = wholeSeconds(seconds);
    if (t >= 3600) {
        return fmt::format("{}:{:02}:{:02}", t / 3600, t % 3600 / 60, t % 60);
    }
    return fmt::format("{}:{:02}", t / 60, t % 60);
}

namespace {

// A duration formatter for the locale, made once per locale and thread: history rows ask for
// one each time they are painted. Null when ICU cannot make one.
const icu::MeasureFormat* durationFormat(std::string_view localeIdentifier) {
    thread_local std::map<std::string, std::unique_ptr<icu::MeasureFormat>, std::less<>> made;
    if (const auto found = made.find(localeIdentifier); found != made.end()) {
        return found->second.get();
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale(std::string(localeIdentifier).c_str());
    // ICU's narrow Japanese units are Latin letters ("2h5m") and its narrow Traditional Chinese
    // spacing is uneven; their short forms read like the abbreviated ones elsewhere.
    const std::string language = locale.getLanguage();
    const bool preferShort = language == "ja" || std::string_view(locale.getScript()) == "Hant";
    auto formatter = std::make_unique<icu::MeasureFormat>(
        locale, preferShort ? UMEASFMT_WIDTH_SHORT : UMEASFMT_WIDTH_NARROW, status);
    if (U_FAILURE(status)) {
        formatter.reset();
    }
    return made.emplace(std::string(localeIdentifier), std::move(formatter)).first->second.get();
}

// The medium date and short time of a locale, made once per locale and thread.
icu::DateFormat* titleFormat(const std::string& localeIdentifier) {
    thread_local std::map<std::string, std::unique_ptr<icu::DateFormat>> made;
    auto& formatter = made[localeIdentifier];
    if (!formatter) {
        formatter.reset(icu::DateFormat::createDateTimeInstance(
            icu::DateFormat::kMedium, icu::DateFormat::kShort,
            icu::Locale(localeIdentifier.c_str())));
    }
    return formatter.get();
}

} // namespace

std::string duration(double seconds, std::string_view localeIdentifier) {
    const std::int64_t t = wholeSeconds(seconds);
    UErrorCode status = U_ZERO_ERROR;
    const icu::MeasureFormat* formatter = durationFormat(localeIdentifier);
    std::vector<icu::Measure> measures;
    auto add = [&](std::int64_t value, icu::MeasureUnit* unit) {
        measures.emplace_back(icu::Formattable(value), unit, status);
    };
    if (t >= 3600) {
        add(t / 3600, icu::MeasureUnit::createHour(status));
        add(t % 3600 / 60, icu::MeasureUnit::createMinute(status));
    } else {
        if (t >= 60) {
            add(t / 60, icu::MeasureUnit::createMinute(status));
        }
        add(t % 60, icu::MeasureUnit::createSecond(status));
    }
    icu::UnicodeString text;
    icu::FieldPosition position;
    if (formatter != nullptr && U_SUCCESS(status)) {
        formatter->formatMeasures(measures.data(), static_cast<int32_t>(measures.size()), text,
                                  position, status);
    }
    if (U_FAILURE(status) || text.isEmpty()) {
        return fmt::format("{}s", t);
    }
    return utf8(text);
}

std::string sessionTitle(core::Instant date) {
    icu::DateFormat* formatter = titleFormat(L10n::localeIdentifier());
    if (formatter == nullptr) {
        return core::FixedDateFormat("yyyy-MM-dd HH:mm", core::TimeZone::system()).format(date);
    }
    // The zone is looked up each time, so titles follow a change of the system's zone.
    formatter->adoptTimeZone(core::TimeZone::system().makeIcuTimeZone().release());
    icu::UnicodeString text;
    formatter->format(date * 1000.0, text);
    return utf8(text);
}

struct TranscriptClock::Impl {
    core::TimeZone zone;
    icu::Locale locale;
    core::FixedDateFormat time;
    core::FixedDateFormat::Day startDay;
    // Month and day, made when a time first falls outside the start day: few sessions do.
    mutable std::unique_ptr<icu::SimpleDateFormat> day;

    const icu::SimpleDateFormat& dayFormat() const {
        if (day) {
            return *day;
        }
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::DateTimePatternGenerator> generator(
            icu::DateTimePatternGenerator::createInstance(locale, status));
        icu::UnicodeString pattern =
            U_SUCCESS(status) ? generator->getBestPattern(icu::UnicodeString("MMMd"), status)
                              : icu::UnicodeString("MMM d");
        day = std::make_unique<icu::SimpleDateFormat>(pattern, locale, status);
        if (U_FAILURE(status)) {
            status = U_ZERO_ERROR;
            day = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString("MMM d"),
                                                          icu::Locale::getRoot(), status);
        }
        day->adoptTimeZone(zone.makeIcuTimeZone().release());
        return *day;
    }
};

TranscriptClock::TranscriptClock(core::Instant sessionStart) : sessionStart_(sessionStart) {
    auto zone = core::TimeZone::system();
    core::FixedDateFormat time("HH:mm:ss", zone);
    const auto startDay = time.dayContaining(sessionStart);
    impl_ = std::make_unique<Impl>(
        Impl{std::move(zone), interfaceLocale(), std::move(time), startDay, nullptr});
}

TranscriptClock::~TranscriptClock() = default;
TranscriptClock::TranscriptClock(TranscriptClock&&) noexcept = default;
TranscriptClock& TranscriptClock::operator=(TranscriptClock&&) noexcept = default;

std::string TranscriptClock::text(core::Instant instant) const {
    const auto time = impl_->time.format(instant);
    if (impl_->startDay.contains(instant)) {
        return time;
    }
    icu::UnicodeString day;
    impl_->dayFormat().format(instant * 1000.0, day);
    return utf8(day) + " " + time;
}

} // namespace ambrel::Format
