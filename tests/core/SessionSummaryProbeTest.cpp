#include "core/SessionSummaryProbe.h"

#include "SessionExamples.h"
#include "core/SessionCoding.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace ambrel::core;
using ambrel::testing::liveSessionJson;

namespace {

bool nlohmannAccepts(const std::string& text) {
    return nlohmann::json::accept(text);
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

TEST(SessionSummaryProbe, ReadsOnlyWhatItNeedsButValidatesEverything) {
    // Escaped keys, null end, numbers and nesting elsewhere, line elements of any shape.
    const std::string odd = R"( {"\u0073tartedAt":"2025-03-14T09:05:00+01:00","endedAt":null,
        "lastUpdated":"2025-03-14T08:05:00.000Z","n":[-0.5e+3,1E2,0,true,false,null,{"a":{"b":[]}}],
        "lines":[1,"two",{"three":[3]},[],{}],"s":"\ud83d\ude00 \u00e9 \\ \/ \b\f\n\r\t","u":"é😀"} )";
    const auto probe = SessionSummaryProbe::read(odd);
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->lineCount, 5u);
    EXPECT_EQ(probe->startedAt, 1741939500.0);
    EXPECT_FALSE(probe->endedAt);
}

TEST(SessionSummaryProbe, RefusesWhatTheFullReaderRefuses) {
    const std::string valid =
        R"({"startedAt":"2025-03-14T08:05:00.000Z","lastUpdated":"2025-03-14T08:05:00.000Z","lines":[)";
    const std::vector<std::string> invalid = {
        valid + "1,]}",                                                 // trailing comma
        valid + "01]}",                                                 // leading zero
        valid + "1.]}",                                                 // fraction without digits
        valid + "-]}",                                                  // sign alone
        valid + "\"\\x\"]}",                                            // unknown escape
        valid + "\"\\ud800\"]}",                                        // lone high surrogate
        valid + "\"\\udc00\"]}",                                        // lone low surrogate
        valid + "\"\\u12\"]}",                                          // short escape
        valid + "\"a\tb\"]}",                                           // raw control character
        valid + "\"\xC0\x80\"]}",                                       // overlong
        valid + "\"\xED\xA0\x80\"]}",                                   // encoded surrogate
        valid + "\"\xF5\x80\x80\x80\"]}",                               // beyond U+10FFFF
        valid + "\"\xE2\x82\"]}",                                       // truncated sequence
        valid + "tru]}",                                                // truncated literal
        valid + "]} x",                                                 // trailing garbage
        valid + "]",                                                    // unclosed object
        valid + std::string(1000, '[') + std::string(1000, ']') + "]}", // too deep
    };
    for (const auto& text : invalid) {
        EXPECT_FALSE(SessionSummaryProbe::read(text)) << text.substr(valid.size());
    }
    EXPECT_TRUE(SessionSummaryProbe::read(valid + "]}"));
    EXPECT_TRUE(
        SessionSummaryProbe::read(valid + "123456789012345678901234567890, 1e300, 1e-400]}"));
    // Required members, of the right type.
    EXPECT_FALSE(
        SessionSummaryProbe::read(R"({"startedAt":"2025-03-14T08:05:00.000Z","lines":[]})"));
    EXPECT_FALSE(SessionSummaryProbe::read(
        R"({"startedAt":"2025-03-14T08:05:00.000Z","lastUpdated":"2025-03-14T08:05:00.000Z"})"));
    EXPECT_FALSE(SessionSummaryProbe::read(
        R"({"startedAt":"2025-03-14T08:05:00.000Z","lastUpdated":"2025-03-14T08:05:00.000Z","lines":{}})"));
    EXPECT_FALSE(SessionSummaryProbe::read(
        R"({"startedAt":5,"lastUpdated":"2025-03-14T08:05:00.000Z","lines":[]})"));
    EXPECT_FALSE(SessionSummaryProbe::read(
        R"({"startedAt":"soon","lastUpdated":"2025-03-14T08:05:00.000Z","lines":[]})"));
    EXPECT_FALSE(SessionSummaryProbe::read(
        R"({"startedAt":"2025-03-14T08:05:00.000Z","endedAt":7,"lastUpdated":"2025-03-14T08:05:00.000Z","lines":[]})"));
    EXPECT_FALSE(SessionSummaryProbe::read(R"([])"));
    // Repeated members: the last one counts, as in the full reader.
    const auto repeated = SessionSummaryProbe::read(
        R"({"startedAt":5,"endedAt":"bad","lines":{},"startedAt":"2025-03-14T08:05:00.000Z",)"
        R"("endedAt":null,"lastUpdated":"2025-03-14T08:05:00.000Z","lines":[1,2]})");
    ASSERT_TRUE(repeated);
    EXPECT_EQ(repeated->lineCount, 2u);
    EXPECT_FALSE(repeated->endedAt);
    EXPECT_FALSE(SessionSummaryProbe::read(
        R"({"startedAt":"2025-03-14T08:05:00.000Z","lastUpdated":"2025-03-14T08:05:00.000Z",)"
        R"("lines":[],"endedAt":"2025-03-14T08:05:00.000Z","endedAt":"never"})"));
    EXPECT_FALSE(SessionSummaryProbe::read(""));
}

TEST(SessionSummaryProbe, EveryTruncationIsRefusedLikeTheFullParserRefusesIt) {
    const auto text = SessionCoding::encode(ambrel::testing::makeRecord("x", 1741939500.0, 3));
    // Whitespace may follow the closing brace; any cut before it leaves broken JSON.
    const auto closing = text.rfind('}');
    for (std::size_t length = 0; length <= closing; ++length) {
        const auto prefix = text.substr(0, length);
        ASSERT_FALSE(nlohmannAccepts(prefix));
        ASSERT_FALSE(SessionSummaryProbe::read(prefix)) << length;
    }
    EXPECT_TRUE(SessionSummaryProbe::read(text));
}
