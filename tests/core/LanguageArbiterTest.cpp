#include "core/LanguageArbiter.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace ambrel::core;

namespace {

// Words of `text` laid end to end from `start`, each `step` seconds long.
RecognizedSegment segment(std::string locale, const std::string& text, double start,
                          double confidence, double step = 0.4) {
    std::istringstream stream(text);
    std::vector<RecognizedSegment::Word> words;
    std::string word;
    for (double at = start; stream >> word; at += step) {
        words.push_back({(words.empty() ? "" : " ") + word, at, at + step, confidence});
    }
    return RecognizedSegment(std::move(locale), std::move(words));
}

std::vector<std::string> describe(const std::vector<RecognizedSegment>& segments) {
    std::vector<std::string> result;
    for (const auto& s : segments) {
        result.push_back(s.locale + ": " + s.text());
    }
    return result;
}

using Lines = std::vector<std::string>;
const std::vector<std::string> englishGerman{"en-US", "de-DE"};

} // namespace

TEST(RecognizedSegment, DerivesTextTimesAndWeightedConfidence) {
    RecognizedSegment s(
        "en-US", {{" Hello", 1.0, 1.5, 1.0}, {" there ", 1.5, 1.5, 0.0}, {"!\n", 1.2, 2.5, 0.5}});
    EXPECT_EQ(s.text(), "Hello there !");
    EXPECT_DOUBLE_EQ(s.start(), 1.0);
    EXPECT_DOUBLE_EQ(s.end(), 2.5);
    // Weights 0.5, 0.05 (a zero-length word), 1.3.
    EXPECT_DOUBLE_EQ(s.confidence(), (0.5 * 1.0 + 0.05 * 0.0 + 1.3 * 0.5) / 1.85);
    EXPECT_TRUE(s.hasSpeech());
    EXPECT_FALSE(RecognizedSegment("en-US", {{"...", 0, 1, 1}}).hasSpeech());
    const RecognizedSegment empty("en-US", {});
    EXPECT_EQ(empty.start(), 0);
    EXPECT_EQ(empty.end(), 0);
    EXPECT_EQ(empty.confidence(), 0);
    EXPECT_NE(RecognizedSegment("en-US", {}).id(), empty.id());
}

TEST(LanguageArbiter, OneLocaleDecidesAtOnceWhateverTheConfidence) {
    LanguageArbiter arbiter({"en-US"});
    EXPECT_EQ(arbiter.currentLocale(), "en-US");
    EXPECT_EQ(describe(arbiter.addFinal(segment("en-US", "hello there", 0, 0.1), 5)),
              Lines{"en-US: hello there"});
    EXPECT_TRUE(arbiter.addFinal(segment("en-US", "...", 1, 0.9), 6).empty()) << "no speech";
}

TEST(LanguageArbiter, WaitsForTheOtherLanguageOrTheSettleDelay) {
    LanguageArbiter confident(englishGerman);
    EXPECT_FALSE(confident.currentLocale());
    EXPECT_TRUE(confident.addFinal(segment("en-US", "good morning everyone", 0, 0.95), 10).empty());
    EXPECT_TRUE(confident.tick(11.19).empty());
    EXPECT_EQ(describe(confident.tick(11.21)), Lines{"en-US: good morning everyone"});

    LanguageArbiter uncertain(englishGerman);
    uncertain.addFinal(segment("en-US", "good morning everyone", 0, 0.8), 10);
    EXPECT_TRUE(uncertain.tick(13.49).empty());
    EXPECT_EQ(describe(uncertain.tick(13.5)), Lines{"en-US: good morning everyone"});

    // As soon as the other language covers the same stretch, the group is decided.
    LanguageArbiter both(englishGerman);
    both.addFinal(segment("en-US", "good morning everyone", 0, 0.8), 10);
    EXPECT_EQ(describe(both.addFinal(segment("de-DE", "gut morgen every", 0.1, 0.6), 10.2)),
              Lines{"en-US: good morning everyone"});
    EXPECT_EQ(both.currentLocale(), "en-US");
    EXPECT_TRUE(both.flush().empty()) << "the loser's words went with the decision";
}

TEST(LanguageArbiter, ThreeLocalesWaitUntilAllHaveAnswered) {
    LanguageArbiter arbiter({"en-US", "de-DE", "fr-FR"});
    arbiter.addFinal(segment("en-US", "see you tomorrow", 0, 0.97), 1);
    EXPECT_TRUE(arbiter.addFinal(segment("de-DE", "sie ju tomorrow", 0, 0.5), 1.1).empty());
    EXPECT_EQ(describe(arbiter.addFinal(segment("fr-FR", "si vous demain", 0.05, 0.4), 1.3)),
              Lines{"en-US: see you tomorrow"});
}

TEST(LanguageArbiter, EqualScoresGoToTheEarlierLocale) {
    LanguageArbiter arbiter({"de-DE", "en-US"});
    arbiter.addFinal(segment("en-US", "das ist gut", 0, 0.9), 0);
    const auto decided = arbiter.addFinal(segment("de-DE", "das ist gut", 0, 0.9), 0);
    EXPECT_EQ(describe(decided), Lines{"de-DE: das ist gut"});
    EXPECT_EQ(arbiter.currentLocale(), "de-DE");
}

TEST(LanguageArbiter, StickinessFavoursTheCurrentLanguage) {
    LanguageArbiter arbiter(englishGerman);
    arbiter.addFinal(segment("en-US", "first sentence here", 0, 0.9), 0);
    arbiter.addFinal(segment("de-DE", "erst sentenz hier", 0, 0.5), 0);
    ASSERT_EQ(arbiter.currentLocale(), "en-US");
    arbiter.addFinal(segment("de-DE", "und noch etwas", 5, 0.92), 6);
    EXPECT_EQ(describe(arbiter.addFinal(segment("en-US", "and another thing", 5, 0.9), 6)),
              Lines{"en-US: and another thing"})
        << "0.90 + 0.04 beats 0.92";
}

TEST(LanguageArbiter, ALoserKeepsTheSentenceItHeardAfterTheWinner) {
    LanguageArbiter arbiter(englishGerman);
    arbiter.addFinal(segment("en-US", "so we went home", 0, 0.9), 0);
    // German heard the same words, then repeated "home" and went on for 1.2 s more.
    auto german = segment("de-DE", "so we went home", 0, 0.8);
    const auto more = segment("de-DE", "home und dann gehen", 2.0, 0.8);
    german.words.insert(german.words.end(), more.words.begin(), more.words.end());
    EXPECT_TRUE(arbiter.addFinal(german, 0).empty())
        << "English ends too early to count as present";
    EXPECT_EQ(describe(arbiter.tick(3.5)),
              (Lines{"en-US: so we went home", "de-DE: und dann gehen"}));
    EXPECT_EQ(arbiter.currentLocale(), "de-DE");
}

TEST(LanguageArbiter, ShortOrUnsureLeftoversOfALoserDisappear) {
    for (const auto& [extra, confidence] :
         std::vector<std::pair<std::string, double>>{{"und", 0.9}, {"und dann gehen", 0.4}}) {
        LanguageArbiter arbiter(englishGerman);
        arbiter.addFinal(segment("en-US", "so we went home", 0, 0.9), 0);
        auto german = segment("de-DE", "so we went home", 0, 0.8);
        const auto more = segment("de-DE", extra, 2.0, confidence);
        german.words.insert(german.words.end(), more.words.begin(), more.words.end());
        arbiter.addFinal(german, 0);
        EXPECT_EQ(describe(arbiter.flush()), Lines{"en-US: so we went home"}) << extra;
    }
}

TEST(LanguageArbiter, TrailingWordsRepeatingTheWinnersStartAreCut) {
    LanguageArbiter arbiter(englishGerman);
    // English heard a sentence of its own, then the start of the German one just before German did.
    auto english = segment("en-US", "hello there friend", 0, 0.9);
    english.words.push_back({" wir", 1.3, 1.6, 0.9});
    english.words.push_back({" gehen", 1.6, 1.8, 0.9});
    english.words.push_back({" jets", 2.1, 2.5, 0.9});
    arbiter.addFinal(english, 0);
    arbiter.addFinal(segment("de-DE", "wir gehen jetzt", 2.0, 0.95), 0);
    EXPECT_EQ(describe(arbiter.flush()),
              (Lines{"en-US: hello there friend", "de-DE: wir gehen jetzt"}));
}

TEST(LanguageArbiter, ALoneUnsureSegmentIsDroppedOnlyWithSeveralLanguages) {
    LanguageArbiter several(englishGerman);
    several.addFinal(segment("en-US", "mumble mumble", 0, 0.3), 0);
    EXPECT_TRUE(several.flush().empty());
    EXPECT_FALSE(several.currentLocale());

    LanguageArbiter one({"en-US"});
    EXPECT_EQ(describe(one.addFinal(segment("en-US", "mumble mumble", 0, 0.3), 0)),
              Lines{"en-US: mumble mumble"});
}

TEST(LanguageArbiter, DecidedSpeechIsNotDecidedTwice) {
    LanguageArbiter arbiter(englishGerman);
    arbiter.addFinal(segment("en-US", "so we went home", 0, 0.95), 0);
    ASSERT_EQ(arbiter.tick(2).size(), 1u);
    // A late German final for the same words adds nothing.
    EXPECT_TRUE(arbiter.addFinal(segment("de-DE", "so we went home", 0.1, 0.99), 3).empty());
    EXPECT_TRUE(arbiter.flush().empty());

    // Words straddling the decided end: only those with their middle beyond it stay, and a
    // leading repeat of the winner's last words across the language switch is dropped too.
    LanguageArbiter late(englishGerman);
    late.addFinal(segment("en-US", "so we went home", 0, 0.95), 0);
    late.tick(2);
    RecognizedSegment german("de-DE", {{"hum", 1.2, 1.6, 0.9},
                                       {" home", 1.7, 2.1, 0.9},
                                       {" und", 2.1, 2.6, 0.9},
                                       {" dann", 2.6, 3.0, 0.9}});
    late.addFinal(german, 3);
    EXPECT_EQ(describe(late.flush()), Lines{"de-DE: und dann"});
}

TEST(LanguageArbiter, GroupsJoinWithinAQuarterSecond) {
    for (const auto& [gap, decidedAtOnce] :
         std::vector<std::pair<double, bool>>{{0.3, true}, {0.2, false}}) {
        LanguageArbiter arbiter(englishGerman);
        arbiter.addFinal(segment("en-US", "first part", 0, 0.95), 0); // ends at 0.8
        arbiter.addFinal(segment("en-US", "second part", 0.8 + gap, 0.95), 0);
        const auto decided = arbiter.addFinal(segment("de-DE", "erster teil", 0, 0.5), 0.1);
        EXPECT_EQ(decided.size(), decidedAtOnce ? 1u : 0u) << gap;
        EXPECT_EQ(arbiter.flush().size(), decidedAtOnce ? 1u : 2u) << gap;
    }
}

TEST(LanguageArbiter, VolatileTextPrefersTheCurrentLanguageAndSkipsDecidedText) {
    LanguageArbiter arbiter(englishGerman);
    EXPECT_EQ(arbiter.addVolatile("de-DE", "hallo", 0.7), "hallo");
    EXPECT_EQ(arbiter.addVolatile("en-US", "hello", 0.6), "hallo") << "higher confidence wins";
    EXPECT_EQ(arbiter.addVolatile("de-DE", "", 0), "hello") << "empty text withdraws";

    arbiter.addFinal(segment("en-US", "So this is what we decided", 0, 0.95), 0);
    ASSERT_EQ(arbiter.tick(1.5).size(), 1u);
    ASSERT_EQ(arbiter.currentLocale(), "en-US");
    EXPECT_FALSE(arbiter.volatileText()) << "the final withdrew English's volatile text";
    EXPECT_EQ(arbiter.addVolatile("de-DE", "so this is what we decided and more", 0.5), "and more");
    EXPECT_EQ(arbiter.addVolatile("de-DE", "so this is what we", 0.5), std::nullopt)
        << "nothing new yet";
    EXPECT_EQ(arbiter.addVolatile("en-US", "next words", 0.1), "next words")
        << "current language first";
    EXPECT_EQ(arbiter.volatileResult(),
              (LanguageArbiter::VolatileResult{"next words", 0.1, "en-US"}));

    arbiter.flush();
    EXPECT_FALSE(arbiter.volatileText());
    EXPECT_EQ(arbiter.addVolatile("de-DE", "so this is what we decided", 0.5),
              "so this is what we decided")
        << "flush forgot what was decided ahead";
}

TEST(LanguageArbiter, FlushDecidesEverythingPending) {
    LanguageArbiter arbiter({"en-US", "de-DE", "fr-FR"});
    arbiter.addFinal(segment("en-US", "one two three", 0, 0.5), 0);
    arbiter.addFinal(segment("en-US", "four five", 5, 0.96), 0);
    arbiter.addVolatile("fr-FR", "six", 0.4);
    EXPECT_EQ(describe(arbiter.flush()), (Lines{"en-US: one two three", "en-US: four five"}));
    EXPECT_FALSE(arbiter.volatileText());
    EXPECT_TRUE(arbiter.tick(100).empty());
}
