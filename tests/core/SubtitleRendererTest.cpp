#include "core/SubtitleRenderer.h"

#include "SessionExamples.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace ambrel::core;
using ambrel::testing::march14;
namespace SubtitleRenderer = ambrel::core::SubtitleRenderer;

namespace {

Instant at(double seconds) {
    return march14 + seconds;
}

TranscriptLine line(double seconds, SpeechSource source, std::string text) {
    return TranscriptLine{Uuid::random(), std::move(text), at(seconds), source, "en-US"};
}

constexpr auto me = SpeechSource::microphone;
constexpr auto others = SpeechSource::systemAudio;

// Five lines of two speakers, paused once: the cues end at the next line, at the reading time,
// at the pause and at the session's end.
SessionRecord meeting() {
    SessionRecord record("2025-03-14 09-05-00", at(0));
    record.lines = {
        line(3, me, "Good morning."),
        line(4.2, others, "Morning, can you hear me?"),
        line(5, me,
             "Yes. Let us start with the _draft_ plan, and then look at the numbers for March."),
        line(28, others, "One moment, someone is at the door."),
        line(72, me, "Back again."),
    };
    record.markers = {{MarkerKind::paused, at(29.5)}, {MarkerKind::resumed, at(70)}};
    record.endedAt = at(72.8);
    record.lastUpdated = *record.endedAt;
    return record;
}

std::size_t count(const std::string& text, std::string_view part) {
    std::size_t n = 0;
    for (auto i = text.find(part); i != std::string::npos; i = text.find(part, i + part.size())) {
        ++n;
    }
    return n;
}

} // namespace

TEST(SubtitleRenderer, RendersATwoSpeakerSessionAsSrtAndWebVtt) {
    const auto record = meeting();
    EXPECT_EQ(SubtitleRenderer::srt(record, TranscriptLabels::english()),
              "1\n"
              "00:00:03,000 --> 00:00:04,000\n"
              "Me: Good morning.\n"
              "\n"
              "2\n"
              "00:00:04,200 --> 00:00:05,000\n"
              "Others: Morning, can you hear me?\n"
              "\n"
              "3\n"
              "00:00:05,000 --> 00:00:10,600\n"
              "Me: Yes. Let us start with the _draft_ plan, and then look at the numbers for "
              "March.\n"
              "\n"
              "4\n"
              "00:00:28,000 --> 00:00:29,500\n"
              "Others: One moment, someone is at the door.\n"
              "\n"
              "5\n"
              "00:01:12,000 --> 00:01:12,800\n"
              "Me: Back again.\n");
    EXPECT_EQ(SubtitleRenderer::webVtt(record, TranscriptLabels::english()),
              "WEBVTT\n"
              "\n"
              "00:00:03.000 --> 00:00:04.000\n"
              "<v Me>Good morning.\n"
              "\n"
              "00:00:04.200 --> 00:00:05.000\n"
              "<v Others>Morning, can you hear me?\n"
              "\n"
              "00:00:05.000 --> 00:00:10.600\n"
              "<v Me>Yes. Let us start with the _draft_ plan, and then look at the numbers for "
              "March.\n"
              "\n"
              "00:00:28.000 --> 00:00:29.500\n"
              "<v Others>One moment, someone is at the door.\n"
              "\n"
              "00:01:12.000 --> 00:01:12.800\n"
              "<v Me>Back again.\n");

    // One speaker: no names.
    auto single = record;
    for (auto& each : single.lines) {
        each.source = me;
    }
    const auto srt = SubtitleRenderer::srt(single, TranscriptLabels::english());
    EXPECT_EQ(srt.substr(0, 49), "1\n00:00:03,000 --> 00:00:04,000\nGood morning.\n\n2\n");
    EXPECT_EQ(count(srt, "Me"), 0u);
    EXPECT_EQ(count(SubtitleRenderer::webVtt(single, TranscriptLabels::english()), "<v "), 0u);
}

TEST(SubtitleRenderer, EmptySessionsHaveNoCues) {
    SessionRecord empty("empty", at(0));
    EXPECT_EQ(SubtitleRenderer::srt(empty, TranscriptLabels::english()), "");
    EXPECT_EQ(SubtitleRenderer::webVtt(empty, TranscriptLabels::english()), "WEBVTT\n");

    // Markers and blank lines are no cues either.
    empty.lines = {line(1, me, ""), line(2, others, " \n\t\u2028 ")};
    empty.markers = {{MarkerKind::paused, at(3)}, {MarkerKind::resumed, at(4)}};
    EXPECT_TRUE(SubtitleRenderer::cues(empty).empty());
    EXPECT_EQ(SubtitleRenderer::srt(empty, TranscriptLabels::english()), "");
    EXPECT_EQ(SubtitleRenderer::webVtt(empty, TranscriptLabels::english()), "WEBVTT\n");
}

TEST(SubtitleRenderer, CuesAreInTimeOrderAndLinesThatStartTogetherEndTogether) {
    std::string manyWords;
    for (int i = 0; i < 25; ++i) {
        manyWords += "word ";
    }
    // Still being recorded, started 4 ms past the second; lines as a file may hold them.
    SessionRecord record("live", at(0.004));
    record.lines = {
        line(10, others, "Ten."),          line(3.12, me, "Three."),
        line(-2, me, "Before the start."), line(10, me, "Also ten, at once."),
        line(0.004, others, "Zero."),      line(5, me, "   \n  "),
        line(14, others, manyWords),
    };
    record.lastUpdated = at(12);
    const std::vector<SubtitleCue> expected = {
        {0, 1050, me, "Before the start."}, // clamped to the start; 3 words
        {0, 1000, others, "Zero."},         // at least a second
        {3116, 4116, me, "Three."},         // offsets between whole milliseconds
        {9996, 10996, others, "Ten."},      // not cut short by the line beside it
        {9996, 11396, me, "Also ten, at once."},
        {13996, 20996, others,
         "word word word word word word word word word word word word "
         "word word word word word word word word word word word word word"},
    };
    EXPECT_EQ(SubtitleRenderer::cues(record), expected);
}

TEST(SubtitleRenderer, PausesAndTheSessionEndCutCuesShort) {
    SessionRecord record("paused", at(0));
    record.lines = {
        line(10, me, "A long sentence that would run on past the pause if nothing stopped it."),
        line(20, me, "Resumed right here."), line(25, me, "After the end."), // a clock that jumped
    };
    // Out of order, and one from before the session.
    record.markers = {
        {MarkerKind::resumed, at(20)}, {MarkerKind::paused, at(12)}, {MarkerKind::paused, at(-5)}};
    record.endedAt = at(21);
    const std::vector<SubtitleCue> expected = {
        {10000, 12000, me, record.lines[0].text},
        {20000, 21000, me, record.lines[1].text}, // a marker at the start is no bound
        {25000, 26050, me, record.lines[2].text}, // nor is an end before it
    };
    EXPECT_EQ(SubtitleRenderer::cues(record), expected);
    const auto srt = SubtitleRenderer::srt(record, TranscriptLabels::english());
    EXPECT_EQ(count(srt, " --> "), 3u);
    EXPECT_EQ(count(srt, "Paus"), 0u);
}

TEST(SubtitleRenderer, TextIsKeptOnOneLineAndEscapedAsEachFormatNeeds) {
    SessionRecord record("text", at(0));
    record.lines = {
        line(1, me, "a --> b <b>bold</b> & c --->"),
        line(3, me, "first\nsecond\r\n\n  third\u2028fourth"),
        line(5, me,
             "\u05E9\u05DC\u05D5\u05DD \u05E2\u05D5\u05DC\u05DD, \u0645\u0631\u062D\u0628\u0627"),
    };
    record.endedAt = at(60);
    EXPECT_EQ(
        SubtitleRenderer::srt(record, TranscriptLabels::english()),
        "1\n00:00:01,000 --> 00:00:03,000\na -- > b <b>bold</b> & c --- >\n\n"
        "2\n00:00:03,000 --> 00:00:04,400\nfirst second third fourth\n\n"
        "3\n00:00:05,000 --> 00:00:06,050\n"
        "\u05E9\u05DC\u05D5\u05DD \u05E2\u05D5\u05DC\u05DD, \u0645\u0631\u062D\u0628\u0627\n");
    EXPECT_EQ(
        SubtitleRenderer::webVtt(record, TranscriptLabels::english()),
        "WEBVTT\n\n"
        "00:00:01.000 --> 00:00:03.000\n"
        "a --&gt; b &lt;b&gt;bold&lt;/b&gt; &amp; c ---&gt;\n\n"
        "00:00:03.000 --> 00:00:04.400\nfirst second third fourth\n\n"
        "00:00:05.000 --> 00:00:06.050\n"
        "\u05E9\u05DC\u05D5\u05DD \u05E2\u05D5\u05DC\u05DD, \u0645\u0631\u062D\u0628\u0627\n");
}

TEST(SubtitleRenderer, SpeakerNamesComeFromTheLabels) {
    SessionRecord record("labels", at(0));
    record.lines = {line(1, me, "Guten Morgen."), line(3, others, "Hallo.")};
    TranscriptLabels german;
    german.me = "Ich";
    german.others = "Andere > Du & ich";
    german.speakerLine = "%2$@ (%1$@)";
    EXPECT_EQ(SubtitleRenderer::srt(record, german),
              "1\n00:00:01,000 --> 00:00:02,000\nGuten Morgen. (Ich)\n\n"
              "2\n00:00:03,000 --> 00:00:04,000\nHallo. (Andere > Du & ich)\n");
    EXPECT_EQ(SubtitleRenderer::webVtt(record, german),
              "WEBVTT\n\n00:00:01.000 --> 00:00:02.000\n<v Ich>Guten Morgen.\n\n"
              "00:00:03.000 --> 00:00:04.000\n<v Andere &gt; Du &amp; ich>Hallo.\n");

    // Labels that would break a cue: line breaks, a blank name, an arrow.
    german.me = " \n ";
    german.others = "Zwei\nZeilen";
    german.speakerLine = "%@\n--> %@";
    EXPECT_EQ(SubtitleRenderer::srt(record, german),
              "1\n00:00:01,000 --> 00:00:02,000\n-- > Guten Morgen.\n\n"
              "2\n00:00:03,000 --> 00:00:04,000\nZwei Zeilen -- > Hallo.\n");
    EXPECT_EQ(SubtitleRenderer::webVtt(record, german),
              "WEBVTT\n\n00:00:01.000 --> 00:00:02.000\nGuten Morgen.\n\n"
              "00:00:03.000 --> 00:00:04.000\n<v Zwei Zeilen>Hallo.\n");
}

TEST(SubtitleRenderer, TimesPastTenAndAHundredHours) {
    SessionRecord record("long", at(0));
    record.lines = {line(10 * 3600 + 62.345, me, "Still here."),
                    line(100 * 3600 + 1, me, "Still going.")};
    EXPECT_EQ(SubtitleRenderer::srt(record, TranscriptLabels::english()),
              "1\n10:01:02,345 --> 10:01:03,345\nStill here.\n\n"
              "2\n100:00:01,000 --> 100:00:02,000\nStill going.\n");
    EXPECT_EQ(SubtitleRenderer::webVtt(record, TranscriptLabels::english()),
              "WEBVTT\n\n10:01:02.345 --> 10:01:03.345\nStill here.\n\n"
              "100:00:01.000 --> 100:00:02.000\nStill going.\n");
}
