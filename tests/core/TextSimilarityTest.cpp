#include "core/TextSimilarity.h"

#include "core/UnicodeText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace ambrel::core;
namespace TextSimilarity = ambrel::core::TextSimilarity;

namespace {

// Pieces that stress normalisation and segmentation: combining marks, emoji sequences, Hangul
// syllables and jamo, scripts without case, special case mappings, digits of other scripts.
const std::vector<std::string> pieces = {
    "a",
    "B",
    "z",
    "7",
    " ",
    "  ",
    ",",
    ".",
    "!",
    "?",
    "-",
    "\t",
    "\r\n",
    "\n",
    "'",
    "e\u0301",
    "\u00E9",
    "\u00C9",
    "E\u0301",
    "o\u0308\u0304",
    "\u0301",
    "\u0308",
    "\u00DF",
    "\u1E9E",
    "SS",
    "\u0130",
    "\u0131",
    "I",
    "\u03A3",
    "\u03C3",
    "\u03C2",
    "\u039F\u0394\u039F\u03A3",
    "\U0001F44D",
    "\U0001F44D\U0001F3FD",
    "\U0001F468\u200D\U0001F469\u200D\U0001F467",
    "\u200D",
    "\U0001F1E9\U0001F1EA",
    "1\uFE0F\u20E3",
    "\u2764\uFE0F",
    "\uFE0F",
    "\uD55C",
    "\u1112\u1161\u11AB",
    "\uAD6D\uC5B4",
    "\u4E2D\u6587",
    "\u3002",
    "\u3000",
    "\u0645\u0631\u062D\u0628\u0627",
    "\u05E9\u05DC\u05D5\u05DD",
    "\u0E2A\u0E27\u0E31\u0E2A\u0E14\u0E35",
    "\u0915\u094D\u0937\u093F",
    "\u0663",
    "\u00BD",
    "\u216B",
    "\uFF21",
    "\uFF41",
    "\u00A0",
};

std::string randomText(std::mt19937& random, int maximumPieces) {
    std::uniform_int_distribution<int> count(0, maximumPieces);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::string text;
    for (int i = count(random); i > 0; --i) {
        text += pieces[pick(random)];
    }
    return text;
}

std::size_t naiveDistance(const std::vector<TextSimilarity::Character>& a,
                          const std::vector<TextSimilarity::Character>& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The repeated-beginning search written out with a plain table, as a reference.
std::optional<std::size_t> referenceEndOfRepeatedPrefix(std::string_view text,
                                                        std::string_view other, double threshold) {
    const auto target = TextSimilarity::characters(TextSimilarity::normalize(other));
    const auto cuts = UnicodeText::characterBoundaries(text);
    std::vector<TextSimilarity::Character> c;
    std::vector<std::size_t> ends;
    for (std::size_t i = 1; i < cuts.size(); ++i) {
        for (auto ch : TextSimilarity::characters(
                 TextSimilarity::normalize(text.substr(cuts[i - 1], cuts[i] - cuts[i - 1])))) {
            c.push_back(ch);
            ends.push_back(cuts[i]);
        }
    }
    const std::size_t n = target.size();
    if (n == 0 || c.empty()) {
        return std::nullopt;
    }
    std::vector<std::size_t> row(n + 1);
    for (std::size_t j = 0; j <= n; ++j) {
        row[j] = j;
    }
    std::size_t bestLength = 0, bestDistance = n;
    for (std::size_t i = 1; i <= c.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= n; ++j) {
            const std::size_t above = row[j];
            row[j] = std::min(
                {row[j] + 1, row[j - 1] + 1, diagonal + (c[i - 1] == target[j - 1] ? 0 : 1)});
            diagonal = above;
        }
        if (row[n] <= bestDistance) {
            bestLength = i;
            bestDistance = row[n];
        }
    }
    const std::size_t whole = *std::min_element(row.begin(), row.end());
    if (whole <= bestDistance && 1.0 - double(whole) / double(c.size()) >= threshold) {
        return text.size();
    }
    if (bestLength >= 1 && 1.0 - double(bestDistance) / double(n) >= threshold) {
        std::size_t position = ends[bestLength - 1];
        auto index = std::size_t(std::find(cuts.begin(), cuts.end(), position) - cuts.begin());
        while (index + 1 < cuts.size() &&
               TextSimilarity::normalize(text.substr(cuts[index], cuts[index + 1] - cuts[index]))
                   .empty()) {
            ++index;
        }
        return cuts[index];
    }
    return std::nullopt;
}

} // namespace

TEST(TextSimilarity, NormalizeKeepsLettersAndNumbersLowerCased) {
    EXPECT_EQ(TextSimilarity::normalize("Hello, World!"), "helloworld");
    EXPECT_EQ(TextSimilarity::normalize("  Caf\u00E9 NO. 5 "), "caf\u00E9no5");
    EXPECT_EQ(TextSimilarity::normalize("Cafe\u0301"), "caf\u00E9") << "composed";
    EXPECT_NE(TextSimilarity::normalize("caf\u00E9"), TextSimilarity::normalize("cafe"));
    EXPECT_EQ(TextSimilarity::normalize("Stra\u1E9Ee STRASSE"), "stra\u00DFestrasse");
    EXPECT_EQ(TextSimilarity::normalize("\u0130stanbul"), "i\u0307stanbul");
    EXPECT_EQ(TextSimilarity::normalize("\u039F\u0394\u039F\u03A3 \u039F\u0394\u039F\u03A3"),
              "\u03BF\u03B4\u03BF\u03C2\u03BF\u03B4\u03BF\u03C2")
        << "final sigma";
    EXPECT_EQ(TextSimilarity::normalize("\u00BD \u0663 \u216B"), "\u00BD\u0663\u217B");
    EXPECT_EQ(TextSimilarity::normalize("\u4E2D\u6587\u3002\uD55C\uAD6D\uC5B4!"),
              "\u4E2D\u6587\uD55C\uAD6D\uC5B4");
    EXPECT_EQ(TextSimilarity::normalize("\u1112\u1161\u11AB"), "\uD55C") << "jamo compose";
    EXPECT_EQ(TextSimilarity::normalize(
                  "\U0001F44D\U0001F3FD \U0001F468\u200D\U0001F469\u200D\U0001F467 \u2764\uFE0F"),
              "");
    // A keycap holds a digit, so the whole character stays.
    EXPECT_EQ(TextSimilarity::normalize("1\uFE0F\u20E3"), "1\uFE0F\u20E3");
    EXPECT_EQ(TextSimilarity::normalize("\uFF21\uFF42"), "\uFF41\uFF42") << "width is kept";
    EXPECT_EQ(TextSimilarity::normalize(""), "");
}

TEST(TextSimilarity, SimilarityCountsEditsOverUserPerceivedCharacters) {
    EXPECT_EQ(TextSimilarity::similarity("", "!!!"), 1.0);
    EXPECT_EQ(TextSimilarity::similarity("abc", ""), 0.0);
    EXPECT_EQ(TextSimilarity::similarity("flaw", "lawn"), 0.5);
    EXPECT_EQ(TextSimilarity::similarity("Hello, world", "hello world!"), 1.0);
    EXPECT_EQ(TextSimilarity::similarity("caf\u00E9", "cafe"), 0.75);
    EXPECT_EQ(TextSimilarity::similarity("caf\u00E9", "cafe\u0301"), 1.0);
    EXPECT_EQ(TextSimilarity::similarity("\uD55C\uAD6D", "\u1112\u1161\u11AB\uAD6D"), 1.0);
    // q with a dot above has no precomposed form: still one character, so one edit in two.
    EXPECT_EQ(TextSimilarity::similarity("aq\u0307", "aq"), 0.5);
    EXPECT_EQ(TextSimilarity::similarity("1\uFE0F\u20E3a", "1a"), 0.5);
}

TEST(TextSimilarity, BitParallelDistanceMatchesThePlainTable) {
    std::mt19937 random(11);
    for (int round = 0; round < 400; ++round) {
        const std::size_t alphabet = round % 2 == 0 ? 3 : 40;
        std::uniform_int_distribution<std::size_t> length(0, round % 10 == 0 ? 300 : 140);
        std::uniform_int_distribution<std::uint64_t> symbol(1, alphabet);
        std::vector<TextSimilarity::Character> a(length(random)), b(length(random));
        for (auto& c : a)
            c = symbol(random);
        for (auto& c : b)
            c = symbol(random);
        ASSERT_EQ(TextSimilarity::distance(a, b), naiveDistance(a, b))
            << a.size() << "x" << b.size();
    }
    // Block edges.
    for (std::size_t size : {63u, 64u, 65u, 127u, 128u, 129u}) {
        std::vector<TextSimilarity::Character> a(size, 1), b(size, 1);
        b[size / 2] = 2;
        b.push_back(3);
        EXPECT_EQ(TextSimilarity::distance(a, b), 2u) << size;
        EXPECT_EQ(TextSimilarity::distance(a, {}), size);
    }
}

TEST(TextSimilarity, NearestStretchIsTheBestMatchingSubstring) {
    const auto chars = [](std::string_view text) {
        return TextSimilarity::characters(TextSimilarity::normalize(text));
    };
    EXPECT_EQ(TextSimilarity::similarityToNearestStretch(chars("next quarter"),
                                                         chars("the budget for the next quarter")),
              1.0);
    EXPECT_NEAR(TextSimilarity::similarityToNearestStretch(
                    chars("budget fore next quota"), chars("the budget for the next quarter")),
                0.79, 0.01);
    EXPECT_EQ(TextSimilarity::similarityToNearestStretch({}, chars("anything")), 0.0);
    EXPECT_EQ(TextSimilarity::similarityToNearestStretch(chars("abc"), {}), 0.0);

    // Against every substring by the plain table.
    std::mt19937 random(5);
    for (int round = 0; round < 200; ++round) {
        std::uniform_int_distribution<std::size_t> length(1, 20);
        std::uniform_int_distribution<std::uint64_t> symbol(1, 4);
        std::vector<TextSimilarity::Character> text(length(random)), within(length(random) * 2);
        for (auto& c : text)
            c = symbol(random);
        for (auto& c : within)
            c = symbol(random);
        std::size_t best = text.size();
        for (std::size_t from = 0; from <= within.size(); ++from) {
            for (std::size_t to = from; to <= within.size(); ++to) {
                const std::vector<TextSimilarity::Character> stretch(within.begin() + from,
                                                                     within.begin() + to);
                best = std::min(best, naiveDistance(text, stretch));
            }
        }
        ASSERT_DOUBLE_EQ(TextSimilarity::similarityToNearestStretch(text, within),
                         1.0 - static_cast<double>(best) / static_cast<double>(text.size()));
    }
}

TEST(TextSimilarity, FindsWhereARepeatedBeginningEnds) {
    const std::string hello = "Hello world, how are you";
    EXPECT_EQ(TextSimilarity::endOfRepeatedPrefix(hello, "hello world", 0.7), hello.find("how"));
    EXPECT_EQ(TextSimilarity::endOfRepeatedPrefix("hello wor", "hello world", 0.7), 9u);
    EXPECT_EQ(TextSimilarity::endOfRepeatedPrefix("completely different", "hello world", 0.7),
              std::nullopt);
    const std::string decided = "so this is what we decided and more";
    EXPECT_EQ(TextSimilarity::endOfRepeatedPrefix(decided, "So this is what we decided", 0.6),
              decided.find("and"));
    // Slightly misheard repetition still counts.
    const std::string misheard = "so this is what he decided and then";
    EXPECT_EQ(TextSimilarity::endOfRepeatedPrefix(misheard, "So this is what we decided", 0.6),
              misheard.find("and"));
    // Steps over punctuation and emoji to the next word.
    const std::string thumbs = "\u00C7a va \U0001F44D\U0001F3FD bien";
    EXPECT_EQ(TextSimilarity::endOfRepeatedPrefix(thumbs, "\u00E7a va", 0.7), thumbs.find("bien"));
    EXPECT_EQ(TextSimilarity::endOfRepeatedPrefix("...", "hello", 0.6), std::nullopt);
    EXPECT_EQ(TextSimilarity::endOfRepeatedPrefix("hello", "!!!", 0.6), std::nullopt);
    // The repetition must be at the start.
    EXPECT_EQ(TextSimilarity::endOfRepeatedPrefix("we said hello world", "hello world", 0.7),
              std::nullopt);
}

TEST(TextSimilarity, PropertiesHoldOverAdversarialUnicode) {
    std::mt19937 random(5);
    for (int round = 0; round < 1500; ++round) {
        const auto a = randomText(random, 12);
        const auto b = round % 3 == 0 ? a + randomText(random, 4) : randomText(random, 12);

        const auto normalized = TextSimilarity::normalize(a);
        ASSERT_EQ(TextSimilarity::normalize(normalized), normalized) << a;

        const double ab = TextSimilarity::similarity(a, b);
        ASSERT_EQ(ab, TextSimilarity::similarity(b, a)) << a << " | " << b;
        ASSERT_GE(ab, 0.0);
        ASSERT_LE(ab, 1.0);
        ASSERT_EQ(TextSimilarity::similarity(a, a), 1.0);

        const auto boundaries = UnicodeText::characterBoundaries(b);
        for (double threshold : {0.6, 0.8}) {
            const auto end = TextSimilarity::endOfRepeatedPrefix(b, a, threshold);
            ASSERT_EQ(end, referenceEndOfRepeatedPrefix(b, a, threshold)) << a << " | " << b;
            if (end) {
                ASSERT_TRUE(std::binary_search(boundaries.begin(), boundaries.end(), *end)) << b;
            }
        }
    }
}
