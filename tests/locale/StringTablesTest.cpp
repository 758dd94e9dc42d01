#include "locale/EmbeddedStringTables.h"
#include "locale/L10n.h"
#include "locale/StringsTable.h"
#include "locale/Texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>

using namespace ambrel;

namespace {

// The arguments a format takes: (position, kind) with kind 's' for %@ and 'd' for numbers.
std::multiset<std::pair<int, char>> arguments(std::string_view format) {
    std::multiset<std::pair<int, char>> result;
    static const std::regex placeholder(R"(%(?:(\d+)\$)?(?:ll|l)?([@diu%]))");
    int next = 1;
    const std::string text(format);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), placeholder);
         it != std::sregex_iterator(); ++it) {
        const auto kind = (*it)[2].str()[0];
        if (kind == '%') {
            continue;
        }
        const int position = (*it)[1].matched ? std::stoi((*it)[1].str()) : next++;
        result.insert({position, kind == '@' ? 's' : 'd'});
    }
    return result;
}

} // namespace

TEST(StringTables, EveryTableParsesKnowsOnlyRealKeysAndKeepsThePlaceholders) {
    std::map<std::string_view, std::string_view> english;
    for (const auto& text : Texts::all()) {
        ASSERT_TRUE(english.emplace(text.key, text.english).second) << "duplicate key " << text.key;
    }
    for (const auto& code : L10n::supportedLanguages()) {
        if (code == "en") {
            EXPECT_FALSE(EmbeddedStringTables::table(code)) << "English has no table";
            continue;
        }
        const auto bytes = EmbeddedStringTables::table(code);
        ASSERT_TRUE(bytes) << code;
        std::string error;
        const auto table = StringsTable::parse(*bytes, &error);
        ASSERT_TRUE(table) << code << ": " << error;
        std::size_t missing = 0;
        for (const auto& [key, englishText] : english) {
            const auto found = table->find(key);
            if (found == table->end()) {
                ++missing;
                continue;
            }
            EXPECT_EQ(arguments(found->second), arguments(englishText))
                << code << " " << key << ": \"" << found->second << "\"";
            EXPECT_FALSE(found->second.empty()) << code << " " << key;
        }
        for (const auto& [key, value] : *table) {
            EXPECT_TRUE(english.contains(key)) << code << " has an unknown key " << key;
        }
        RecordProperty(code + ".missing", static_cast<int>(missing));
    }
}

TEST(StringTables, ThePlaceholderCheckSeesReorderingAndMistakes) {
    EXPECT_EQ(arguments("%2$@ (%1$@)"), arguments("%@: %@"));
    EXPECT_EQ(arguments("%d %%"), arguments("%d%%"));
    EXPECT_NE(arguments("%@ %@"), arguments("%@"));
    EXPECT_NE(arguments("%d"), arguments("%@"));
    EXPECT_NE(arguments("%1$d %1$d"), arguments("%1$d %2$d"));
}

TEST(StringsTable, ReadsEntriesCommentsAndEscapes) {
    const auto table =
        StringsTable::parse("\xEF\xBB\xBF/* German */\n"
                            "\"a\" = \"eins\";  // trailing comment\n"
                            "/* multi\n line */ \"b.c\"=\"say \\\"hi\\\"\\n\\\\ \\t\";\n"
                            "\"a\" = \"zwei\";\n");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->at("a"), "zwei") << "the last entry of a key counts";
    EXPECT_EQ(table->at("b.c"), "say \"hi\"\n\\ \t");
    EXPECT_TRUE(StringsTable::parse("")->empty());
    EXPECT_TRUE(StringsTable::parse("// only a comment")->empty());
}

TEST(StringsTable, RefusesBrokenTablesSayingWhere) {
    const std::vector<std::pair<std::string, std::string>> broken = {
        {"\"a\" = \"b\"", "line 1: unexpected end of text"},
        {"\"a\" = \"b\";\n\"c\" \"d\";", "line 2: expected '='"},
        {"\"a\" = \"b\\q\";", "unknown escape \\q"},
        {"\"a\" = \"b;\n", "unclosed quote"},
        {"/* never closed", "unclosed comment"},
        {"a = \"b\";", "expected '\"'"},
        {"\"a\" = ;", "expected '\"'"},
    };
    for (const auto& [text, message] : broken) {
        std::string error;
        EXPECT_FALSE(StringsTable::parse(text, &error)) << text;
        EXPECT_NE(error.find(message), std::string::npos) << text << " -> " << error;
    }
}
