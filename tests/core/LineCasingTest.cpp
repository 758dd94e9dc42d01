#include "core/LineCasing.h"

#include <gtest/gtest.h>

using ambrel::core::LineCasing::sentenceCase;

TEST(LineCasing, FirstLetterByTheLinesLanguage) {
    EXPECT_EQ(sentenceCase("good morning everyone", "en-US"), "Good morning everyone");
    EXPECT_EQ(sentenceCase("über den wolken", "de-DE"), "Über den wolken");
    EXPECT_EQ(sentenceCase("ijsselmeer is groot", "nl-NL"), "IJsselmeer is groot");
    EXPECT_EQ(sentenceCase("istanbul büyük", "tr-TR"), "İstanbul büyük");
    EXPECT_EQ(sentenceCase("istanbul", "en-US"), "Istanbul");
    EXPECT_EQ(sentenceCase("ǆungla", "hr-HR"), "ǅungla") << "title case, not upper case";
    EXPECT_EQ(sentenceCase("'tis the season", "en-US"), "'Tis the season");
    EXPECT_EQ(sentenceCase("42 people came", "en-US"), "42 people came");
    EXPECT_EQ(sentenceCase("東京に行きます", "ja-JP"), "東京に行きます");
    EXPECT_EQ(sentenceCase("", "en-US"), "");
    EXPECT_EQ(sentenceCase("NASA said so", "en-US"), "NASA said so") << "never lowers";
    EXPECT_EQ(sentenceCase("already Fine", "not a tag!"), "Already Fine");
}

TEST(LineCasing, EnglishPronounI) {
    EXPECT_EQ(sentenceCase("yes i think i'm right and i'll say i've seen what i'd do", "en-GB"),
              "Yes I think I'm right and I'll say I've seen what I'd do");
    EXPECT_EQ(sentenceCase("so i\u2019m here, i.", "en"), "So I\u2019m here, I.");
    EXPECT_EQ(sentenceCase("it is in the iris, ink and i's", "en-US"),
              "It is in the iris, ink and i's")
        << "only the pronoun";
    EXPECT_EQ(sentenceCase("ja i tak", "pl-PL"), "Ja i tak") << "Polish 'i' means 'and'";
}
