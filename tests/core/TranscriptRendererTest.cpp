#include "core/TranscriptRenderer.h"

#include "SessionExamples.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace ambrel::core;
using ambrel::testing::march14;
namespace TranscriptRenderer = ambrel::core::TranscriptRenderer;

namespace {

const TimeZone berlin = TimeZone::named("Europe/Berlin");

// Seconds after 09:05:00 local time on 2025-03-14.
Instant at(double seconds) {
    return march14 + seconds;
}

TranscriptLine line(double seconds, SpeechSource source, std::string text) {
    return TranscriptLine{Uuid::random(), std::move(text), at(seconds), source, "en-US"};
}

SessionRecord twoSourceSession() {
    SessionRecord record("2025-03-14 09-05-00", at(0));
    record.lines = {line(3, SpeechSource::microphone, "Good morning."),
                    line(9, SpeechSource::systemAudio, "Morning, can you hear me?"),
                    line(72, SpeechSource::microphone, "Let us start with the _draft_ plan.")};
    record.markers = {{MarkerKind::paused, at(30)}, {MarkerKind::resumed, at(70)}};
    record.endedAt = at(7 * 60 + 41);
    record.lastUpdated = *record.endedAt;
    record.languages = {"en-US"};
    return record;
}

PlainTextOptions options(bool times, bool speakers) {
    PlainTextOptions result;
    result.times = times;
    result.speakers = speakers;
    return result;
}

} // namespace

TEST(TranscriptRenderer, ReproducesTheTwoSourceMarkdownFile) {
    const std::string expected = "# Transcription \u00B7 2025-03-14 09:05:00\n"
                                 "\n"
                                 "- Started: 2025-03-14 09:05:00\n"
                                 "- Ended: 2025-03-14 09:12:41\n"
                                 "- Duration: 7m 41s\n"
                                 "- Lines: 3\n"
                                 "- Language: en-US\n"
                                 "\n"
                                 "---\n"
                                 "\n"
                                 "**09:05:03** **Me**: Good morning.  \n"
                                 "**09:05:09** **Others**: Morning, can you hear me?\n"
                                 "\n"
                                 "> \u23F8 09:05:30 Paused  \n"
                                 "> \u25B6 09:06:10 Resumed\n"
                                 "\n"
                                 "**09:06:12** **Me**: Let us start with the \\_draft\\_ plan.\n";
    EXPECT_EQ(TranscriptRenderer::markdown(twoSourceSession(), TranscriptLabels::english(), berlin),
              expected);
}

TEST(TranscriptRenderer, PlainTextFollowsTheOptions) {
    const auto record = twoSourceSession();
    const auto& english = TranscriptLabels::english();
    EXPECT_EQ(TranscriptRenderer::plainText(record, english, options(true, true), berlin),
              "[09:05:03] Me: Good morning.\n"
              "[09:05:09] Others: Morning, can you hear me?\n"
              "[09:05:30] \u23F8 Paused\n"
              "[09:06:10] \u25B6 Resumed\n"
              "[09:06:12] Me: Let us start with the _draft_ plan.\n");
    EXPECT_EQ(TranscriptRenderer::plainText(record, english, options(false, false), berlin),
              "Good morning.\nMorning, can you hear me?\n\u23F8 Paused\n\u25B6 Resumed\n"
              "Let us start with the _draft_ plan.\n");

    // One source: no speaker names, whatever the options say.
    SessionRecord single("s", at(0));
    single.lines = {line(3, SpeechSource::microphone, "Only me.")};
    EXPECT_EQ(TranscriptRenderer::plainText(single, english, options(false, true), berlin),
              "Only me.\n");
    EXPECT_NE(
        TranscriptRenderer::markdown(single, english, berlin).find("\n**09:05:03** Only me.\n"),
        std::string::npos);

    EXPECT_EQ(TranscriptRenderer::plainText(SessionRecord("s", at(0)), english, options(true, true),
                                            berlin),
              "");
}

TEST(TranscriptRenderer, SessionsPastMidnightShowTheDayOnLaterEntries) {
    const double lateStart = march14 + 14 * 3600 + 54 * 60 + 50; // 23:59:50 local
    SessionRecord record("late", lateStart);
    record.lines = {
        {Uuid::random(), "Before.", lateStart + 5, SpeechSource::microphone, std::nullopt},
        {Uuid::random(), "After.", lateStart + 15, SpeechSource::microphone, std::nullopt},
        // A clock that went backwards also shows its day.
        {Uuid::random(), "Earlier.", lateStart - 86400, SpeechSource::microphone, std::nullopt}};
    record.endedAt = lateStart + 30;
    const auto markdown = TranscriptRenderer::markdown(record, TranscriptLabels::english(), berlin);
    EXPECT_NE(markdown.find("**23:59:55** Before."), std::string::npos) << markdown;
    EXPECT_NE(markdown.find("**03-15 00:00:05** After."), std::string::npos) << markdown;
    EXPECT_NE(markdown.find("**03-13 23:59:50** Earlier."), std::string::npos) << markdown;
    EXPECT_NE(markdown.find("- Ended: 2025-03-15 00:00:20\n- Duration: 30s\n"), std::string::npos);
}

TEST(TranscriptRenderer, LiveAndEmptySessions) {
    SessionRecord live("live", at(0.9));
    live.lastUpdated = at(65.2); // whole seconds: 65 - 0
    const auto markdown = TranscriptRenderer::markdown(live, TranscriptLabels::english(), berlin);
    EXPECT_EQ(markdown, "# Transcription \u00B7 2025-03-14 09:05:00\n\n"
                        "- Started: 2025-03-14 09:05:00\n"
                        "- Ended: Recording\u2026\n"
                        "- Duration: 1m 05s\n"
                        "- Lines: 0\n\n---\n");
}

TEST(TranscriptRenderer, MarkersAreOrderedByDateAndFollowLinesAtTheSameInstant) {
    SessionRecord record("s", at(0));
    record.lines = {line(10, SpeechSource::microphone, "First."),
                    line(20, SpeechSource::microphone, "Second.")};
    record.markers = {
        {MarkerKind::resumed, at(20)}, {MarkerKind::paused, at(10)}, {MarkerKind::paused, at(20)}};
    EXPECT_EQ(TranscriptRenderer::plainText(record, TranscriptLabels::english(),
                                            options(false, false), berlin),
              "First.\n\u23F8 Paused\nSecond.\n\u25B6 Resumed\n\u23F8 Paused\n");

    // Markers only: one block.
    record.lines.clear();
    const auto markdown = TranscriptRenderer::markdown(record, TranscriptLabels::english(), berlin);
    EXPECT_NE(markdown.find("---\n\n> \u23F8 09:05:10 Paused  \n> \u25B6 09:05:20 Resumed  \n"
                            "> \u23F8 09:05:20 Paused\n"),
              std::string::npos)
        << markdown;
}

TEST(TranscriptRenderer, TextIsJoinedOntoOneLineAndEscapedForMarkdown) {
    EXPECT_EQ(TranscriptRenderer::singleLine("  Hello\n\n  world  "), "Hello world");
    EXPECT_EQ(TranscriptRenderer::singleLine("a\r\nb\vc\fd\u0085e\u2028f\u2029g\t"),
              "a b c d e f g");
    EXPECT_EQ(TranscriptRenderer::singleLine("\u00A0keep\u00A0"), "\u00A0keep\u00A0");
    EXPECT_EQ(TranscriptRenderer::singleLine(" \n\t\n"), "");
    EXPECT_EQ(TranscriptRenderer::escapeMarkdown("Use *bold* and [links]"),
              "Use \\*bold\\* and \\[links]");
    EXPECT_EQ(TranscriptRenderer::escapeMarkdown("#1 costs $5 <b> a\\b `x` ~y~ _z_ \u00E9"),
              "#1 costs \\$5 \\<b> a\\\\b \\`x\\` \\~y\\~ \\_z\\_ \u00E9");
}

TEST(TranscriptRenderer, LabelsComeFromTheCaller) {
    TranscriptLabels german;
    german.title = "Transkript";
    german.me = "Ich";
    german.others = "Andere";
    german.speakerLine = "%2$@ (%1$@)";
    german.markers = {{MarkerKind::paused, "Pausiert"}}; // resumed falls back to English
    german.formatDuration = [](double seconds) {
        return std::to_string(static_cast<int>(seconds)) + " s";
    };
    german.languageName = [](const std::string& locale) {
        return locale == "de-DE" ? "Deutsch" : locale;
    };
    auto record = twoSourceSession();
    record.languages = {"de-DE", "en-US"};
    const auto markdown = TranscriptRenderer::markdown(record, german, berlin);
    EXPECT_NE(markdown.find("# Transkript \u00B7 "), std::string::npos);
    EXPECT_NE(markdown.find("- Duration: 461 s\n"), std::string::npos);
    EXPECT_NE(markdown.find("- Language: Deutsch, en-US\n"), std::string::npos);
    EXPECT_NE(markdown.find("**09:05:03** Good morning. (**Ich**)"), std::string::npos) << markdown;
    EXPECT_NE(markdown.find("Pausiert  \n> \u25B6 09:06:10 Resumed"), std::string::npos);

    german.markers.clear();
    german.formatDuration = nullptr;
    EXPECT_EQ(TranscriptRenderer::plainText(record, german, options(false, false), berlin)
                  .find("Pausiert"),
              std::string::npos);
    EXPECT_NE(TranscriptRenderer::markdown(record, german, berlin).find("- Duration: 7m 41s"),
              std::string::npos);
}

TEST(TranscriptRenderer, FormatsDurations) {
    const std::vector<std::pair<double, std::string>> cases = {
        {0, "0s"},         {59.9, "59s"},        {60, "1m 00s"},
        {3599, "59m 59s"}, {3600, "1h 00m 00s"}, {3725, "1h 02m 05s"},
        {-5, "0s"},        {307, "5m 07s"},      {360000, "100h 00m 00s"},
        {1e300, "0s"},     {std::nan(""), "0s"}};
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(TranscriptRenderer::formatDuration(seconds), text) << seconds;
    }
    EXPECT_EQ(TranscriptRenderer::symbol(MarkerKind::paused), "\u23F8");
    EXPECT_EQ(TranscriptRenderer::symbol(MarkerKind::resumed), "\u25B6");
}
