#include "core/LineBuffer.h"

#include <gtest/gtest.h>

#include <vector>

using ambrel::core::LineBuffer;

namespace {

std::vector<std::string> drain(LineBuffer& buffer) {
    std::vector<std::string> lines;
    while (auto line = buffer.nextLine()) {
        lines.push_back(*line);
    }
    return lines;
}

} // namespace

TEST(LineBuffer, CutsLinesAcrossPiecesAndKeepsTheUnfinishedOne) {
    LineBuffer buffer(8);
    EXPECT_TRUE(buffer.append("sho"));
    EXPECT_EQ(drain(buffer), std::vector<std::string>{});
    EXPECT_TRUE(buffer.append("w\n\nnext\nla"));
    EXPECT_EQ(drain(buffer), (std::vector<std::string>{"show", "", "next"}));
    EXPECT_TRUE(buffer.append(std::string("st\0\r", 4) + "\n"));
    EXPECT_EQ(drain(buffer), (std::vector<std::string>{std::string("last\0\r", 6)}));
    EXPECT_TRUE(buffer.append(""));
    EXPECT_FALSE(buffer.overflowed());
}

TEST(LineBuffer, ALineOverTheLimitEndsTheStream) {
    // Exactly the limit is fine, in one piece or byte by byte.
    LineBuffer exact(4);
    EXPECT_TRUE(exact.append("abcd\nab"));
    EXPECT_TRUE(exact.append("c"));
    EXPECT_TRUE(exact.append("d"));
    EXPECT_TRUE(exact.append("\n"));
    EXPECT_EQ(drain(exact), (std::vector<std::string>{"abcd", "abcd"}));

    // One byte more, without a line break yet, is the end.
    LineBuffer over(4);
    EXPECT_TRUE(over.append("ok\nabc"));
    EXPECT_FALSE(over.append("de"));
    EXPECT_TRUE(over.overflowed());
    EXPECT_EQ(over.nextLine(), std::nullopt) << "what came before is dropped too";
    EXPECT_FALSE(over.append("\nfine\n"));
    EXPECT_EQ(over.nextLine(), std::nullopt);

    LineBuffer huge(64 * 1024);
    EXPECT_TRUE(huge.append(std::string(64 * 1024, 'x')));
    EXPECT_FALSE(huge.append("x"));
}
