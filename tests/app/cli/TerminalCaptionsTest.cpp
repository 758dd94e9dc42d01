#include "app/cli/TerminalCaptions.h"

#include "locale/L10n.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace ambrel;

namespace {

constexpr core::Instant start = 1741939500.0; // 09:05:00 in Berlin

core::TranscriptLine line(std::string text, double offset, core::SpeechSource source) {
    return {core::Uuid::random(), std::move(text), start + offset, source, "en-US"};
}

class TerminalCaptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"en"});
    }
    std::ostringstream out;
};

} // namespace

TEST_F(TerminalCaptionsTest, EachRecordedLineIsPrintedOnceAsItComes) {
    TerminalCaptions captions(out, false, TerminalCaptions::Times::offset, false);
    core::SessionRecord record("2025-03-14 09-05-00", start);
    record.lines.push_back(line("Hello\nthere.", 5, core::SpeechSource::systemAudio));
    captions.showSession(record);
    record.lines.push_back(line("How are you?", 65, core::SpeechSource::systemAudio));
    captions.showSession(record);
    captions.showSession(record);
    // Words still being recognised and the status stay off a pipe.
    captions.showLive({{{core::SpeechSource::systemAudio, "I am", false}}, false});
    captions.showStatus("Listening");
    EXPECT_EQ(out.str(), "[0:05] Hello there.\n[1:05] How are you?\n");
}

TEST_F(TerminalCaptionsTest, LiveRunsShowClockTimesAndSpeakers) {
    TerminalCaptions captions(out, false, TerminalCaptions::Times::clock, true);
    core::SessionRecord record("2025-03-14 09-05-00", start);
    record.lines.push_back(line("Can you hear me?", 3, core::SpeechSource::microphone));
    record.lines.push_back(line("Loud and clear.", 4, core::SpeechSource::systemAudio));
    captions.showSession(record);
    EXPECT_EQ(out.str(), "[09:05:03] Me: Can you hear me?\n[09:05:04] Others: Loud and clear.\n");
}

TEST_F(TerminalCaptionsTest, OnATerminalTheLastLineIsRewrittenAndKeptToItsWidth) {
    TerminalCaptions captions(out, true, TerminalCaptions::Times::offset, false, 12);
    captions.showStatus("Starting…");
    captions.showLive({{{core::SpeechSource::systemAudio, "good morning everyone", false}}, false});
    core::SessionRecord record("2025-03-14 09-05-00", start);
    record.lines.push_back(line("good morning everyone", 1, core::SpeechSource::systemAudio));
    captions.showLive({});
    captions.showSession(record);
    captions.clearLastLine();
    EXPECT_EQ(out.str(), "\r\x1b[KStarting…"
                         "\r\x1b[K…everyone" // the last whole words within 11 columns
                         "\r\x1b[KStarting…"
                         "\r\x1b[K[0:01] good morning everyone\n"
                         "\r\x1b[KStarting…"
                         "\r\x1b[K");

    // A message on the same terminal: the status line goes first and comes back after it.
    out.str("");
    captions.showStatus("Listening");
    captions.interject(out, "ambrel: System audio capture resumed");
    EXPECT_EQ(out.str(), "\r\x1b[KListening"
                         "\r\x1b[Kambrel: System audio capture resumed\n"
                         "\r\x1b[KListening");
    // Piped, a message is just a line.
    std::ostringstream piped;
    TerminalCaptions plain(piped, false, TerminalCaptions::Times::clock, false);
    plain.showStatus("Listening");
    plain.interject(piped, "ambrel: Microphone capture resumed");
    EXPECT_EQ(piped.str(), "ambrel: Microphone capture resumed\n");
}
