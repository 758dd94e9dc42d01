#include "locale/Format.h"

#include "ScopedEnvironment.h"
#include "locale/L10n.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace ambrel;
using ambrel::testing::ScopedEnvironment;

namespace {
constexpr double march14 = 1741939500.0; // 2025-03-14 09:05:00 in Berlin

void useLanguage(const std::string& code) {
    L10n::configure(std::make_shared<core::MemorySettingsStore>(), {code});
}
} // namespace

TEST(Format, ElapsedTimeCountsWholeSeconds) {
    EXPECT_EQ(Format::elapsed(59.9), "0:59");
    EXPECT_EQ(Format::elapsed(3599), "59:59");
    EXPECT_EQ(Format::elapsed(3600), "1:00:00");
    EXPECT_EQ(Format::elapsed(3725.5), "1:02:05");
    EXPECT_EQ(Format::elapsed(36000 * 10), "100:00:00");
    EXPECT_EQ(Format::elapsed(-5), "0:00") << "a clock that went back";
    EXPECT_EQ(Format::elapsed(std::nan("")), "0:00");
}

TEST(Format, DurationsUseTheLocalesAbbreviatedUnits) {
    EXPECT_EQ(Format::duration(45, "en"), "45s");
    EXPECT_EQ(Format::duration(125, "en"), "2m 5s");
    EXPECT_EQ(Format::duration(2 * 3600 + 5 * 60 + 59, "en"), "2h 5m");
    EXPECT_EQ(Format::duration(3600, "en"), "1h 0m");
    EXPECT_EQ(Format::duration(0, "en"), "0s");
    EXPECT_EQ(Format::duration(-3, "en"), "0s");
    EXPECT_EQ(Format::duration(125, "de"), "2 Min., 5 Sek.");
    EXPECT_EQ(Format::duration(7500, "ja"), "2 時間 5 分");
    EXPECT_EQ(Format::duration(7500, "ru"), "2 ч 5 мин");
}

TEST(Format, SessionTitlesAndClockTextsFollowTheInterfaceLanguage) {
    ScopedEnvironment zone("TZ", "Europe/Berlin");
    useLanguage("en");
    EXPECT_EQ(Format::sessionTitle(march14), "Mar 14, 2025, 9:05\u202FAM");
    Format::TranscriptClock clock(march14 + 14 * 3600 + 54 * 60 + 50); // 23:59:50
    EXPECT_EQ(clock.text(march14 + 14 * 3600 + 54 * 60 + 55), "23:59:55");
    EXPECT_EQ(clock.text(march14 + 14 * 3600 + 55 * 60 + 5), "Mar 15 00:00:05");

    useLanguage("de");
    EXPECT_EQ(Format::sessionTitle(march14), "14.03.2025, 09:05");
    EXPECT_EQ(Format::TranscriptClock(march14).text(march14 + 86400), "15. März 09:05:00");
    useLanguage("en");
}
