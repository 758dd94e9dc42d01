#include "core/UnicodeText.h"

#include <gtest/gtest.h>

using namespace ambrel::core;

TEST(UnicodeText, CountsWordsInAnyScript) {
    EXPECT_EQ(UnicodeText::wordCount(""), 0u);
    EXPECT_EQ(UnicodeText::wordCount(" \u2026 \u2014 !?"), 0u);
    EXPECT_EQ(UnicodeText::wordCount("Hello, world!"), 2u);
    EXPECT_EQ(UnicodeText::wordCount("Don't stop at 3.5 km."), 5u);
    EXPECT_EQ(UnicodeText::wordCount("the _draft_ plan"), 3u);
    EXPECT_EQ(UnicodeText::wordCount("\u05E9\u05DC\u05D5\u05DD \u05E2\u05D5\u05DC\u05DD"), 2u);
    EXPECT_EQ(UnicodeText::wordCount("\u00C9t\u00E9 \u00E0 Montr\u00E9al"), 3u);
    // No spaces: words come from the dictionary, so a sentence is more than one.
    EXPECT_GE(UnicodeText::wordCount("\u6771\u4EAC\u306B\u884C\u304D\u307E\u3059"), 3u);
}
