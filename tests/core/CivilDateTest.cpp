#include "core/CivilDate.h"

#include <gtest/gtest.h>

using ambrel::core::CivilDate;

TEST(CivilDate, KnownDaysAndLeapRules) {
    EXPECT_EQ(CivilDate({1970, 1, 1}).daysSinceEpoch(), 0);
    EXPECT_EQ(CivilDate({1969, 12, 31}).daysSinceEpoch(), -1);
    EXPECT_EQ(CivilDate({2000, 3, 1}).daysSinceEpoch(), 11017);
    EXPECT_EQ(CivilDate::fromDaysSinceEpoch(11016), (CivilDate{2000, 2, 29})); // 400-year leap
    EXPECT_EQ(CivilDate::fromDaysSinceEpoch(-25508),
              (CivilDate{1900, 3, 1})); // 1900 is no leap year
    EXPECT_EQ(CivilDate::fromDaysSinceEpoch(-719528), (CivilDate{0, 1, 1}));
    EXPECT_EQ(CivilDate::fromDaysSinceEpoch(-719529), (CivilDate{-1, 12, 31}));
    // Days past the month's end roll over instead of failing.
    EXPECT_EQ(CivilDate({2024, 2, 31}).daysSinceEpoch(), CivilDate({2024, 3, 2}).daysSinceEpoch());
}

TEST(CivilDate, RoundTripsEveryDayAcrossEras) {
    CivilDate previous = CivilDate::fromDaysSinceEpoch(-800000);
    for (std::int64_t day = -800000 + 1; day <= 800000; ++day) {
        const auto date = CivilDate::fromDaysSinceEpoch(day);
        ASSERT_EQ(date.daysSinceEpoch(), day);
        // Consecutive days advance by exactly one calendar day.
        if (date.day == 1) {
            ASSERT_TRUE(date.month == previous.month % 12 + 1) << day;
        } else {
            ASSERT_EQ(date.day, previous.day + 1) << day;
        }
        previous = date;
    }
}
