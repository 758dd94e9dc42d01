#include "core/SessionCoding.h"

#include "SessionExamples.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace ambrel::core;
using ambrel::testing::liveSessionJson;

namespace {

std::string decodingError(const std::string& json) {
    try {
        SessionCoding::decode(json);
    } catch (const SessionCoding::DecodingError& error) {
        return error.what();
    }
    return "(decoded)";
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

} // namespace

TEST(SessionCoding, ReadsWritesAndRereadsTheLiveSessionExample) {
    const auto record = SessionCoding::decode(liveSessionJson);
    EXPECT_EQ(record.appVersion, "1.4");
    EXPECT_EQ(record.id, "2025-03-14 09-05-00");
    EXPECT_EQ(record.languages, std::vector<std::string>{"en-US"});
    EXPECT_FALSE(record.endedAt);
    EXPECT_TRUE(record.isLive());
    EXPECT_DOUBLE_EQ(record.startedAt, 1741939500.004);
    EXPECT_DOUBLE_EQ(record.lastUpdated, 1741939542.25);
    ASSERT_EQ(record.lines.size(), 1u);
    EXPECT_EQ(record.lines[0].id.string(), "0D5F7B7E-2C5A-4C61-9A0B-6E2B1F0C9A11");
    EXPECT_EQ(record.lines[0].source, SpeechSource::microphone);
    EXPECT_EQ(record.lines[0].language, "en-US");
    EXPECT_EQ(record.lines[0].text, "Good morning.");
    ASSERT_EQ(record.markers.size(), 1u);
    EXPECT_EQ(record.markers[0].kind, MarkerKind::paused);

    const auto written = SessionCoding::encode(record);
    EXPECT_EQ(nlohmann::json::parse(written), nlohmann::json::parse(liveSessionJson));
    EXPECT_EQ(SessionCoding::decode(written), record);
    EXPECT_EQ(written.find("endedAt"), std::string::npos);

    // Keys appear in the listed (sorted) order.
    std::size_t previous = 0;
    for (const char* key : {"\"appVersion\"", "\"id\"", "\"languages\"", "\"lastUpdated\"",
                            "\"lines\"", "\"language\"", "\"source\"", "\"start\"", "\"text\"",
                            "\"markers\"", "\"date\"", "\"kind\"", "\"startedAt\""}) {
        const auto at = written.find(key, previous);
        ASSERT_NE(at, std::string::npos) << key;
        previous = at;
    }
    EXPECT_NE(written.find("\n  \"id\""), std::string::npos) << "pretty-printed";
}

TEST(SessionCoding, OptionalMembersAreLeftOutWhenAbsentAndWrittenWhenPresent) {
    SessionRecord record("s", 10.0);
    TranscriptLine line{Uuid::random(), "no language", 11.0, SpeechSource::systemAudio,
                        std::nullopt};
    record.lines.push_back(line);
    record.endedAt = 20.0;
    const auto written = SessionCoding::encode(record);
    EXPECT_EQ(written.find("\"language\""), std::string::npos);
    EXPECT_NE(written.find("\"endedAt\": \"1970-01-01T00:00:20.000Z\""), std::string::npos);
    EXPECT_NE(written.find(line.id.string()), std::string::npos);
    const auto read = SessionCoding::decode(written);
    EXPECT_EQ(read, record);
    EXPECT_FALSE(read.isLive());
}

TEST(SessionCoding, ToleratesWhatOtherWritersMayProduce) {
    // Null optionals, unknown keys, lower-case UUIDs, RFC 3339 dates with zones.
    auto json =
        replaced(liveSessionJson, "\"appVersion\" : \"1.4\",",
                 "\"appVersion\" : \"1.4\", \"endedAt\" : null, \"extra\" : {\"a\" : [1, 2]},");
    json = replaced(json, "\"language\" : \"en-US\"", "\"language\" : null");
    json = replaced(json, "0D5F7B7E-2C5A-4C61-9A0B-6E2B1F0C9A11",
                    "0d5f7b7e-2c5a-4c61-9a0b-6e2b1f0c9a11");
    json = replaced(json, "\"2025-03-14T08:05:30.000Z\"", "\"2025-03-14T09:05:30+01:00\"");
    const auto record = SessionCoding::decode(json);
    EXPECT_FALSE(record.endedAt);
    EXPECT_FALSE(record.lines[0].language);
    EXPECT_EQ(record.lines[0].id.string(), "0D5F7B7E-2C5A-4C61-9A0B-6E2B1F0C9A11");
    EXPECT_DOUBLE_EQ(record.markers[0].date, 1741939530.0);
}

TEST(SessionCoding, RejectsBrokenFilesSayingWhere) {
    const auto& base = liveSessionJson;
    struct Case {
        std::string json;
        std::string message;
    };
    const std::vector<Case> cases = {
        {base.substr(0, base.size() / 2), "parse error"},
        {"[]", "session: expected an object, found array"},
        {replaced(base, "\"lines\" :", "\"linez\" :"), "session: the key \"lines\" is missing"},
        {replaced(base, "\"microphone\"", "\"speaker\""),
         "lines[0].source: unknown source \"speaker\""},
        {replaced(base, "\"microphone\"", "\"Microphone\""), "unknown source \"Microphone\""},
        {replaced(base, "\"paused\"", "\"stopped\""), "markers[0].kind: unknown marker kind"},
        {replaced(base, "\"Good morning.\"", "42"), "lines[0].text: expected a text, found number"},
        {replaced(base, "\"2025-03-14T08:05:03.120Z\"", "\"2025-13-01T00:00:00.000Z\""),
         "lines[0].start: Invalid date: 2025-13-01T00:00:00.000Z"},
        {replaced(base, "\"startedAt\" : \"2025-03-14T08:05:00.004Z\"", "\"startedAt\" : null"),
         "startedAt: expected a text, found null"},
        {replaced(base, "\"languages\" : [ \"en-US\" ]", "\"languages\" : \"en-US\""),
         "languages: expected an array"},
        {replaced(base, "0D5F7B7E-2C5A-4C61-9A0B-6E2B1F0C9A11", "line-one"),
         "\"line-one\" is not a UUID"},
        {replaced(base, "[ { \"date\"", "[ 7, { \"date\""), "markers[0]: expected an object"},
        {replaced(base, "Good morning.", "Good \xC3\x28 morning."), "parse error"},
        {base + "}", "parse error"},
        {replaced(base, "\"1.4\",", "\"1.4\", \"size\" : 1e999,"), "number overflow"},
    };
    for (const auto& testCase : cases) {
        EXPECT_NE(decodingError(testCase.json).find(testCase.message), std::string::npos)
            << "expected \"" << testCase.message << "\", got \"" << decodingError(testCase.json)
            << "\"";
    }
}

TEST(SessionCoding, KeepsEveryCharacterOfTheText) {
    SessionRecord record("s", 0);
    const std::string text =
        "Tab\there \"quoted\" back\\slash\nnew line, emoji \xF0\x9F\x98\x80, \x01 and </script>";
    record.lines.push_back({Uuid::random(), text, 1, SpeechSource::microphone, "de-DE"});
    EXPECT_EQ(SessionCoding::decode(SessionCoding::encode(record)).lines[0].text, text);
}

TEST(SessionRecord, HasMultipleSourcesOnlyWhenSomeLineDiffersFromTheFirst) {
    SessionRecord record("s", 0);
    EXPECT_FALSE(record.hasMultipleSources());
    record.lines.push_back({Uuid::random(), "a", 1, SpeechSource::systemAudio, std::nullopt});
    record.lines.push_back({Uuid::random(), "b", 2, SpeechSource::systemAudio, std::nullopt});
    EXPECT_FALSE(record.hasMultipleSources());
    record.lines.push_back({Uuid::random(), "c", 3, SpeechSource::microphone, std::nullopt});
    EXPECT_TRUE(record.hasMultipleSources());
    EXPECT_EQ(SessionRecord("s", 5.0).lastUpdated, 5.0);
}
