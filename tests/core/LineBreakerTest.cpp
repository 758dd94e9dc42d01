#include "core/LineBreaker.h"

#include "core/UnicodeText.h"

#include <gtest/gtest.h>

#include <string>

using namespace ambrel::core;

namespace {

// Words "w0 w1 …" of `length` letters each, one every `step` seconds lasting `duration`, with
// longer pauses after the given word indices.
RecognizedSegment speech(std::size_t count, double step, double duration,
                         std::map<std::size_t, double> pausesAfter = {}, std::size_t length = 5) {
    std::vector<RecognizedSegment::Word> words;
    double at = 10;
    for (std::size_t i = 0; i < count; ++i) {
        std::string text =
            (i == 0 ? "" : " ") + std::string(length, static_cast<char>('a' + i % 26));
        words.push_back({text, at, at + duration, 0.8});
        at += step;
        if (const auto pause = pausesAfter.find(i); pause != pausesAfter.end()) {
            at += pause->second;
        }
    }
    return RecognizedSegment("en-US", std::move(words));
}

std::size_t wordCount(const std::vector<RecognizedSegment>& lines) {
    std::size_t count = 0;
    for (const auto& line : lines) {
        count += line.words.size();
    }
    return count;
}

} // namespace

TEST(LineBreaker, LongSpeechEndsAtTheFirstPauseAfterTheLineGrewLong) {
    const LineBreaker breaker;
    // Words every 0.4 s (0.3 s long, so 0.1 s gaps); pauses of 0.3 s after word 5 (too short),
    // and real pauses after words 10 (at 4 s: the line is still short) and 24 (past 8 s).
    const auto segment = speech(40, 0.4, 0.3, {{5, 0.2}, {10, 0.4}, {24, 0.4}});
    const auto lines = breaker.split(segment);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].words.size(), 25u);
    EXPECT_EQ(lines[1].words.size(), 15u);
    EXPECT_EQ(lines[1].start(), segment.words[25].start) << "each piece starts with its words";
    EXPECT_EQ(lines[1].text().front(), segment.words[25].text[1]) << "leading space trimmed";
    EXPECT_EQ(lines[0].locale, "en-US");

    // Short speech stays one line, whatever its pauses.
    EXPECT_EQ(breaker.split(speech(6, 0.4, 0.3, {{2, 2.0}})).size(), 1u);
    EXPECT_TRUE(breaker.split(RecognizedSegment("en-US", {})).empty());
}

TEST(LineBreaker, LinesWithoutPausesAreCutAtTheHardLimitsBetweenWords) {
    const LineBreaker breaker;
    // 60 s of words 0.4 s apart with no pause at all: cut every 20 s at most.
    const auto timeBound = breaker.split(speech(150, 0.4, 0.35, {}, 2));
    EXPECT_EQ(wordCount(timeBound), 150u);
    for (const auto& line : timeBound) {
        EXPECT_LE(line.end() - line.start(), breaker.maximumSeconds);
    }
    EXPECT_EQ(timeBound.size(), 3u);

    // Long words, no pauses: cut before 200 characters.
    const auto characterBound = breaker.split(speech(60, 0.2, 0.19, {}, 11));
    EXPECT_EQ(wordCount(characterBound), 60u);
    for (std::size_t i = 0; i < characterBound.size(); ++i) {
        const auto length = UnicodeText::characterCount(characterBound[i].text());
        EXPECT_LE(length, breaker.maximumCharacters);
        if (i + 1 < characterBound.size()) {
            EXPECT_GT(length, breaker.maximumCharacters - 12) << "no needless cuts";
        }
    }
    // One word longer than the limit stays whole.
    const RecognizedSegment huge("en-US", {{std::string(300, 'x'), 0, 1, 1}});
    ASSERT_EQ(breaker.split(huge).size(), 1u);
}

TEST(LineBreaker, UntimedMultiWordRunsAreSharedOutByLength) {
    LineBreaker breaker;
    breaker.maximumCharacters = 20;
    // One "word" of 30 s covering many words: split into words, each timed by its length.
    std::string text;
    for (int i = 0; i < 12; ++i) {
        text += (i ? " " : "") + std::string("word") + std::to_string(i % 10);
    }
    const RecognizedSegment segment("de-DE", {{text, 100, 130, 0.6}});
    const auto lines = breaker.split(segment);
    ASSERT_GT(lines.size(), 1u);
    EXPECT_EQ(lines.front().start(), 100);
    EXPECT_DOUBLE_EQ(lines.back().end(), 130);
    std::string joined;
    for (const auto& line : lines) {
        EXPECT_LE(UnicodeText::characterCount(line.text()), 20u);
        EXPECT_DOUBLE_EQ(line.confidence(), 0.6);
        joined += (joined.empty() ? "" : " ") + line.text();
        for (std::size_t i = 1; i < line.words.size(); ++i) {
            EXPECT_DOUBLE_EQ(line.words[i].start, line.words[i - 1].end) << "times stay in order";
        }
    }
    EXPECT_EQ(joined, text) << "nothing lost or added";
}
