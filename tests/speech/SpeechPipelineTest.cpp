#include "speech/SpeechPipeline.h"

#include "Scripted.h"
#include "core/VirtualScheduler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

using namespace ambrel;
using namespace ambrel::testing;
using Event = SpeechPipeline::Event;

namespace ambrel::testing {

RecognizerResult result(bool isFinal,
                        const std::vector<std::tuple<std::string, double, double>>& words,
                        double confidence) {
    RecognizerResult r;
    r.isFinal = isFinal;
    for (const auto& [text, start, end] : words) {
        r.runs.push_back({text, std::pair(start, end), confidence});
    }
    if (!words.empty()) {
        r.range = {std::get<1>(words.front()), std::get<2>(words.back())};
    }
    return r;
}

} // namespace ambrel::testing

namespace {

AudioBuffer tone(double rate, int channels, std::size_t frames, float value = 0.25f) {
    return AudioBuffer{rate, channels,
                       std::vector<float>(frames * static_cast<std::size_t>(channels), value)};
}

class SpeechPipelineTest : public ::testing::Test {
protected:
    std::shared_ptr<SpeechPipeline> make(std::vector<std::pair<std::string, double>> languages) {
        std::vector<RecognitionLanguage> list;
        for (const auto& [identifier, rate] : languages) {
            list.push_back({identifier, RecognitionLanguage::Engine::dictation});
            logs[identifier] = std::make_shared<ScriptedRecognizer::Log>();
            rates[identifier] = rate;
        }
        return SpeechPipeline::create(
            core::SpeechSource::microphone, audio, list, scheduler,
            [this](const RecognitionLanguage& language) -> std::unique_ptr<Recognizer> {
                if (failingLanguage == language.identifier) {
                    throw std::runtime_error("The model is broken");
                }
                return std::make_unique<ScriptedRecognizer>(rates[language.identifier],
                                                            logs[language.identifier]);
            },
            [](std::function<void()> work) { work(); });
    }

    std::optional<std::string> start(const std::shared_ptr<SpeechPipeline>& pipeline) {
        std::optional<std::optional<std::string>> outcome;
        pipeline->start(
            SpeechPipeline::Handlers{[this](const Event& e) { events.push_back(e); },
                                     [this](const std::string& e) { errors.push_back(e); },
                                     [this](const std::optional<std::string>& lost) {
                                         interruptions.push_back(lost.value_or("back"));
                                     }},
            [&](std::optional<std::string> failure) { outcome = failure; });
        scheduler.runPending();
        EXPECT_TRUE(outcome.has_value()) << "start did not complete";
        return outcome.value_or(std::string("(not done)"));
    }

    // Delivers `frames` of audio that end now, after moving the clock by their duration.
    void deliver(std::size_t frames, double rate = 48000, int channels = 1) {
        scheduler.advance(static_cast<double>(frames) / rate);
        audio->buffer(tone(rate, channels, frames));
    }

    core::VirtualScheduler scheduler;
    std::shared_ptr<ScriptedAudio> audio = std::make_shared<ScriptedAudio>();
    std::map<std::string, std::shared_ptr<ScriptedRecognizer::Log>> logs;
    std::map<std::string, double> rates;
    std::optional<std::string> failingLanguage;
    std::vector<Event> events;
    std::vector<std::string> errors;
    std::vector<std::string> interruptions;
};

Event finalEvent(std::string text, std::string language, double start, double confidence = 0.9) {
    return Event{Event::Kind::final, std::move(text), confidence, std::move(language), start};
}
Event volatileEvent(std::string text, double confidence) {
    return Event{Event::Kind::volatileText, std::move(text), confidence, {}, 0};
}

} // namespace

TEST_F(SpeechPipelineTest, RecognisersOfOneFormatShareAConversionAndATimeLine) {
    auto pipeline = make({{"en-US", 16000}, {"de-DE", 16000}, {"fr-FR", 8000}});
    ASSERT_EQ(start(pipeline), std::nullopt);
    ASSERT_TRUE(audio->running);
    deliver(4800, 48000, 2); // 100 ms of stereo
    deliver(4800, 48000, 2);
    const auto& en = logs["en-US"]->fed;
    const auto& de = logs["de-DE"]->fed;
    const auto& fr = logs["fr-FR"]->fed;
    ASSERT_EQ(en.size(), 2u);
    ASSERT_EQ(de.size(), 2u);
    ASSERT_EQ(fr.size(), 2u);
    EXPECT_EQ(en[0], de[0]);
    EXPECT_EQ(en[1], de[1]);
    EXPECT_EQ(en[0].first.sampleRate, 16000);
    EXPECT_EQ(en[0].first.channels, 1);
    EXPECT_EQ(fr[0].first.sampleRate, 8000);
    // The time lines run on from sample to sample.
    EXPECT_EQ(en[1].second, en[0].second + static_cast<std::int64_t>(en[0].first.frameCount()));
    EXPECT_EQ(fr[1].second, fr[0].second + static_cast<std::int64_t>(fr[0].first.frameCount()));
    pipeline->stopNow();
    EXPECT_FALSE(audio->running);
    EXPECT_TRUE(logs["en-US"]->cancelled);
}

TEST_F(SpeechPipelineTest, TheSampleCountKeepsToTheClockAcrossGapsButNotJitter) {
    auto pipeline = make({{"en-US", 48000}});
    ASSERT_EQ(start(pipeline), std::nullopt);
    const auto& fed = logs["en-US"]->fed;
    for (int i = 0; i < 5; ++i) {
        deliver(960); // 20 ms each
    }
    ASSERT_EQ(fed.size(), 5u);
    EXPECT_EQ(fed[4].second, 4 * 960);
    // Buffers that arrive a little late or early keep the running count.
    scheduler.advance(0.1);
    deliver(960);
    EXPECT_EQ(fed[5].second, 5 * 960);
    // Two seconds without audio: the next buffer starts where the clock says.
    scheduler.advance(2.0);
    deliver(960);
    const std::int64_t expected =
        static_cast<std::int64_t>(std::round(48000 * (scheduler.monotonic() - 0.02)));
    EXPECT_EQ(fed[6].second, expected);
    EXPECT_GT(fed[6].second, 6 * 960 + 48000);
    // Never backwards, even when the clock lags the audio.
    for (int i = 0; i < 30; ++i) {
        audio->buffer(tone(48000, 1, 960));
    }
    EXPECT_EQ(fed.back().second, fed[6].second + 30 * 960);
    pipeline->stopNow();
}

TEST_F(SpeechPipelineTest, ResultsBecomeEventsThroughTheArbiter) {
    auto pipeline = make({{"en-US", 16000}});
    ASSERT_EQ(start(pipeline), std::nullopt);
    const double origin = scheduler.now();
    auto& callbacks = logs["en-US"]->callbacks;
    callbacks.onResult(result(false, {{"Hello", 0.5, 0.9}}, 0.7));
    scheduler.runPending();
    callbacks.onResult(result(true, {{"Hello", 0.5, 0.9}, {" there.", 0.9, 1.4}}));
    scheduler.runPending();
    EXPECT_EQ(events, (std::vector<Event>{volatileEvent("Hello", 0.7),
                                          finalEvent("Hello there.", "en-US", origin + 0.5),
                                          volatileEvent("", 0)}));
    // Ticks say nothing while nothing changes.
    events.clear();
    scheduler.advance(1.0);
    EXPECT_TRUE(events.empty());
    // A final that starts before the pipeline began is dated at its start.
    callbacks.onResult(result(true, {{"Early", -0.5, 4.0}}));
    scheduler.runPending();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().start, origin);
    // A failing recogniser reaches the owner; so does the source's interruption.
    callbacks.onFailure("decoder crashed");
    audio->interruption(AudioSourceError("Lost the connection to the sound server"));
    audio->interruption(std::nullopt);
    scheduler.runPending();
    EXPECT_EQ(errors, std::vector<std::string>{"decoder crashed"});
    EXPECT_EQ(interruptions,
              (std::vector<std::string>{"Lost the connection to the sound server", "back"}));
    pipeline->stopNow();
}

TEST_F(SpeechPipelineTest, FinalWordsComeFromTheTimedRuns) {
    RecognizerResult r;
    r.range = {1.0, 3.0};
    r.isFinal = true;
    r.runs = {{"Hello", std::pair(1.0, 1.4), 0.8},
              {",", std::nullopt, std::nullopt},
              {" world", std::pair(1.5, 2.0), std::nullopt}};
    const auto words = SpeechPipeline::words(r, 0.6);
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0], (core::RecognizedSegment::Word{"Hello,", 1.0, 1.4, 0.8}));
    EXPECT_EQ(words[1], (core::RecognizedSegment::Word{" world", 1.5, 2.0, 0.6}));
    // Confidence weighs runs by their characters; runs without one do not count.
    EXPECT_DOUBLE_EQ(*SpeechPipeline::confidence(r), 0.8);

    // No timing at all: one word over the whole result.
    r.runs = {{"Untimed", std::nullopt, std::nullopt}, {" text", std::nullopt, std::nullopt}};
    EXPECT_EQ(SpeechPipeline::words(r, 0.6),
              (std::vector<core::RecognizedSegment::Word>{{"Untimed text", 1.0, 3.0, 0.6}}));
    EXPECT_FALSE(SpeechPipeline::confidence(r));
    r.runs = {{"Instant", std::pair(2.0, 2.0), 0.9}};
    EXPECT_EQ(SpeechPipeline::words(r, 0.6),
              (std::vector<core::RecognizedSegment::Word>{{"Instant", 1.0, 3.0, 0.6}}));
}

TEST_F(SpeechPipelineTest, AGracefulStopWaitsForTheRecognisersOrTheirTime) {
    auto pipeline = make({{"en-US", 16000}});
    ASSERT_EQ(start(pipeline), std::nullopt);
    auto& callbacks = logs["en-US"]->callbacks;
    callbacks.onResult(result(false, {{"still talking", 0.5, 1.0}}));
    scheduler.runPending();
    events.clear();
    bool stopped = false;
    pipeline->stop(2.5, [&] { stopped = true; });
    scheduler.runPending();
    EXPECT_TRUE(stopped);
    EXPECT_FALSE(audio->running);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), volatileEvent("", 0))
        << "finished in time: ends with an empty volatile event";

    // Recognisers that never finish are cancelled when the time is up.
    auto second = make({{"de-DE", 16000}});
    logs["de-DE"]->finishesAtOnce = false;
    ASSERT_EQ(start(second), std::nullopt);
    logs["de-DE"]->callbacks.onResult(result(false, {{"noch", 0.5, 1.0}}));
    scheduler.runPending();
    events.clear();
    stopped = false;
    second->stop(2.5, [&] { stopped = true; });
    scheduler.advance(2.4);
    EXPECT_FALSE(stopped);
    EXPECT_FALSE(logs["de-DE"]->cancelled);
    scheduler.advance(0.2);
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(logs["de-DE"]->cancelled);
    EXPECT_TRUE(events.empty()) << "the shown text did not change and nothing was decided";
    // A late finish does nothing.
    logs["de-DE"]->callbacks.onFinished();
    scheduler.runPending();

    // A recogniser that failed has ended: the stop does not wait out its time for it.
    auto third = make({{"en-US", 16000}, {"fr-FR", 16000}});
    logs["fr-FR"]->finishesAtOnce = false;
    ASSERT_EQ(start(third), std::nullopt);
    logs["fr-FR"]->callbacks.onFailure("decoder crashed");
    scheduler.runPending();
    stopped = false;
    third->stop(2.5, [&] { stopped = true; });
    scheduler.runPending();
    EXPECT_TRUE(stopped);
}

TEST_F(SpeechPipelineTest, AFailedStartLeavesNothingRunning) {
    failingLanguage = "de-DE";
    auto broken = make({{"en-US", 16000}, {"de-DE", 16000}});
    EXPECT_EQ(start(broken), "The model is broken");
    EXPECT_FALSE(audio->running);

    failingLanguage.reset();
    auto unsupported = make({{"xx", 0}});
    EXPECT_EQ(start(unsupported), "Speech recognition doesn’t support this audio");

    audio->failure = "Couldn’t start system audio capture (PulseAudio error 6: Connection refused)";
    auto noAudio = make({{"en-US", 16000}});
    EXPECT_EQ(start(noAudio), *audio->failure);
    EXPECT_TRUE(logs["en-US"]->cancelled);

    // Stopped while the recognisers were still being made.
    audio->failure.reset();
    auto early = make({{"en-US", 16000}});
    std::optional<std::string> outcome;
    std::function<void()> later;
    auto pipeline = SpeechPipeline::create(
        core::SpeechSource::systemAudio, audio, {{"en-US", RecognitionLanguage::Engine::dictation}},
        scheduler,
        [this](const RecognitionLanguage&) -> std::unique_ptr<Recognizer> {
            return std::make_unique<ScriptedRecognizer>(16000, logs["en-US"]);
        },
        [&](std::function<void()> work) { later = std::move(work); });
    pipeline->start(
        {}, [&](std::optional<std::string> failure) { outcome = failure.value_or("started"); });
    pipeline->stopNow();
    later();
    scheduler.runPending();
    EXPECT_EQ(outcome, "Transcription was stopped");
    EXPECT_FALSE(audio->running);
}

TEST_F(SpeechPipelineTest, SourcesStartAndStopWhereTheCaptureQueueRunsThemInOrder) {
    std::vector<std::function<void()>> queued;
    const auto capture = [&](std::function<void()> work) { queued.push_back(std::move(work)); };
    const auto runQueued = [&] {
        for (auto work = std::exchange(queued, {}); auto& step : work) {
            step();
        }
    };
    const auto made = [&] {
        logs["en-US"] = std::make_shared<ScriptedRecognizer::Log>();
        return SpeechPipeline::create(
            core::SpeechSource::microphone, audio,
            {{"en-US", RecognitionLanguage::Engine::dictation}}, scheduler,
            [this](const RecognitionLanguage&) -> std::unique_ptr<Recognizer> {
                return std::make_unique<ScriptedRecognizer>(16000, logs["en-US"]);
            },
            [](std::function<void()> work) { work(); }, capture);
    };

    // The start returns before the source runs; success comes once the queue has started it.
    auto pipeline = made();
    std::optional<std::string> outcome;
    pipeline->start(
        {}, [&](std::optional<std::string> failure) { outcome = failure.value_or("started"); });
    scheduler.runPending();
    EXPECT_FALSE(audio->running) << "nothing waited for the source on the scheduler's thread";
    EXPECT_FALSE(outcome.has_value());
    runQueued();
    scheduler.runPending();
    EXPECT_TRUE(audio->running);
    EXPECT_EQ(outcome, "started");

    // Stopped: no buffer still on its way reaches the recognisers, and the source stops later,
    // on the queue.
    const auto feedAfterStop = audio->buffer;
    pipeline->stopNow();
    const std::size_t fed = logs["en-US"]->fed.size();
    feedAfterStop(tone(16000, 1, 1600));
    EXPECT_EQ(logs["en-US"]->fed.size(), fed);
    EXPECT_TRUE(audio->running);
    EXPECT_FALSE(logs["en-US"]->destroyed) << "a decoder is freed on the queue, not here";
    runQueued();
    EXPECT_FALSE(audio->running);
    EXPECT_TRUE(logs["en-US"]->destroyed);

    // Stopped while its start was still queued: the source starts and stops in that order, and
    // the start reports the stop.
    pipeline = made();
    outcome.reset();
    pipeline->start(
        {}, [&](std::optional<std::string> failure) { outcome = failure.value_or("started"); });
    scheduler.runPending();
    pipeline->stopNow();
    runQueued();
    scheduler.runPending();
    EXPECT_FALSE(audio->running);
    EXPECT_EQ(outcome, "Transcription was stopped");

    // A source that cannot start fails the start, from the queue.
    audio->failure = "No microphone";
    pipeline = made();
    outcome.reset();
    pipeline->start(
        {}, [&](std::optional<std::string> failure) { outcome = failure.value_or("started"); });
    scheduler.runPending();
    runQueued();
    scheduler.runPending();
    EXPECT_EQ(outcome, "No microphone");

    // A source bound to the scheduler's thread starts and stops right there.
    runQueued();
    audio->failure.reset();
    audio->anyThread = false;
    pipeline = made();
    outcome.reset();
    pipeline->start(
        {}, [&](std::optional<std::string> failure) { outcome = failure.value_or("started"); });
    scheduler.runPending();
    EXPECT_TRUE(queued.empty());
    EXPECT_EQ(outcome, "started");
    pipeline->stopNow();
    EXPECT_FALSE(audio->running);
}
