#include "core/TerminalText.h"

#include <gtest/gtest.h>

using ambrel::core::TerminalText::escaped;

TEST(TerminalText, ControlAndBidiCharactersBecomeVisibleEscapes) {
    using namespace std::string_literals;
    EXPECT_EQ(escaped("\x1b[2J\x1b]0;owned\x07"), "\\u001b[2J\\u001b]0;owned\\u0007");
    EXPECT_EQ(escaped("a\tb\nc\rd"s + '\0' + "\x7f"), "a\\u0009b\\u000ac\\u000dd\\u0000\\u007f");
    // C1 controls as characters (U+009B is a one-character CSI), first and last of the range.
    EXPECT_EQ(escaped("\xc2\x80\xc2\x9b\xc2\x9f\xc2\xa0"), "\\u0080\\u009b\\u009f\xc2\xa0");
    // Every bidirectional formatting character, and its neighbours that are harmless.
    EXPECT_EQ(escaped("\u202a\u202b\u202c\u202d\u202e\u2066\u2067\u2068\u2069"),
              "\\u202a\\u202b\\u202c\\u202d\\u202e\\u2066\\u2067\\u2068\\u2069");
    EXPECT_EQ(escaped("\u200e\u200f\u061c"), "\\u200e\\u200f\\u061c");
    EXPECT_EQ(escaped("\u200d\u2029\u202f\u2065\u206a\u061b"),
              "\u200d\u2029\u202f\u2065\u206a\u061b");
    EXPECT_EQ(escaped("Caf\u00e9 \U0001F600 \\u001b"), "Caf\u00e9 \U0001F600 \\u001b");
    EXPECT_EQ(escaped(""), "");
}

TEST(TerminalText, BytesThatAreNotUtf8AreShownAsBytes) {
    EXPECT_EQ(escaped("a\x9b"
                      "b"),
              "a\\x9bb");
    EXPECT_EQ(escaped("\xff\xfe"), "\\xff\\xfe");
    EXPECT_EQ(escaped("\xe2\x80"), "\\xe2\\x80");          // cut short at the end
    EXPECT_EQ(escaped("\xc0\xaf"), "\\xc0\\xaf");          // overlong "/"
    EXPECT_EQ(escaped("\xed\xa0\x80"), "\\xed\\xa0\\x80"); // a surrogate
}

TEST(TerminalText, KeepsOnlyLineFeedsWhenAskedTo) {
    EXPECT_EQ(escaped("one\ntwo\r\n\x1b", true), "one\ntwo\\u000d\n\\u001b");
    EXPECT_EQ(escaped("one\ntwo", false), "one\\u000atwo");
}
