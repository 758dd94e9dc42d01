#include "app/tray/StatusPresentation.h"

#include "locale/L10n.h"

#include <gtest/gtest.h>

using namespace ambrel;
using Icon = MenuBarIcon::State;

namespace {

constexpr double now = 1741939500.0;

TranscriptionStatus status(TranscriptionStatus::State state) {
    TranscriptionStatus result;
    result.state = std::move(state);
    return result;
}

TranscriptionStatus openSession(TranscriptionStatus::State state) {
    auto result = status(std::move(state));
    result.currentSessionID = "2025-03-14 09-05-00";
    result.currentSessionStartedAt = now - 125;
    result.currentLineCount = 12;
    return result;
}

class StatusPresentationTest : public ::testing::Test {
protected:
    void SetUp() override {
        L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"en"});
    }
};

} // namespace

TEST_F(StatusPresentationTest, EachStateHasItsLineAndIcon) {
    const std::vector<std::tuple<TranscriptionStatus, std::string, Icon>> cases = {
        {status(TranscriptionStatus::Preparing{}), "Starting transcription\u2026", Icon::idle},
        {status(TranscriptionStatus::Preparing{0.0}), "Downloading language model 0%",
         Icon::downloading},
        {status(TranscriptionStatus::Preparing{0.375}), "Downloading language model 38%",
         Icon::downloading},
        {status(TranscriptionStatus::Failed{
             RunProblem::sourceFailed(core::SpeechSource::systemAudio, "No input")}),
         "Transcription failed: System audio failed: No input", Icon::error},
        {status(TranscriptionStatus::Idle{}), "Transcription off", Icon::idle},
        {status(TranscriptionStatus::Listening{}), "Listening \u00B7 waiting for speech",
         Icon::listening},
        {openSession(TranscriptionStatus::Listening{}), "Listening \u00B7 12 lines \u00B7 2:05",
         Icon::listening},
        {status(TranscriptionStatus::Paused{}), "Paused", Icon::paused},
        {openSession(TranscriptionStatus::Paused{}), "Paused \u00B7 12 lines \u00B7 2:05",
         Icon::paused},
    };
    for (const auto& [input, text, icon] : cases) {
        const StatusPresentation presentation(input, now);
        EXPECT_EQ(presentation.text, text);
        EXPECT_EQ(presentation.icon, icon) << text;
        EXPECT_FALSE(presentation.detail) << text;
    }
}

TEST_F(StatusPresentationTest, TheDetectedLanguageIsNamedAmongTheRunsLanguages) {
    auto listening = openSession(TranscriptionStatus::Listening{});
    listening.languages = {"en-US", "de-DE"};
    listening.detectedLanguage = "de-DE";
    listening.currentLineCount = 1;
    listening.currentSessionStartedAt.reset();
    EXPECT_EQ(StatusPresentation(listening, now).text, "Listening \u00B7 German \u00B7 1 line");
    listening.languages = {"en-US", "en-GB"};
    listening.detectedLanguage = "en-GB";
    EXPECT_EQ(StatusPresentation(listening, now).text,
              "Listening \u00B7 English (United Kingdom) \u00B7 1 line");
}

TEST_F(StatusPresentationTest, DetailShowsTheSaveErrorOrElseTheWarnings) {
    auto idle = status(TranscriptionStatus::Idle{});
    idle.lastSaveError = "Disk full";
    const StatusPresentation idleWithError(idle, now);
    EXPECT_EQ(idleWithError.icon, Icon::idle) << "a save error while idle keeps the idle icon";
    EXPECT_EQ(idleWithError.detail, "Save failed: Disk full");

    auto listening = openSession(TranscriptionStatus::Listening{});
    listening.warnings = {RunProblem::sourceFailed(core::SpeechSource::systemAudio, "gone")};
    listening.microphoneProblem = TranscriptionStatus::MicrophoneFailed{"unplugged"};
    EXPECT_EQ(StatusPresentation(listening, now).detail,
              "System audio failed: gone; Microphone failed: unplugged");
    EXPECT_EQ(StatusPresentation(listening, now).icon, Icon::listening);
    listening.lastSaveError = "Disk full";
    EXPECT_EQ(StatusPresentation(listening, now).detail, "Save failed: Disk full")
        << "the save error hides warnings";
    EXPECT_EQ(StatusPresentation(listening, now).icon, Icon::error);

    auto unplugged = status(TranscriptionStatus::Listening{});
    unplugged.microphoneProblem = TranscriptionStatus::MicrophoneNotConnected{};
    EXPECT_EQ(StatusPresentation(unplugged, now).detail, "Microphone failed: not connected");
}

TEST_F(StatusPresentationTest, EveryProblemIsSaidInWords) {
    using Kind = RunProblem::Kind;
    const std::vector<std::pair<RunProblem, std::string>> cases = {
        {RunProblem::of(Kind::noAudioSource), "Turn on system audio or the microphone"},
        {RunProblem::of(Kind::noSpeechModel),
         "No speech recognition is available for these languages"},
        {RunProblem::modelDownloadFailed("Timeout"),
         "Couldn’t download the language model (Timeout)"},
        {RunProblem::of(Kind::microphoneDenied),
         "No microphone permission — transcribing system audio only"},
        {RunProblem::sourceFailed(core::SpeechSource::microphone, "Access denied"),
         "Microphone failed: Access denied"},
        {RunProblem::languageUnavailable("de-DE", "offline"),
         "German (Germany) isn’t available: its speech model isn’t installed, and the list of "
         "models to download couldn’t be loaded (offline)"},
        {RunProblem::languageUnavailable("de-DE", ""),
         "German (Germany) isn’t available: its speech model isn’t installed or offered for "
         "download"},
    };
    for (const auto& [problem, text] : cases) {
        EXPECT_EQ(StatusPresentation::describe(problem), text);
    }
    // In the interface language.
    L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"de"});
    EXPECT_EQ(StatusPresentation::describe(
                  RunProblem::sourceFailed(core::SpeechSource::systemAudio, "weg")),
              L10n::format(Texts::warningSystemAudioFailed, {std::string("weg")}));
    EXPECT_NE(StatusPresentation::describe(RunProblem::of(Kind::noAudioSource)),
              "Turn on system audio or the microphone");
}
