#include "core/MillisecondDate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace MillisecondDate = ambrel::core::MillisecondDate;

namespace {
constexpr double year2001 = 978307200; // 2001-01-01T00:00:00Z
}

TEST(MillisecondDate, WritesThreeFractionDigitsRoundingHalvesAwayFromZero) {
    EXPECT_EQ(MillisecondDate::string(year2001 + 0.0004), "2001-01-01T00:00:00.000Z");
    EXPECT_EQ(MillisecondDate::string(year2001 + 0.0005), "2001-01-01T00:00:00.001Z");
    EXPECT_EQ(MillisecondDate::string(year2001 + 0.9996), "2001-01-01T00:00:01.000Z");
    EXPECT_EQ(MillisecondDate::string(-0.5), "1969-12-31T23:59:59.500Z");
    EXPECT_EQ(MillisecondDate::string(-0.0005), "1969-12-31T23:59:59.999Z");
    EXPECT_EQ(MillisecondDate::string(0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(MillisecondDate::string(951782400), "2000-02-29T00:00:00.000Z");
    EXPECT_EQ(MillisecondDate::string(253402300799.999), "9999-12-31T23:59:59.999Z");
    EXPECT_EQ(MillisecondDate::string(-62167219200), "0000-01-01T00:00:00.000Z");
    EXPECT_EQ(MillisecondDate::string(-62167219200.0 - 86400 * 365), "-0001-01-01T00:00:00.000Z");
}

TEST(MillisecondDate, InstantsBeyondMillisecondRangeLoseTheFractionOrFail) {
    // 1e16 s is beyond 64-bit milliseconds but its seconds still have a calendar form.
    const auto text = MillisecondDate::string(1e16);
    EXPECT_EQ(text.back(), 'Z');
    EXPECT_EQ(text.find('.'), std::string::npos);
    EXPECT_THROW(MillisecondDate::string(std::numeric_limits<double>::quiet_NaN()),
                 std::domain_error);
    EXPECT_THROW(MillisecondDate::string(std::numeric_limits<double>::infinity()),
                 std::domain_error);
    EXPECT_THROW(MillisecondDate::string(1e300), std::domain_error);
}

TEST(MillisecondDate, WrittenDatesReadBackToTheMillisecond) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> instants(-62167219200.0, 253402300799.0);
    for (int i = 0; i < 20000; ++i) {
        const double instant = instants(random);
        const auto text = MillisecondDate::string(instant);
        ASSERT_EQ(text.size(), 24u) << text;
        const auto read = MillisecondDate::parse(text);
        ASSERT_TRUE(read) << text;
        EXPECT_NEAR(*read, std::round(instant * 1000) / 1000, 1e-6) << text;
        EXPECT_EQ(MillisecondDate::string(*read), text);
    }
}

TEST(MillisecondDate, DaysMustExistInTheirMonth) {
    // Neither reader rolls an impossible day over into the next month.
    for (const char* text :
         {"2025-02-31T10:00:00.000Z", "2025-02-29T00:00:00.000Z", "2024-02-30T00:00:00.000Z",
          "2025-04-31T00:00:00.000Z", "1900-02-29T00:00:00.000Z", "2025-02-31T10:00:00Z",
          "2025-11-31T10:00:00+01:00", "2025-01-00T00:00:00.000Z", "2025-01-32T00:00:00.000Z"}) {
        EXPECT_FALSE(MillisecondDate::parse(text)) << text;
    }
    EXPECT_EQ(MillisecondDate::parse("2024-02-29T00:00:00.000Z"), 1709164800.0);
    EXPECT_EQ(MillisecondDate::parse("2000-02-29T00:00:00.000Z"), 951782400.0);
    EXPECT_EQ(MillisecondDate::parse("2025-12-31T23:59:59.999Z"), 1767225599.999);
    EXPECT_EQ(MillisecondDate::parse("2025-03-14T08:05:42.250Z"), 1741939542.25);
}

TEST(MillisecondDate, FallsBackToRFC3339WithAndWithoutFraction) {
    EXPECT_EQ(MillisecondDate::parse("2025-03-14T09:05:00Z"), 1741943100.0);
    EXPECT_EQ(MillisecondDate::parse("2025-03-14T09:05:00+01:00"), 1741939500.0);
    EXPECT_EQ(MillisecondDate::parse("2025-03-14T09:05:00.5+01:00"), 1741939500.5);
    EXPECT_EQ(MillisecondDate::parse("2025-03-14T03:35:00.25-05:30"), 1741943100.25);
    EXPECT_EQ(MillisecondDate::parse("2025-03-14t09:05:00z"), 1741943100.0);
    EXPECT_EQ(MillisecondDate::parse("2024-02-29T00:00:00Z"), 1709164800.0);
}

TEST(MillisecondDate, RejectsWhatNoStepAccepts) {
    for (const char* text :
         {"2025-13-01T00:00:00.000Z", "2025-03-14T24:00:00.000Z", "2025-02-29T00:00:00Z",
          "2025-03-14T09:05:00", "2025-03-14 09:05:00Z", "2025-03-14T09:05:00.Z",
          "2025-03-14T09:05:00+0100", "2025-03-14T09:05:00+01:00 ", "", "yesterday", "2025-03-14",
          "+2025-03-14T09:05:00.000Z", "2025-03-14T09:60:00Z"}) {
        EXPECT_FALSE(MillisecondDate::parse(text)) << text;
    }
    try {
        MillisecondDate::decode("2025-13-01T00:00:00.000Z");
        FAIL() << "expected InvalidDate";
    } catch (const MillisecondDate::InvalidDate& error) {
        EXPECT_STREQ(error.what(), "Invalid date: 2025-13-01T00:00:00.000Z");
    }
}
