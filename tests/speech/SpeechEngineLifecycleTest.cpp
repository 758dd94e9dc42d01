#include "EngineHarness.h"
#include "audio/ProcessedAudioSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

using namespace ambrel;
using ambrel::testing::EngineHarness;
using core::SpeechSource;
using Status = TranscriptionStatus;
using Strings = std::vector<std::string>;

namespace {

constexpr core::Instant t0 = 1741939500.0;

SpeechOptions withMicrophone(bool systemAudio = true) {
    SpeechOptions options;
    options.systemAudio = systemAudio;
    options.microphone = true;
    return options;
}

// Runs background work one item at a time: "resolve languages", then "install models"...
void runOneBackgroundStep(EngineHarness& h) {
    h.scheduler.runPending();
    ASSERT_FALSE(h.background.empty());
    h.background.runOne();
    h.scheduler.runPending();
}

using Problems = std::vector<RunProblem>;

// Silences every microphone frame it is given, so that a test sees where it ran.
class SilencingCanceller : public EchoCanceller {
public:
    int sampleRate() const override { return 16000; }
    void analyzeReference(std::span<const float>) override {}
    void process(std::span<float> frame, int) override { std::fill(frame.begin(), frame.end(), 0); }
    void reset() override {}
};

Problems failures(const std::vector<Status>& statuses) {
    Problems problems;
    for (const auto& status : statuses) {
        if (const auto* failed = std::get_if<Status::Failed>(&status.state)) {
            problems.push_back(failed->problem);
        }
    }
    return problems;
}

RunProblem systemAudioFailed(std::string reason) {
    return RunProblem::sourceFailed(SpeechSource::systemAudio, std::move(reason));
}
RunProblem microphoneFailed(std::string reason) {
    return RunProblem::sourceFailed(SpeechSource::microphone, std::move(reason));
}
const RunProblem microphoneDenied = RunProblem::of(RunProblem::Kind::microphoneDenied);

} // namespace

TEST(SpeechEngineLifecycleTest, StoppingOrPausingWhilePreparingAbandonsTheLaunch) {
    {
        SCOPED_TRACE("stop");
        EngineHarness h;
        h.make();
        h.engine->startListening();
        EXPECT_TRUE(h.status().is<Status::Preparing>());
        runOneBackgroundStep(h); // languages resolved; the installation is under way
        ASSERT_EQ(h.background.size(), 1u);
        h.engine->stopListening();
        h.settle(); // the installation finishes after the stop
        EXPECT_TRUE(h.pipelines.empty());
        EXPECT_TRUE(h.status().is<Status::Idle>());
    }
    {
        SCOPED_TRACE("pause");
        EngineHarness h;
        h.make();
        h.engine->startListening();
        runOneBackgroundStep(h);
        h.engine->setPaused(true);
        h.settle();
        EXPECT_TRUE(h.pipelines.empty());
        EXPECT_TRUE(h.status().is<Status::Paused>());
        const int asked = h.languageQuestions;
        h.engine->setPaused(false);
        EXPECT_TRUE(h.status().is<Status::Preparing>());
        h.settle();
        EXPECT_EQ(h.languageQuestions, asked + 1); // preparation starts over
        EXPECT_TRUE(h.status().is<Status::Listening>());
        EXPECT_EQ(h.pipelines.size(), 1u);
    }
    {
        SCOPED_TRACE("a pipeline that finishes starting after the stop");
        EngineHarness h;
        h.make();
        h.engine->startListening();
        while (h.pipelines.empty()) {
            runOneBackgroundStep(h);
        }
        // The pipeline reports that it started only after the user stopped.
        h.engine->stopListening();
        h.settle();
        EXPECT_FALSE(h.system()->running);
        EXPECT_TRUE(h.status().is<Status::Idle>());
        h.system()->sendFinal("too late", t0);
        EXPECT_FALSE(h.status().currentSessionID);
    }
}

TEST(SpeechEngineLifecycleTest, PreparationReportsProgressAndFailures) {
    EngineHarness h;
    h.installProgress = {0.25, 1.0};
    h.installFailure = "The network connection was lost.";
    h.make();
    h.start();
    std::vector<std::optional<double>> progress;
    for (const auto& status : h.statuses) {
        const auto* preparing = std::get_if<Status::Preparing>(&status.state);
        if (preparing && (progress.empty() || progress.back() != preparing->progress)) {
            progress.push_back(preparing->progress);
        }
    }
    EXPECT_EQ(progress, (std::vector<std::optional<double>>{std::nullopt, 0.25, 1.0}));
    EXPECT_EQ(failures(h.statuses),
              Problems{RunProblem::modelDownloadFailed("The network connection was lost.")});
    EXPECT_EQ(h.status().languages, Strings{"en-US"});
    EXPECT_EQ(h.status().detectedLanguage, "en-US"); // the only language
    EXPECT_TRUE(h.pipelines.empty());
    h.engine->stopListening();
    EXPECT_TRUE(h.status().is<Status::Idle>());

    EngineHarness none;
    SpeechOptions off;
    off.systemAudio = false;
    none.make(off);
    none.start();
    EXPECT_EQ(failures(none.statuses), Problems{RunProblem::of(RunProblem::Kind::noAudioSource)});

    // No language can be recognised: the run fails rather than listen and write nothing.
    EngineHarness unknown;
    unknown.automaticLanguages.clear();
    unknown.make();
    unknown.start();
    EXPECT_EQ(failures(unknown.statuses),
              Problems{RunProblem::of(RunProblem::Kind::noSpeechModel)});
    EXPECT_TRUE(unknown.pipelines.empty());
}

TEST(SpeechEngineLifecycleTest, ChosenLanguagesThatCannotBeHadAreToldAndTheOthersRun) {
    SpeechOptions chosen;
    chosen.automaticLanguages = false;
    chosen.chosenLanguages = {"en-US", "de-DE", "fr-FR"};

    EngineHarness offline;
    offline.unavailable = {"de-DE", "fr-FR"};
    offline.listProblem = "Couldn’t resolve host name";
    offline.make(chosen);
    offline.start();
    EXPECT_TRUE(offline.status().is<Status::Listening>());
    EXPECT_EQ(offline.status().languages, Strings{"en-US"});
    EXPECT_EQ(offline.status().warnings,
              (Problems{RunProblem::languageUnavailable("de-DE", "Couldn’t resolve host name"),
                        RunProblem::languageUnavailable("fr-FR", "Couldn’t resolve host name")}));
    offline.engine->stopListening();
    offline.settle();
    EXPECT_TRUE(offline.status().warnings.empty()) << "stopping clears the run's warnings";

    EngineHarness nowhere;
    nowhere.unavailable = {"de-DE"};
    nowhere.startFailures[SpeechSource::systemAudio] = "Couldn’t find the default output";
    nowhere.make(chosen);
    nowhere.start();
    EXPECT_TRUE(nowhere.status().is<Status::Failed>());
    EXPECT_EQ(failures(nowhere.statuses),
              Problems{systemAudioFailed("Couldn’t find the default output")})
        << "a source's failure is the run's, not the missing language";
}

TEST(SpeechEngineLifecycleTest, WithoutMicrophonePermissionOnlySystemAudioRuns) {
    EngineHarness h;
    h.microphoneAllowed = false;
    h.make(withMicrophone());
    h.start();
    EXPECT_TRUE(h.status().is<Status::Listening>());
    EXPECT_EQ(h.status().warnings, Problems{microphoneDenied});
    ASSERT_EQ(h.pipelines.size(), 1u);
    EXPECT_EQ(h.pipelines[0]->source(), SpeechSource::systemAudio);

    EngineHarness alone;
    alone.microphoneAllowed = false;
    alone.make(withMicrophone(false));
    alone.start();
    EXPECT_EQ(failures(alone.statuses), Problems{microphoneDenied});
    EXPECT_TRUE(alone.pipelines.empty());
}

TEST(SpeechEngineLifecycleTest, WarningsAreJoinedAndARepeatedOneMovesToTheEnd) {
    EngineHarness h;
    h.startFailures[SpeechSource::systemAudio] = "Couldn’t find the default output";
    h.startFailures[SpeechSource::microphone] = "Access denied";
    h.make(withMicrophone());
    h.start();
    EXPECT_EQ(failures(h.statuses),
              Problems{systemAudioFailed("Couldn’t find the default output")});
    EXPECT_EQ(h.status().warnings, (Problems{systemAudioFailed("Couldn’t find the default output"),
                                             microphoneFailed("Access denied")}));

    EngineHarness r;
    r.make(withMicrophone());
    r.start();
    r.system()->sendFinal("a line", t0);
    const auto session = r.status().currentSessionID;
    r.system()->handlers.onInterruption("Lost the connection to the sound server");
    EXPECT_EQ(r.status().warnings,
              Problems{systemAudioFailed("Lost the connection to the sound server")});
    r.microphone()->sendVolatile("unfinished words");
    r.microphone()->fail("The recogniser stopped");
    EXPECT_TRUE(r.microphone()->stoppedNow);
    EXPECT_TRUE(r.status().is<Status::Listening>()); // system audio goes on
    EXPECT_FALSE(r.status().microphoneDevice);
    EXPECT_EQ(r.status().currentLineCount, 2); // the volatile words were kept
    r.system()->fail("Lost the connection to the sound server");
    EXPECT_EQ(r.status().warnings,
              (Problems{microphoneFailed("The recogniser stopped"),
                        systemAudioFailed("Lost the connection to the sound server")}));
    EXPECT_EQ(failures({r.status()}),
              Problems{systemAudioFailed("Lost the connection to the sound server")});
    EXPECT_EQ(r.status().currentSessionID, session); // the session stays open

    // Changing the options of a failed run resumes it into the same session.
    SpeechOptions systemOnly;
    r.engine->setOptions(systemOnly);
    EXPECT_TRUE(r.status().is<Status::Preparing>());
    r.settle();
    EXPECT_TRUE(r.status().is<Status::Listening>());
    EXPECT_EQ(r.status().currentSessionID, session);
    EXPECT_TRUE(r.status().warnings.empty());
}

TEST(SpeechEngineLifecycleTest, ACaptureThatComesBackClearsItsWarning) {
    EngineHarness h;
    h.make();
    h.start();
    h.system()->handlers.onInterruption("Lost the connection to the sound server");
    EXPECT_EQ(h.status().warnings,
              Problems{systemAudioFailed("Lost the connection to the sound server")});
    EXPECT_TRUE(h.status().is<Status::Listening>());
    h.system()->handlers.onInterruption(std::nullopt);
    EXPECT_TRUE(h.status().warnings.empty());
}

TEST(SpeechEngineLifecycleTest, OptionChangesRestartOnlyWhenTheRunNeedsIt) {
    EngineHarness h;
    h.make(withMicrophone());
    h.start();
    ASSERT_EQ(h.pipelines.size(), 2u);
    EXPECT_EQ(h.microphoneServer->capturing, "usb-mic");
    EXPECT_EQ(h.status().microphoneDevice, "USB Microphone");

    {
        SCOPED_TRACE("chosen languages while automatic: same languages, no restart");
        auto options = h.engine->options();
        options.chosenLanguages = {"de-DE"};
        h.engine->setOptions(options);
        h.settle();
        EXPECT_EQ(h.pipelines.size(), 2u);
    }
    {
        SCOPED_TRACE("only the microphone device: switched in place");
        const auto microphone = h.microphone();
        auto options = h.engine->options();
        options.microphoneDevice = core::MicrophoneSelection::device("headset");
        h.engine->setOptions(options);
        h.settle();
        EXPECT_EQ(h.pipelines.size(), 2u);
        EXPECT_TRUE(microphone->running);
        EXPECT_EQ(h.microphoneServer->capturing, "headset");
        EXPECT_EQ(h.status().microphoneDevice, "Headset");
        // Still the same generation: the running pipeline's events count.
        microphone->sendFinal("still heard", t0);
        EXPECT_EQ(h.status().currentLineCount, 1);
    }
    {
        SCOPED_TRACE("explicit languages: restart with them");
        auto options = h.engine->options();
        options.automaticLanguages = false;
        h.engine->setOptions(options);
        h.settle();
        EXPECT_EQ(h.pipelines.size(), 4u);
        EXPECT_EQ(h.status().languages, Strings{"de-DE"});
        EXPECT_EQ(h.system()->languages().front().identifier, "de-DE");
        EXPECT_TRUE(h.status().is<Status::Listening>());
    }
    {
        SCOPED_TRACE("both sources off: the restart fails, the session stays");
        const auto session = h.status().currentSessionID;
        auto options = h.engine->options();
        options.systemAudio = false;
        options.microphone = false;
        h.engine->setOptions(options);
        h.settle();
        EXPECT_EQ(failures({h.status()}),
                  Problems{RunProblem::of(RunProblem::Kind::noAudioSource)});
        EXPECT_EQ(h.status().currentSessionID, session);
        h.engine->stopListening();
        EXPECT_TRUE(h.status().is<Status::Idle>());
        EXPECT_FALSE(h.status().currentSessionID);
        const auto stored = h.stored(*session);
        ASSERT_TRUE(stored);
        EXPECT_TRUE(stored->endedAt);
    }
}

TEST(SpeechEngineLifecycleTest, SessionsLeftOpenByACrashAreClosedWhenTheEngineStarts) {
    EngineHarness h;
    core::SessionStore store(h.folder.path());
    core::SessionRecord crashed("2025-03-13 10-00-00", t0 - 86400);
    crashed.lastUpdated = t0 - 86000;
    crashed.lines.push_back(
        {core::Uuid::random(), "cut off", t0 - 86300, SpeechSource::systemAudio, "en-US"});
    store.save(crashed);
    core::SessionRecord finished("2025-03-12 10-00-00", t0 - 2 * 86400);
    finished.endedAt = t0 - 2 * 86400 + 60;
    finished.lastUpdated = t0 - 2 * 86400 + 30; // an odd file: left as it is
    store.save(finished);

    h.make();
    const auto closed = h.stored(crashed.id);
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->endedAt, crashed.lastUpdated);
    EXPECT_EQ(closed->lines, crashed.lines);
    EXPECT_EQ(h.stored(finished.id), finished);
    EXPECT_NE(std::filesystem::file_size(store.markdownURL(crashed.id)), 0u);
}

TEST(SpeechEngineLifecycleTest, ShutdownWritesTheOpenSessionBeforeReturning) {
    EngineHarness h;
    h.make(withMicrophone());
    h.start();
    h.system()->sendFinal("said and done", t0);
    h.advance(2);
    h.microphone()->sendVolatile("still speaking");
    h.engine->shutdown();
    EXPECT_TRUE(h.system()->stoppedNow);
    EXPECT_TRUE(h.microphone()->stoppedNow);
    // No waiting: the file is complete when shutdown returns.
    const auto stored = core::SessionStore(h.folder.path()).load("2025-03-14 08-05-00");
    EXPECT_EQ(h.lineTexts(stored), (Strings{"said and done", "still speaking"}));
    EXPECT_EQ(stored.endedAt, t0 + 2);
    EXPECT_EQ(stored.lastUpdated, t0 + 2);
    // Nothing starts again afterwards.
    h.engine->setPaused(true);
    h.settle();
    EXPECT_EQ(h.pipelines.size(), 2u);
}

TEST(SpeechEngineLifecycleTest, TheOpenSessionFollowsTheFolderWithoutOverwritingAnother) {
    EngineHarness h;
    h.make();
    h.start();
    h.system()->sendFinal("first words", t0);
    h.advance(SpeechEngine::saveMaxLatency);
    h.engine->waitForWrites();
    const std::string id = *h.status().currentSessionID;
    core::SessionStore firstStore(h.folder.path());
    ASSERT_TRUE(std::filesystem::exists(firstStore.jsonURL(id)));
    const auto other = h.folder.path() / "other";
    std::filesystem::create_directory(other);
    core::SessionStore otherStore(other);
    core::SessionRecord existing(id, t0 - 3600);
    existing.endedAt = t0 - 3000;
    existing.lastUpdated = t0 - 3000;
    otherStore.save(existing);

    h.engine->setSessionsDirectory(other);
    h.engine->waitForWrites();
    h.settle();
    EXPECT_EQ(h.status().currentSessionID, id + " (2)");
    EXPECT_EQ(otherStore.load(id), existing);
    EXPECT_EQ(h.lineTexts(otherStore.load(id + " (2)")), Strings{"first words"});
    // Moved, not copied: no unfinished duplicate stays behind.
    EXPECT_FALSE(std::filesystem::exists(firstStore.jsonURL(id)));
    EXPECT_FALSE(std::filesystem::exists(firstStore.markdownURL(id)));

    // A new interface language rewrites the transcript at once.
    h.labels.title = "Transkription";
    h.engine->interfaceLanguageChanged();
    h.engine->waitForWrites();
    std::ifstream markdown(otherStore.markdownURL(id + " (2)"));
    const std::string text((std::istreambuf_iterator<char>(markdown)), {});
    EXPECT_NE(text.find("Transkription"), std::string::npos) << text;
}

TEST(SpeechEngineLifecycleTest, EchoCancellationJoinsRunsWithBothSourcesAndTurnsOffLive) {
    EngineHarness h;
    std::vector<bool> made;
    h.makeEcho = [&made](bool enabled) {
        made.push_back(enabled);
        return std::make_shared<EchoCancellation>(
            std::make_unique<SilencingCanceller>(), [] { return 5.0; }, enabled);
    };
    h.make(withMicrophone());
    h.start();
    ASSERT_EQ(h.pipelines.size(), 2u);
    const auto echo = h.engine->echoCancellation();
    ASSERT_TRUE(echo);
    EXPECT_TRUE(echo->isEnabled());
    // Both sources' audio goes through it; the microphone still follows the device choice.
    const auto system = std::dynamic_pointer_cast<ProcessedAudioSource>(h.system()->audio);
    const auto microphone = std::dynamic_pointer_cast<ProcessedAudioSource>(h.microphone()->audio);
    ASSERT_TRUE(system && microphone);
    EXPECT_TRUE(std::dynamic_pointer_cast<MicrophoneSource>(microphone->source()));
    EXPECT_EQ(h.status().microphoneDevice, "USB Microphone");

    {
        SCOPED_TRACE("it stands aside while the speakers play into headphones, and follows them");
        EXPECT_FALSE(echo->isOverheard());
        h.route = core::PlaybackRoute::speakers;
        h.advance(SpeechEngine::echoRouteInterval);
        EXPECT_TRUE(echo->isOverheard());
        h.route = core::PlaybackRoute::headphones;
        h.advance(SpeechEngine::echoRouteInterval);
        EXPECT_FALSE(echo->isOverheard());
        h.route = core::PlaybackRoute::speakers;
        h.advance(SpeechEngine::echoRouteInterval);
    }
    {
        SCOPED_TRACE("turned off and on while listening: no restart");
        auto options = h.engine->options();
        options.echoCancellation = false;
        h.engine->setOptions(options);
        h.settle();
        EXPECT_EQ(h.pipelines.size(), 2u);
        EXPECT_FALSE(echo->isEnabled());
        options.echoCancellation = true;
        h.engine->setOptions(options);
        h.settle();
        EXPECT_EQ(h.pipelines.size(), 2u);
        EXPECT_TRUE(echo->isEnabled());
    }
    {
        SCOPED_TRACE("the microphone alone has nothing to cancel against");
        h.engine->setOptions(withMicrophone(false));
        h.settle();
        EXPECT_FALSE(h.engine->echoCancellation());
        EXPECT_FALSE(std::dynamic_pointer_cast<ProcessedAudioSource>(h.microphone()->audio));
    }
    {
        SCOPED_TRACE("a run that starts turned off can be turned on");
        auto options = withMicrophone();
        options.echoCancellation = false;
        h.engine->setOptions(options);
        h.settle();
        ASSERT_TRUE(h.engine->echoCancellation());
        EXPECT_FALSE(h.engine->echoCancellation()->isEnabled());
    }
    EXPECT_EQ(made, (std::vector<bool>{true, false}));
    h.engine->stopListening();
    h.settle();
    EXPECT_FALSE(h.engine->echoCancellation());

    {
        SCOPED_TRACE("a canceller that cannot be had leaves the run as it was");
        h.makeEcho = [](bool) -> std::shared_ptr<EchoCancellation> {
            throw std::runtime_error("no module");
        };
        const auto before = h.pipelines.size();
        h.make(withMicrophone());
        h.start();
        EXPECT_EQ(h.pipelines.size(), before + 2);
        EXPECT_FALSE(h.engine->echoCancellation());
        EXPECT_TRUE(h.status().is<Status::Listening>());
        EXPECT_TRUE(std::any_of(h.logged.begin(), h.logged.end(), [](const std::string& line) {
            return line.find("no module") != std::string::npos;
        }));
    }
}
