#include "core/Uuid.h"

#include <gtest/gtest.h>

#include <set>

using ambrel::core::Uuid;

TEST(Uuid, RandomIdentifiersAreVersionFourAndDistinct) {
    std::set<Uuid> seen;
    for (int i = 0; i < 1000; ++i) {
        const auto uuid = Uuid::random();
        const auto text = uuid.string();
        ASSERT_EQ(text.size(), 36u);
        EXPECT_EQ(text[14], '4');
        EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos);
        EXPECT_EQ(text.find_first_of("abcdef"), std::string::npos) << "printed in upper case";
        EXPECT_TRUE(seen.insert(uuid).second);
    }
}

TEST(Uuid, ParsesEitherCaseAndRejectsMalformedText) {
    const auto upper = Uuid::parse("0D5F7B7E-2C5A-4C61-9A0B-6E2B1F0C9A11");
    const auto lower = Uuid::parse("0d5f7b7e-2c5a-4c61-9a0b-6e2b1f0c9a11");
    ASSERT_TRUE(upper && lower);
    EXPECT_EQ(*upper, *lower);
    EXPECT_EQ(lower->string(), "0D5F7B7E-2C5A-4C61-9A0B-6E2B1F0C9A11");
    EXPECT_TRUE(Uuid().isNil());
    for (const char* bad :
         {"", "0D5F7B7E2C5A4C619A0B6E2B1F0C9A11", "0D5F7B7E-2C5A-4C61-9A0B-6E2B1F0C9A1",
          "0D5F7B7E-2C5A-4C61-9A0B-6E2B1F0C9A1G", "0D5F7B7E_2C5A-4C61-9A0B-6E2B1F0C9A11",
          "{0D5F7B7E-2C5A-4C61-9A0B-6E2B1F0C9A1}"}) {
        EXPECT_FALSE(Uuid::parse(bad)) << bad;
    }
}
