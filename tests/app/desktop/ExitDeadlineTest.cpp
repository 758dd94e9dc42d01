#include "app/desktop/ExitDeadline.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace ambrel;

TEST(ExitDeadlineTest, EndsOnlyATeardownThatOverrunsAndNeverDelaysOneThatDoesNot) {
    std::atomic<int> expired = 0;
    {
        // A teardown that finished in time: nothing happens, and nobody waits for the hour.
        const ExitDeadline deadline(std::chrono::hours(1), 0, [&] { ++expired; });
    }
    EXPECT_EQ(expired, 0);
    {
        // No time at all: the deadline passes before the teardown is over.
        const ExitDeadline deadline(std::chrono::milliseconds(0), 0, [&] { ++expired; });
        while (expired == 0) {
            std::this_thread::yield();
        }
    }
    EXPECT_EQ(expired, 1);
}
