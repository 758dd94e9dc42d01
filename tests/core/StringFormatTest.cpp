#include "core/StringFormat.h"

#include <gtest/gtest.h>

using ambrel::core::StringFormat::format;

TEST(StringFormat, FillsPlaceholdersInOrderOrByPosition) {
    EXPECT_EQ(format("%@: %@", {"Me", "Hello"}), "Me: Hello");
    EXPECT_EQ(format("%2$@ \u2014 %1$@", {"Me", "Hello"}), "Hello \u2014 Me");
    EXPECT_EQ(format("%d lines, %ld words, %lld ms",
                     {std::int64_t{3}, std::int64_t{-4}, std::int64_t{5}}),
              "3 lines, -4 words, 5 ms");
    EXPECT_EQ(format("100%% of %@", {"it"}), "100% of it");
    EXPECT_EQ(format("%1$@ and %1$@", {"again"}), "again and again");
}

TEST(StringFormat, LeavesBrokenPlaceholdersVisible) {
    EXPECT_EQ(format("%@ %@", {"one"}), "one %@");
    EXPECT_EQ(format("%3$@", {"a"}), "%3$@");
    EXPECT_EQ(format("%0$@", {"a"}), "%0$@");
    EXPECT_EQ(format("%q %", {"a"}), "%q %");
    EXPECT_EQ(format("50%", {}), "50%");
    EXPECT_EQ(format("%12", {"a"}), "%12");
}
