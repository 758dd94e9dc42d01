#include "core/RateLimiter.h"

#include <gtest/gtest.h>

using namespace ambrel::core;

TEST(RateLimiter, DeliversAtOnceThenAtMostTwiceASecond) {
    RateLimiter limiter;
    EXPECT_EQ(limiter.delay(100), 0);
    limiter.noteDelivery(100);
    EXPECT_NEAR(limiter.delay(100.2), 0.3, 1e-9);
    EXPECT_EQ(limiter.delay(100.5), 0);
    EXPECT_EQ(limiter.delay(100.7), 0);
    EXPECT_NEAR(limiter.delay(99), 1.5, 1e-9) << "a clock that went back waits longer";
}
