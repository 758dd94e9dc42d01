#pragma once

#include "DeferredWork.h"
#include "Scripted.h"
#include "ScriptedMicrophoneDevices.h"
#include "TemporaryFolder.h"
#include "audio/MicrophoneSource.h"
#include "core/Log.h"
#include "core/SessionStore.h"
#include "core/VirtualScheduler.h"
#include "speech/echo/EchoCancellation.h"
#include "speech/engine/SpeechEngine.h"

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ambrel::testing {

// A pipeline whose events the test sends; it starts and stops when the test lets it.
class ScriptedPipeline : public TranscriptionPipeline {
public:
    ScriptedPipeline(core::SpeechSource source, std::shared_ptr<AudioSource> audio,
                     std::vector<RecognitionLanguage> languages, core::Scheduler& scheduler)
        : audio(std::move(audio))
        , source_(source)
        , languages_(std::move(languages))
        , scheduler_(scheduler) {}

    core::SpeechSource source() const override { return source_; }
    const std::vector<RecognitionLanguage>& languages() const override { return languages_; }

    void start(Handlers handlers, std::function<void(std::optional<std::string>)> done) override {
        this->handlers = std::move(handlers);
        if (startFailure) {
            scheduler_.post([done, failure = *startFailure] { done(failure); });
            return;
        }
        // The microphone source reports its device once it runs.
        audio->start([](AudioBuffer) {});
        running = true;
        scheduler_.post([done] { done(std::nullopt); });
    }
    void stop(double timeout, std::function<void()> done) override {
        stopTimeout = timeout;
        running = false;
        audio->stop();
        if (holdStop) {
            pendingStop = std::move(done);
            return;
        }
        scheduler_.post(std::move(done));
    }
    void stopNow() override {
        running = false;
        stoppedNow = true;
        audio->stop();
    }
    std::size_t backlog() const override { return 0; }

    void sendVolatile(const std::string& text, double confidence = 0.9) {
        send({Event::Kind::volatileText, text, confidence, {}, 0});
    }
    void sendFinal(const std::string& text, core::Instant start, double confidence = 0.9,
                   const std::string& language = "en-US") {
        send({Event::Kind::final, text, confidence, language, start});
    }
    void send(const Event& event) {
        if (handlers.onEvent) {
            handlers.onEvent(event);
        }
    }
    void fail(const std::string& error) { handlers.onError(error); }
    void finishStop() { std::exchange(pendingStop, nullptr)(); }

    std::shared_ptr<AudioSource> audio;
    Handlers handlers;
    std::optional<std::string> startFailure;
    bool holdStop = false;
    std::function<void()> pendingStop;
    bool running = false;
    bool stoppedNow = false;
    std::optional<double> stopTimeout;

private:
    core::SpeechSource source_;
    std::vector<RecognitionLanguage> languages_;
    core::Scheduler& scheduler_;
};

// An engine over scripted languages, models, permission, devices and pipelines, in virtual time.
// Slow background work waits until the test runs it.
class EngineHarness {
public:
    using Status = TranscriptionStatus;

    EngineHarness() {
        core::Log::setSink([this](std::string_view, core::LogLevel, std::string_view message) {
            logged.emplace_back(message);
        });
        microphoneServer->snapshot.sources.push_back(inputDevice(1, "usb-mic", "USB Microphone"));
        microphoneServer->snapshot.sources.push_back(inputDevice(2, "headset", "Headset"));
        microphoneServer->snapshot.defaultSourceName = "usb-mic";
    }
    ~EngineHarness() {
        engine.reset();
        core::Log::setSink({});
    }
    EngineHarness(const EngineHarness&) = delete;
    EngineHarness& operator=(const EngineHarness&) = delete;

    SpeechEngineServices services() {
        SpeechEngineServices services;
        services.background = background.submitter();
        services.transcriptLabels = [this] { return labels; };
        services.languages = [this](const SpeechOptions& options) {
            ++languageQuestions;
            LanguageChoice choice{automaticLanguages, {}, listProblem};
            if (!options.automaticLanguages && !options.chosenLanguages.empty()) {
                choice.languages.clear();
                for (const auto& identifier : options.chosenLanguages) {
                    if (std::find(unavailable.begin(), unavailable.end(), identifier) !=
                        unavailable.end()) {
                        choice.unavailable.push_back(identifier);
                    } else {
                        choice.languages.push_back(
                            {identifier, RecognitionLanguage::Engine::speech});
                    }
                }
            }
            return choice;
        };
        services.ensureInstalled = [this](const std::vector<RecognitionLanguage>&,
                                          const std::function<void(double)>& progress,
                                          const std::atomic<bool>&) {
            for (const double fraction : installProgress) {
                progress(fraction);
            }
            if (installFailure) {
                throw std::runtime_error(*installFailure);
            }
        };
        services.microphoneAllowed = [this] { return microphoneAllowed; };
        services.echoRoute = [this] { return route; };
        services.makeAudio =
            [this](core::SpeechSource source,
                   const core::MicrophoneSelection& selection) -> std::shared_ptr<AudioSource> {
            if (source == core::SpeechSource::microphone) {
                return MicrophoneSource::create(
                    selection, scheduler,
                    std::make_unique<ScriptedMicrophoneDevices>(microphoneServer));
            }
            return std::make_shared<ScriptedAudio>();
        };
        services.makePipeline = [this](core::SpeechSource source,
                                       std::shared_ptr<AudioSource> audio,
                                       std::vector<RecognitionLanguage> languages) {
            auto pipeline = std::make_shared<ScriptedPipeline>(source, std::move(audio),
                                                               std::move(languages), scheduler);
            if (const auto failure = startFailures.find(source); failure != startFailures.end()) {
                pipeline->startFailure = failure->second;
            }
            pipeline->holdStop = holdStops;
            pipelines.push_back(pipeline);
            return pipeline;
        };
        services.makeEchoCancellation = makeEcho;
        services.appVersion = "1.4.2";
        return services;
    }

    void make(SpeechOptions options = {}) {
        engine = SpeechEngine::create(folder.path(), std::move(options), scheduler, services());
        engine->onStatusChange = [this](const Status& status) { statuses.push_back(status); };
        engine->onLiveText = [this](const LiveTranscriptText& text) { live.push_back(text); };
        engine->onSessionUpdated = [this](const core::SessionRecord& record) {
            updates.emplace_back(scheduler.now(), record);
        };
    }

    // Runs posted work and background work until none is left, without moving the clocks.
    void settle() { background.settle(scheduler); }
    void advance(double seconds) {
        scheduler.advance(seconds);
        settle();
    }
    void start() {
        engine->startListening();
        settle();
    }

    // The newest pipeline of a source.
    std::shared_ptr<ScriptedPipeline> pipeline(core::SpeechSource source) const {
        for (auto it = pipelines.rbegin(); it != pipelines.rend(); ++it) {
            if ((*it)->source() == source) {
                return *it;
            }
        }
        return nullptr;
    }
    std::shared_ptr<ScriptedPipeline> system() const {
        return pipeline(core::SpeechSource::systemAudio);
    }
    std::shared_ptr<ScriptedPipeline> microphone() const {
        return pipeline(core::SpeechSource::microphone);
    }

    const Status& status() const { return engine->status(); }
    // The open session as stored, once every write has landed.
    std::optional<core::SessionRecord> stored(const std::string& id) {
        engine->waitForWrites();
        scheduler.runPending();
        try {
            return core::SessionStore(folder.path()).load(id);
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }
    std::vector<std::string> lineTexts(const core::SessionRecord& record) const {
        std::vector<std::string> texts;
        for (const auto& line : record.lines) {
            texts.push_back(line.text);
        }
        return texts;
    }
    std::vector<std::string> liveTexts() const {
        std::vector<std::string> texts;
        if (!live.empty()) {
            for (const auto& line : live.back().lines) {
                texts.push_back(line.text + (line.isFinal ? "" : "…"));
            }
        }
        return texts;
    }

    core::VirtualScheduler scheduler{1741939500.0};
    TemporaryFolder folder;
    DeferredWork background;
    std::vector<RecognitionLanguage> automaticLanguages{
        {"en-US", RecognitionLanguage::Engine::dictation}};
    std::vector<double> installProgress;
    std::optional<std::string> installFailure;
    core::TranscriptLabels labels = core::TranscriptLabels::english(); // the interface's words
    std::vector<std::string> unavailable;   // chosen identifiers that cannot be had
    std::optional<std::string> listProblem; // why nothing can be downloaded
    bool microphoneAllowed = true;
    core::PlaybackRoute route = core::PlaybackRoute::headphones;
    std::map<core::SpeechSource, std::string> startFailures;
    bool holdStops = false;
    // The echo cancellation of runs that record both sources; empty: none.
    std::function<std::shared_ptr<EchoCancellation>(bool)> makeEcho;
    int languageQuestions = 0;
    std::shared_ptr<ScriptedMicrophoneDevices::State> microphoneServer =
        std::make_shared<ScriptedMicrophoneDevices::State>();
    std::vector<std::shared_ptr<ScriptedPipeline>> pipelines;

    std::shared_ptr<SpeechEngine> engine;
    std::vector<Status> statuses;
    std::vector<LiveTranscriptText> live;
    std::vector<std::pair<core::Instant, core::SessionRecord>> updates;
    std::vector<std::string> logged;
};

} // namespace ambrel::testing
