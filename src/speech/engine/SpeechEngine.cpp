#include "SpeechEngine.h"

#include "core/Log.h"
#include "speech/echo/EchoCancellation.h"

#include <fmt/format.h>

#include <algorithm>
#include <utility>

namespace ambrel {

using core::SpeechSource;

std::shared_ptr<SpeechEngine> SpeechEngine::create(std::filesystem::path sessionsDirectory,
                                                   SpeechOptions options,
                                                   core::Scheduler& scheduler,
                                                   SpeechEngineServices services) {
    std::shared_ptr<SpeechEngine> engine(new SpeechEngine(
        std::move(sessionsDirectory), std::move(options), scheduler, std::move(services)));
    engine->recorder_->closeOrphanedSessions();
    return engine;
}

SpeechEngine::SpeechEngine(std::filesystem::path sessionsDirectory, SpeechOptions options,
                           core::Scheduler& scheduler, SpeechEngineServices services)
    : scheduler_(scheduler)
    , services_(std::move(services))
    , options_(std::move(options))
    , lifecycle_(scheduler) {
    if (!services_.background) {
        preparer_ = std::make_unique<core::SerialQueue>("org.ambrel.Ambrel.prepare");
        services_.background = [queue = preparer_.get()](SpeechEngineServices::Work work) {
            queue->async(std::move(work));
        };
    }
    if (!services_.transcriptLabels) {
        services_.transcriptLabels = [] { return core::TranscriptLabels::english(); };
    }
    status_.onChange = [this](const TranscriptionStatus& status) {
        if (onStatusChange) {
            onStatusChange(status);
        }
    };
    recorder_ = SessionRecorder::create(
        std::move(sessionsDirectory),
        SessionRecorder::Context{
            scheduler_, status_, [this]() -> const SpeechOptions& { return options_; },
            [this] { return services_.echoRoute(); },
            [this](const std::optional<std::string>& language) { return lowConfidence(language); },
            [this] { return services_.transcriptLabels(); }, services_.appVersion});
    recorder_->onLiveText = [this](const LiveTranscriptText& live) {
        if (onLiveText) {
            onLiveText(live);
        }
    };
    recorder_->onSessionUpdated = [this](const core::SessionRecord& record) {
        if (onSessionUpdated) {
            onSessionUpdated(record);
        }
    };
}

SpeechEngine::~SpeechEngine() {
    // Downloads in progress give up; the workers finish what they hold and end.
    *closing_ = true;
    for (const auto& list : {pipelines_, stoppingPipelines_}) {
        for (const auto& pipeline : list) {
            pipeline->stopNow();
        }
    }
}

void SpeechEngine::post(std::function<void(SpeechEngine&)> work) {
    scheduler_.post([weak = weak_from_this(), work = std::move(work)] {
        if (const auto engine = weak.lock()) {
            work(*engine);
        }
    });
}

void SpeechEngine::beginActivity() {
    // Nothing on this platform throttles a background process that records; this is where it
    // would be asked not to.
    activity_ = true;
}

void SpeechEngine::endActivity() {
    activity_ = false;
}

// Starting.

void SpeechEngine::startListening() {
    if (!machine_.allows(Trigger::start)) {
        return;
    }
    recorder_->endSession(); // a failed run's session closes here
    recorder_->beginListening();
    status_.setWarnings({});
    if (!activity_) {
        beginActivity();
    }
    machine_.fire(Trigger::start);
    prepare();
}

void SpeechEngine::abandonStart() {
    preparation_.reset();
    launch_.reset();
}

void SpeechEngine::prepare() {
    abandonStart();
    status_.setState(TranscriptionStatus::Preparing{});
    const std::weak_ptr<SpeechEngine> weak = weak_from_this();
    RunPreparation::Reports reports;
    reports.languagesResolved = [weak](const LanguageChoice& choice) {
        if (const auto engine = weak.lock()) {
            engine->languagesResolved(choice);
        }
    };
    reports.progress = [weak](double progress) {
        if (const auto engine = weak.lock()) {
            engine->status_.setState(TranscriptionStatus::Preparing{progress});
        }
    };
    reports.done = [weak](RunPreparation::Outcome outcome) {
        if (const auto engine = weak.lock()) {
            engine->prepared(std::move(outcome));
        }
    };
    preparation_ = RunPreparation::begin(
        services_, scheduler_, [this]() -> const SpeechOptions& { return options_; }, closing_,
        std::move(reports));
}

void SpeechEngine::languagesResolved(const LanguageChoice& choice) {
    const auto ids = RecognitionLanguage::identifiers(choice.languages);
    status_.change([&](TranscriptionStatus& status) { status.languages = ids; });
    status_.change([&](TranscriptionStatus& status) {
        if (!status.detectedLanguage ||
            std::find(ids.begin(), ids.end(), *status.detectedLanguage) == ids.end()) {
            status.detectedLanguage =
                ids.size() == 1 ? std::optional<std::string>(ids.front()) : std::nullopt;
        }
    });
    languageWarnings_.clear();
    for (const auto& identifier : choice.unavailable) {
        languageWarnings_.push_back(
            RunProblem::languageUnavailable(identifier, choice.listProblem.value_or("")));
    }
}

void SpeechEngine::fail(const RunProblem& problem) {
    machine_.fire(Trigger::fail);
    status_.setState(TranscriptionStatus::Failed{problem});
    endActivity();
}

void SpeechEngine::prepared(RunPreparation::Outcome outcome) {
    preparation_.reset();
    if (outcome.failure) {
        fail(*outcome.failure);
        return;
    }
    auto launch = std::make_shared<Launch>();
    launch->sources = std::move(outcome.sources);
    launch->languages = std::move(outcome.languages);
    launch->warnings = std::move(outcome.warnings);
    launch_ = launch;
    lifecycle_.enqueue([weak = weak_from_this(), launch](std::function<void()> done) {
        const auto engine = weak.lock();
        if (!engine || engine->launch_ != launch) {
            done(); // abandoned while it waited
            return;
        }
        launch->generation = ++engine->generation_;
        launch->echo = engine->makeEchoCancellation(*launch);
        engine->echo_ = launch->echo;
        engine->followEchoRoute();
        engine->status_.forgetInterruptions();
        engine->launchNext(launch, std::move(done));
    });
}

void SpeechEngine::launchNext(std::shared_ptr<Launch> launch, std::function<void()> done) {
    if (launch->next == launch->sources.size()) {
        launched(*launch);
        done();
        return;
    }
    const SpeechSource source = launch->sources[launch->next++];
    const std::uint64_t g = launch->generation;
    const std::weak_ptr<SpeechEngine> weak = weak_from_this();
    Pipeline pipeline;
    try {
        auto audio = EchoCancellation::attach(
            launch->echo, source, services_.makeAudio(source, options_.microphoneDevice));
        if (source == SpeechSource::microphone) {
            audio->setDeviceCallback([weak, g](const std::optional<std::string>& name,
                                               const std::optional<std::string>& problem) {
                if (const auto engine = weak.lock()) {
                    engine->deviceChanged(name, problem, g);
                }
            });
            microphone_ = audio;
        }
        pipeline = services_.makePipeline(source, std::move(audio), launch->languages);
    } catch (const std::exception& error) {
        launch->warnings.push_back(RunProblem::sourceFailed(source, error.what()));
        launchNext(std::move(launch), std::move(done));
        return;
    }
    const std::weak_ptr<TranscriptionPipeline> weakPipeline = pipeline;
    TranscriptionPipeline::Handlers handlers;
    handlers.onEvent = [weak, weakPipeline, source, g](const TranscriptionPipeline::Event& event) {
        const auto engine = weak.lock();
        if (engine && weakPipeline.lock()) {
            engine->handle(event, source, g);
        }
    };
    handlers.onError = [weak, weakPipeline, g](const std::string& error) {
        const auto engine = weak.lock();
        const auto failed = weakPipeline.lock();
        if (engine && failed) {
            engine->pipelineFailed(failed.get(), error, g);
        }
    };
    handlers.onInterruption = [weak, weakPipeline, source,
                               g](const std::optional<std::string>& lost) {
        const auto engine = weak.lock();
        if (engine && weakPipeline.lock()) {
            engine->sourceInterrupted(source, lost, g);
        }
    };
    pipeline->start(std::move(handlers), [weak, pipeline, launch, source, done = std::move(done)](
                                             std::optional<std::string> failure) mutable {
        const auto engine = weak.lock();
        if (!engine) {
            return;
        }
        if (failure) {
            launch->warnings.push_back(RunProblem::sourceFailed(source, *failure));
        } else {
            engine->pipelines_.push_back(std::move(pipeline));
        }
        if (engine->launch_ != launch) {
            engine->stopPipelines(false, std::move(done)); // abandoned while it started
            return;
        }
        engine->launchNext(std::move(launch), std::move(done));
    });
}

std::shared_ptr<EchoCancellation> SpeechEngine::makeEchoCancellation(const Launch& launch) {
    const auto records = [&launch](SpeechSource source) {
        return std::find(launch.sources.begin(), launch.sources.end(), source) !=
               launch.sources.end();
    };
    if (!services_.makeEchoCancellation || !records(SpeechSource::systemAudio) ||
        !records(SpeechSource::microphone)) {
        return nullptr;
    }
    try {
        // Made even when turned off, so that turning it on needs no restart.
        return services_.makeEchoCancellation(options_.echoCancellation);
    } catch (const std::exception& error) {
        core::Log::audio().error(
            fmt::format("The microphone goes without echo cancellation: {}", error.what()));
        return nullptr;
    }
}

void SpeechEngine::followEchoRoute() {
    if (!echo_) {
        return;
    }
    const auto check = [this] {
        if (echo_) {
            echo_->setOverheard(services_.echoRoute() == core::PlaybackRoute::speakers);
        }
    };
    check();
    // Headphones come and go during a run. The app knows the route from memory; elsewhere
    // asking reads the sound server, which takes milliseconds.
    echoRouteTimer_ = scheduler_.every(echoRouteInterval, check);
}

void SpeechEngine::launched(const Launch& launch) {
    launch_.reset();
    auto warnings = launch.warnings;
    warnings.insert(warnings.end(), languageWarnings_.begin(), languageWarnings_.end());
    status_.setWarnings(std::move(warnings));
    if (!pipelines_.empty()) {
        machine_.fire(Trigger::launched);
        status_.setState(TranscriptionStatus::Listening{});
    } else if (machine_.fire(Trigger::fail)) {
        status_.setState(TranscriptionStatus::Failed{
            launch.warnings.empty() ? RunProblem::of(RunProblem::Kind::noAudioSource)
                                    : launch.warnings.front()});
        endActivity();
    } else {
        endActivity(); // failed already, while it launched
    }
    recorder_->publishLiveText();
}

// Stopping.

void SpeechEngine::stopListening() {
    if (machine_.is(Phase::failed)) {
        machine_.fire(Trigger::stop);
        recorder_->endSession();
        status_.setWarnings({}); // "Transcription off" with the failed run's warnings would mislead
        status_.setState(TranscriptionStatus::Idle{});
        return;
    }
    if (!machine_.fire(Trigger::stop)) {
        return;
    }
    abandonStart();
    enqueueStop(true);
}

void SpeechEngine::enqueueStop(bool thenEnd) {
    lifecycle_.enqueue([weak = weak_from_this(), thenEnd](std::function<void()> done) {
        if (const auto engine = weak.lock()) {
            engine->stopPipelines(thenEnd, std::move(done));
        } else {
            done();
        }
    });
}

void SpeechEngine::setPaused(bool paused) {
    if (paused) {
        if (!machine_.fire(Trigger::pause)) {
            return;
        }
        recorder_->addMarker(core::MarkerKind::paused);
        status_.setState(TranscriptionStatus::Paused{});
        abandonStart();
        enqueueStop(false);
        return;
    }
    if (!machine_.fire(Trigger::resume)) {
        return;
    }
    recorder_->addMarker(core::MarkerKind::resumed);
    prepare();
}

void SpeechEngine::stopPipelines(bool thenEnd, std::function<void()> done) {
    std::vector<Pipeline> stopping = std::move(pipelines_);
    pipelines_.clear();
    stoppingPipelines_.insert(stoppingPipelines_.end(), stopping.begin(), stopping.end());
    if (stopping.empty()) {
        pipelinesStopped(thenEnd);
        done();
        return;
    }
    auto remaining = std::make_shared<std::size_t>(stopping.size());
    auto finished = [weak = weak_from_this(), remaining, thenEnd, done = std::move(done)] {
        if (--*remaining > 0) {
            return;
        }
        if (const auto engine = weak.lock()) {
            engine->pipelinesStopped(thenEnd);
        }
        done();
    };
    for (const auto& pipeline : stopping) {
        pipeline->stop(stopTimeout, finished);
    }
}

void SpeechEngine::pipelinesStopped(bool thenEnd) {
    stoppingPipelines_.clear();
    if (echo_) {
        const auto figures = echo_->figures();
        core::Log::audio().debug(fmt::format(
            "Echo cancellation: {} microphone frames cancelled, {} passed through, {} reference "
            "frames dropped, lag {:.0f} ms",
            figures.cancelledFrames, figures.passedFrames, figures.droppedReferenceFrames,
            figures.lag * 1000));
        echo_.reset();
        echoRouteTimer_.reset();
    }
    ++generation_;
    status_.clearMicrophone();
    recorder_->flushVolatileText({SpeechSource::systemAudio, SpeechSource::microphone});
    recorder_->publishLiveText();
    if (!thenEnd) {
        return;
    }
    machine_.fire(Trigger::stopped);
    recorder_->endSession();
    status_.setWarnings({});
    status_.setState(TranscriptionStatus::Idle{});
    endActivity();
    recorder_->publishNothing();
}

void SpeechEngine::restart() {
    abandonStart();
    lifecycle_.enqueue([weak = weak_from_this()](std::function<void()> done) {
        const auto engine = weak.lock();
        if (!engine) {
            done();
            return;
        }
        engine->stopPipelines(false, [weak, done = std::move(done)] {
            const auto engine = weak.lock();
            if (engine && engine->machine_.fire(Trigger::restart)) {
                engine->prepare();
            }
            done();
        });
    });
}

void SpeechEngine::restartIfLanguagesChange(const SpeechOptions& options,
                                            bool needsOptionsUnchanged) {
    services_.background([resolve = services_.languages, options, needsOptionsUnchanged,
                          weak = weak_from_this(), &scheduler = scheduler_] {
        std::vector<std::string> ids;
        try {
            ids = RecognitionLanguage::identifiers(resolve(options).languages);
        } catch (const std::exception&) {
            return; // the running languages stay
        }
        scheduler.post([weak, options, needsOptionsUnchanged, ids] {
            const auto engine = weak.lock();
            if (!engine || (needsOptionsUnchanged && engine->options_ != options) ||
                ids == engine->status().languages || !engine->isPreparingOrListening()) {
                return;
            }
            engine->restart();
        });
    });
}

// Changes from the app.

void SpeechEngine::setOptions(const SpeechOptions& options) {
    const SpeechOptions old = options_;
    const bool sourcesSame =
        old.systemAudio == options.systemAudio && old.microphone == options.microphone;
    const bool deviceSame = old.microphoneDevice == options.microphoneDevice;
    const bool languagesSame = old.automaticLanguages == options.automaticLanguages &&
                               old.chosenLanguages == options.chosenLanguages;
    options_ = options;
    if (echo_) {
        echo_->setEnabled(options.echoCancellation); // live: the next buffers follow it
    }
    if (sourcesSame && deviceSame && languagesSame) {
        return;
    }
    if (machine_.is(Phase::stopping)) {
        return;
    }
    bool restartForMicrophone = false;
    if (sourcesSame && languagesSame && !machine_.is(Phase::failed)) {
        const bool microphoneRuns =
            std::any_of(pipelines_.begin(), pipelines_.end(), [](const Pipeline& pipeline) {
                return pipeline->source() == SpeechSource::microphone;
            });
        if (microphoneRuns) {
            if (const auto microphone = microphone_.lock()) {
                microphone->switchDevice(options.microphoneDevice);
            }
            return;
        }
        if (!machine_.is(Phase::listening) || !options.microphone) {
            return;
        }
        restartForMicrophone = true;
    }
    if (machine_.is(Phase::failed)) {
        // A failed run whose session is still open takes up again with the new options.
        if (session() && machine_.fire(Trigger::restart)) {
            if (!activity_) {
                beginActivity();
            }
            prepare();
        }
        return;
    }
    if (!isPreparingOrListening()) {
        return;
    }
    if (!sourcesSame || restartForMicrophone || (!deviceSame && !languagesSame)) {
        restart();
    } else if (!languagesSame) {
        restartIfLanguagesChange(options, true);
    }
}

void SpeechEngine::interfaceLanguageChanged() {
    recorder_->saveIfOpen();
    if (options_.automaticLanguages && isPreparingOrListening()) {
        restartIfLanguagesChange(options_, false);
    }
}

void SpeechEngine::setSessionsDirectory(const std::filesystem::path& directory) {
    recorder_->setDirectory(directory);
}

void SpeechEngine::shutdown() {
    abandonStart();
    machine_.fire(Trigger::stop); // nothing starts again
    lifecycle_.clear();
    *closing_ = true;
    // Stopping at once still delivers what the recognisers had decided.
    for (const auto& list : {pipelines_, stoppingPipelines_}) {
        for (const auto& pipeline : list) {
            pipeline->stopNow();
        }
    }
    pipelines_.clear();
    stoppingPipelines_.clear();
    ++generation_;
    recorder_->shutdown();
    endActivity();
}

// From the running pipelines and sources.

void SpeechEngine::handle(const TranscriptionPipeline::Event& event, SpeechSource source,
                          std::uint64_t generation) {
    if (generation == generation_) {
        recorder_->handle(event, source);
    }
}

void SpeechEngine::pipelineFailed(const TranscriptionPipeline* pipeline, const std::string& error,
                                  std::uint64_t generation) {
    if (generation != generation_) {
        return;
    }
    const auto found = std::find_if(pipelines_.begin(), pipelines_.end(),
                                    [&](const Pipeline& p) { return p.get() == pipeline; });
    if (found == pipelines_.end()) {
        return;
    }
    const Pipeline failed = *found;
    pipelines_.erase(found);
    failed->stopNow();
    const SpeechSource source = failed->source();
    if (source == SpeechSource::microphone) {
        status_.clearMicrophone();
    }
    recorder_->flushVolatileText({source});
    recorder_->publishLiveText();
    const auto warning = RunProblem::sourceFailed(source, error);
    if (pipelines_.empty()) {
        fail(warning); // the session stays open
    }
    status_.addWarning(warning);
}

// Capture lost while the pipeline keeps running (the sound server went away, say): the source
// says so in the warnings until it records again.
void SpeechEngine::sourceInterrupted(SpeechSource source, const std::optional<std::string>& lost,
                                     std::uint64_t generation) {
    if (generation == generation_) {
        status_.sourceInterrupted(source, lost);
    }
}

void SpeechEngine::deviceChanged(const std::optional<std::string>& deviceName,
                                 const std::optional<std::string>& problem,
                                 std::uint64_t generation) {
    if (generation == generation_) {
        status_.microphoneChanged(deviceName, problem);
    }
}

double SpeechEngine::lowConfidence(const std::optional<std::string>& language) const {
    std::optional<RecognitionLanguage::Engine> engine;
    for (const auto& pipeline : pipelines_) {
        if (pipeline->source() != SpeechSource::microphone) {
            continue;
        }
        for (const auto& candidate : pipeline->languages()) {
            if (!engine || candidate.identifier == language) {
                engine = candidate.engine;
            }
        }
    }
    return RecognitionLanguage::lowConfidence(
        engine.value_or(RecognitionLanguage::Engine::dictation));
}

std::size_t SpeechEngine::backlog() const {
    std::size_t largest = 0;
    for (const auto& pipeline : pipelines_) {
        largest = std::max(largest, pipeline->backlog());
    }
    return largest;
}

} // namespace ambrel
