#include "core/TextMatcher.h"

#include "TemporaryFolder.h"
#include "core/SessionLibrary.h"

#include <gtest/gtest.h>

using namespace ambrel::core;
using Ranges = std::vector<std::pair<std::size_t, std::size_t>>;

namespace {

bool finds(std::string_view query, std::string_view text) {
    return TextMatcher(query).foundIn(TextMatcher::fold(text));
}

} // namespace

TEST(TextMatcherTest, CaseAccentsAndWidthDoNotMatter) {
    EXPECT_TRUE(finds("cafe", "Meet me at the Café at noon"));
    EXPECT_TRUE(finds("CAFÉ", "the cafe"));
    EXPECT_TRUE(finds("report", "ｔｈｅ ＲＥＰＯＲＴ is late")); // full-width letters
    EXPECT_TRUE(finds("ｶﾀｶﾅ", "カタカナ"));                      // half-width katakana
    EXPECT_TRUE(finds("strasse", "Hauptstraße 5"));
    EXPECT_TRUE(finds("ΣΟΦΙΑ", "σοφία"));
    EXPECT_TRUE(finds("fine", "ﬁne print"));    // ligature
    EXPECT_TRUE(finds("naive", "nai\u0308ve")); // a decomposed accent
    EXPECT_TRUE(finds("か", "が"));             // voicing marks rank with accents
    EXPECT_FALSE(finds("cafe", "caffè latte"));
    EXPECT_FALSE(finds("", "anything"));
    // Vowel signs of Indic scripts are letters: कि is not क.
    EXPECT_FALSE(finds("कि", "क"));
    EXPECT_TRUE(finds("कि", "किताब"));
    // Invalid bytes are harmless.
    EXPECT_FALSE(finds("x", std::string("\xff\xfe", 2)));
}

TEST(TextMatcherTest, OccurrencesCoverWholeCharactersOfTheOriginalText) {
    const std::string text = "Café, CAFE and café.";
    const TextMatcher matcher("cafe");
    EXPECT_EQ(matcher.occurrences(text), (Ranges{{0, 5}, {7, 11}, {16, 21}}));
    EXPECT_EQ(text.substr(0, 5), "Café");
    // A match inside the folding of one character takes the whole character.
    EXPECT_EQ(TextMatcher("s").occurrences("aß"), (Ranges{{1, 3}}));
    EXPECT_EQ(TextMatcher("aa").occurrences("aaaa"), (Ranges{{0, 2}, {2, 4}}));
    EXPECT_TRUE(TextMatcher("zz").occurrences(text).empty());
}

TEST(SessionLibraryTest, SearchesTheCachedLinesAndFollowsTheFolder) {
    ambrel::testing::TemporaryFolder folder;
    SessionStore store(folder.path());
    const auto lineOf = [](std::string text, double start) {
        return TranscriptLine{Uuid::random(), std::move(text), start, SpeechSource::microphone,
                              "fr-FR"};
    };
    SessionRecord older("2025-03-13 09-00-00", 1741856400.0);
    older.lines = {lineOf("Rendez-vous au café", 1741856401.0), lineOf("à midi", 1741856402.0)};
    older.endedAt = older.lastUpdated = 1741856403.0;
    SessionRecord newer("2025-03-14 09-00-00", 1741942800.0);
    newer.lines = {lineOf("The budget", 1741942801.0)};
    newer.lastUpdated = 1741942801.0;
    store.save(older);
    store.save(newer);
    folder.write("broken.json", "{");

    // Trashed sessions land in the folder's own ".trash".
    store.setMoveToTrash([](const std::filesystem::path&) { throw std::runtime_error("none"); });
    SessionLibrary library(store);
    auto summaries = library.list();
    ASSERT_EQ(summaries.size(), 2u);
    EXPECT_EQ(summaries[0].id, newer.id);
    EXPECT_EQ(library.sessionIDs("CAFE", summaries), std::set<std::string>{older.id});
    // The query does not run across lines.
    EXPECT_TRUE(library.sessionIDs("café à", summaries).empty());

    // The live record is searched before its file catches up.
    newer.lines.push_back(lineOf("and the café", 1741942805.0));
    newer.lastUpdated = 1741942805.0;
    library.remember(newer);
    EXPECT_EQ(library.sessionIDs("cafe", summaries), (std::set<std::string>{older.id, newer.id}));
    // An older copy does not replace it.
    SessionRecord stale = newer;
    stale.lines.pop_back();
    stale.lastUpdated = 1741942801.0;
    library.remember(stale);
    EXPECT_EQ(library.sessionIDs("cafe", summaries).size(), 2u);

    // A cancelled search stops with what it has.
    std::atomic<bool> cancelled{true};
    EXPECT_TRUE(library.sessionIDs("cafe", summaries, &cancelled).empty());

    library.trash(summaries[1]);
    EXPECT_EQ(library.list().size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(folder.path() / ".trash" / (older.id + ".json")));
    EXPECT_THROW(library.entry(summaries[1]), std::exception);
}
