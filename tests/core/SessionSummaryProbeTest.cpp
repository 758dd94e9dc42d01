#include "core/SessionSummaryProbe.h"

#include "SessionExamples.h"
#include "core/SessionCoding.h"

#include <gtest/gtest.h>

using namespace ambrel::core;
using ambrel::testing::liveSessionJson;

namespace {

bool fullReaderAccepts(std::string_view text) {
    try {
        SessionCoding::decode(text);
        return true;
    } catch (const SessionCoding::DecodingError&) {
        return false;
    }
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

// The live example with `member` added as the first member of the session object.
std::string withMember(const std::string& member) {
    return replaced(liveSessionJson, "{\n", "{\n  " + member + ",\n");
}

const std::string firstLine =
    R"({ "id" : "0D5F7B7E-2C5A-4C61-9A0B-6E2B1F0C9A11", "language" : "en-US", "source" : "microphone", "start" : "2025-03-14T08:05:03.120Z", "text" : "Good morning." })";

std::string withLine(const std::string& line) {
    return replaced(liveSessionJson, firstLine, line);
}

} // namespace

TEST(SessionSummaryProbe, AgreesWithTheFullReader) {
    for (int lines : {0, 1, 250}) {
        auto record = ambrel::testing::makeRecord("x", 1741939500.0, lines);
        if (lines == 1) {
            record.endedAt = 1741939600.5;
        }
        const auto probe = SessionSummaryProbe::read(SessionCoding::encode(record));
        ASSERT_TRUE(probe);
        EXPECT_EQ(probe->lineCount, record.lines.size());
        EXPECT_EQ(probe->startedAt, record.startedAt);
        EXPECT_EQ(probe->lastUpdated, record.lastUpdated);
        EXPECT_EQ(probe->endedAt, record.endedAt);
    }
    const auto probe = SessionSummaryProbe::read(liveSessionJson);
    ASSERT_TRUE(probe);
    EXPECT_EQ(*probe, (SessionSummaryProbe{1741939500.004, std::nullopt, 1741939542.25, 1}));
}

// A listed session must open, and a session that opens must be listed.
TEST(SessionSummaryProbe, AcceptsExactlyWhatTheFullReaderAccepts) {
    const std::string nul(1, '\0');
    struct Case {
        const char* name;
        std::string text;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {"example", liveSessionJson, true},
        {"byte-order mark", "\xEF\xBB\xBF" + liveSessionJson, true},
        {"two byte-order marks", "\xEF\xBB\xBF\xEF\xBB\xBF" + liveSessionJson, false},
        {"byte-order mark after space", " \xEF\xBB\xBF" + liveSessionJson, false},
        {"NUL padding", liveSessionJson + "\n" + std::string(4096, '\0'), true},
        {"text after a NUL", liveSessionJson + nul + "x", false},
        {"space after the NUL padding", liveSessionJson + nul + nul + " ", false},
        {"NUL inside", replaced(liveSessionJson, "\"id\" : \"2025", nul + "\"id\" : \"2025"),
         false},
        {"only NULs", std::string(16, '\0'), false},
        {"a line that is a number", withLine("7"), false},
        {"a bad line id", withLine(replaced(firstLine, "0D5F7B7E-", "0D5F7B7E+")), false},
        {"an unknown source", withLine(replaced(firstLine, "microphone", "speaker")), false},
        {"a line without text", withLine(replaced(firstLine, R"(, "text" : "Good morning.")", "")),
         false},
        {"a line with a null language", withLine(replaced(firstLine, R"("en-US")", "null")), true},
        {"a line with a numeric language", withLine(replaced(firstLine, R"("en-US")", "5")), false},
        {"a line id repeated, the last one good",
         withLine(replaced(firstLine, "{ ", R"({ "id" : 1, )")), true},
        {"a line id repeated, the last one bad",
         withLine(replaced(firstLine, " }", R"(, "id" : 1 })")), false},
        {"no appVersion", replaced(liveSessionJson, R"("appVersion" : "1.4",)", ""), false},
        {"no id", replaced(liveSessionJson, R"("id" : "2025-03-14 09-05-00",)", ""), false},
        {"no markers",
         replaced(liveSessionJson,
                  R"("markers" : [ { "date" : "2025-03-14T08:05:30.000Z", "kind" : "paused" } ],)",
                  ""),
         false},
        {"a language that is a number", replaced(liveSessionJson, R"([ "en-US" ])", "[ 1 ]"),
         false},
        {"an unknown marker kind", replaced(liveSessionJson, "paused", "stopped"), false},
        {"a marker that is a list", replaced(liveSessionJson, "[ { \"date\"", "[ [], { \"date\""),
         false},
        {"an overflowing number elsewhere", withMember(R"("size" : 1e400)"), false},
        {"an overflowing negative number", withMember(R"("size" : -12E+999)"), false},
        {"a long integer elsewhere", withMember(R"("size" : )" + std::string(320, '9')), false},
        {"a long but finite integer", withMember(R"("size" : )" + std::string(300, '9')), true},
        {"a vanishing number elsewhere", withMember(R"("size" : 1e-400)"), true},
        {"nesting elsewhere within the limit",
         withMember(R"("deep" : )" + std::string(255, '[') + std::string(255, ']')), true},
        {"nesting elsewhere beyond the limit",
         withMember(R"("deep" : )" + std::string(256, '[') + std::string(256, ']')), false},
        {"brackets inside texts do not nest",
         withMember(R"("deep" : ")" + std::string(300, '[') + R"(\"")"), true},
        {"a null end", withMember(R"("endedAt" : null)"), true},
        {"an end that is a number", withMember(R"("endedAt" : 5)"), false},
        {"a repeated start, the last one good", withMember(R"("startedAt" : "soon", "lines" : {})"),
         true},
        {"trailing garbage", liveSessionJson + " x", false},
        {"an array", "[" + liveSessionJson + "]", false},
    };
    for (const auto& [name, text, accepted] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(fullReaderAccepts(text), accepted);
        EXPECT_EQ(SessionSummaryProbe::read(text).has_value(), accepted);
    }
}

TEST(SessionSummaryProbe, RefusesBrokenJsonAnywhere) {
    const std::string before = withMember(R"("extra" : [)");
    const std::string valid = replaced(before, "[,", "[],");
    ASSERT_TRUE(SessionSummaryProbe::read(valid));
    const std::vector<std::string> invalid = {
        "1,]",                   // trailing comma
        "01]",                   // leading zero
        "1.]",                   // fraction without digits
        "-]",                    // sign alone
        "1e]",                   // exponent without digits
        "\"\\x\"]",              // unknown escape
        "\"\\ud800\"]",          // lone high surrogate
        "\"\\udc00\"]",          // lone low surrogate
        "\"\\u12\"]",            // short escape
        "\"a\tb\"]",             // raw control character
        "\"\xC0\x80\"]",         // overlong
        "\"\xED\xA0\x80\"]",     // encoded surrogate
        "\"\xF5\x80\x80\x80\"]", // beyond U+10FFFF
        "\"\xE2\x82\"]",         // truncated sequence
        "tru]",                  // truncated literal
        "{\"a\" 1}]",            // no colon
        "{1:1}]",                // key that is no text
    };
    for (const auto& junk : invalid) {
        const auto text = replaced(before, "[,", "[" + junk + ",");
        EXPECT_FALSE(fullReaderAccepts(text)) << junk;
        EXPECT_FALSE(SessionSummaryProbe::read(text)) << junk;
    }
    const auto odd = replaced(
        before, "[,",
        R"([-0.5e+3,1E2,0,true,false,null,{"a":{"b":[]}},"\ud83d\ude00 \u00e9 \\ \/ \b\f\n\r\t\u0000","é😀"],)");
    EXPECT_TRUE(fullReaderAccepts(odd));
    EXPECT_TRUE(SessionSummaryProbe::read(odd));
}

TEST(SessionSummaryProbe, EveryTruncationIsRefusedLikeTheFullReaderRefusesIt) {
    const auto text = SessionCoding::encode(ambrel::testing::makeRecord("x", 1741939500.0, 3));
    // Whitespace may follow the closing brace; any cut before it leaves broken JSON.
    const auto closing = text.rfind('}');
    for (std::size_t length = 0; length <= closing; ++length) {
        const auto prefix = text.substr(0, length);
        ASSERT_FALSE(fullReaderAccepts(prefix));
        ASSERT_FALSE(SessionSummaryProbe::read(prefix)) << length;
    }
    EXPECT_TRUE(SessionSummaryProbe::read(text));
}
