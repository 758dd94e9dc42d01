#include "core/InstanceMessages.h"

#include <gtest/gtest.h>

using namespace ambrel::core;

TEST(InstanceMessages, GreetingsCarryAPositiveProcessIdOnly) {
    EXPECT_EQ(InstanceMessages::greeting(4242), "Ambrel 4242");
    EXPECT_EQ(InstanceMessages::parseGreeting("Ambrel 4242"), 4242);
    EXPECT_EQ(InstanceMessages::parseGreeting("Ambrel 2147483647"), 2147483647);
    for (const char* line :
         {"Ambrel 0", "Ambrel 042", "Ambrel -1", "Ambrel +5", "Ambrel 2147483648",
          "Ambrel 99999999999999999999", "Ambrel ", "Ambrel 12 ", "Ambrel 12x", "Ambrel  12",
          "ambrel 12", "Ambrel12", "", "12", "Ambrel 0x10"}) {
        EXPECT_EQ(InstanceMessages::parseGreeting(line), std::nullopt) << line;
    }
}
