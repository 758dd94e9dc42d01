// The speech engine's runs: starting, pausing, restarting and stopping pipelines, option and
// folder changes, and closing sessions.

#include "SpeechEngine.h"
#include "audio/MicrophoneSource.h"
#include "core/Log.h"
#include "locale/L10n.h"

#include <fmt/format.h>

#include <algorithm>
#include <utility>

namespace ambrel {

using core::SpeechSource;

namespace {

// Runs `work` on the scheduler's thread if the engine still exists by then. Used from worker
// threads, so it must not touch the engine before that.
void postTo(core::Scheduler& scheduler, std::weak_ptr<SpeechEngine> weak,
            std::function<void(SpeechEngine&)> work) {
    scheduler.post([weak = std::move(weak), work = std::move(work)] {
        if (const auto engine = weak.lock()) {
            work(*engine);
        }
    });
}

std::optional<std::string> joinWarnings(const std::vector<std::string>& parts) {
    if (parts.empty()) {
        return std::nullopt;
    }
    return fmt::format("{}", fmt::join(parts, "; "));
}

} // namespace

struct SpeechEngine::Launch {
    std::uint64_t token = 0;
    std::uint64_t generation = 0;
    std::vector<SpeechSource> sources;
    std::vector<RecognitionLanguage> languages;
    std::vector<std::string> warnings;
    std::size_t next = 0;
};

void SpeechEngine::post(std::function<void(SpeechEngine&)> work) {
    postTo(scheduler_, weak_from_this(), std::move(work));
}

void SpeechEngine::inBackground(std::function<void()> work) {
    services_.background(std::move(work));
}

bool SpeechEngine::isPreparingOrListening() const {
    return status_.is<TranscriptionStatus::Preparing>() ||
           status_.is<TranscriptionStatus::Listening>();
}

void SpeechEngine::beginActivity() {
    // Nothing on this platform throttles a background process that records; this is where it
    // would be asked not to.
    activity_ = true;
}

void SpeechEngine::endActivity() {
    activity_ = false;
}

void SpeechEngine::setWarnings(std::vector<std::string> warnings) {
    warnings_ = std::move(warnings);
    changeStatus([&](TranscriptionStatus& status) { status.warning = joinWarnings(warnings_); });
}

void SpeechEngine::addWarning(const std::string& warning) {
    auto warnings = warnings_;
    std::erase(warnings, warning);
    warnings.push_back(warning);
    setWarnings(std::move(warnings));
}

void SpeechEngine::removeWarning(const std::string& warning) {
    auto warnings = warnings_;
    std::erase(warnings, warning);
    setWarnings(std::move(warnings));
}

// Lifecycle work runs one item at a time, each started as a task of its own once the one
// before has reported that it is done.
void SpeechEngine::enqueue(LifecycleWork work) {
    lifecycle_.push_back(std::move(work));
    if (!lifecycleRunning_) {
        lifecycleRunning_ = true;
        post([](SpeechEngine& engine) { engine.runNextLifecycleWork(); });
    }
}

void SpeechEngine::runNextLifecycleWork() {
    if (lifecycle_.empty()) {
        lifecycleRunning_ = false;
        return;
    }
    auto work = std::move(lifecycle_.front());
    lifecycle_.pop_front();
    auto finished = std::make_shared<bool>(false);
    work(*this, [weak = weak_from_this(), finished] {
        if (std::exchange(*finished, true)) {
            return;
        }
        if (const auto engine = weak.lock()) {
            engine->post([](SpeechEngine& engine) { engine.runNextLifecycleWork(); });
        }
    });
}

void SpeechEngine::startPipelines() {
    const auto token = ++startToken_;
    setState(TranscriptionStatus::Preparing{});
    post([token](SpeechEngine& engine) { engine.prepareStart(token); });
}

void SpeechEngine::startListening() {
    if (!status_.is<TranscriptionStatus::Idle>() && !status_.is<TranscriptionStatus::Failed>()) {
        return;
    }
    endSession();
    listenStartedAt_ = now();
    session_.reset();
    echoFilter_ = core::EchoFilter(echoWindow, echoThreshold);
    recentFinals_.clear();
    changeStatus([](TranscriptionStatus& status) { status.currentSessionID.reset(); });
    changeStatus([](TranscriptionStatus& status) { status.currentSessionStartedAt.reset(); });
    changeStatus([](TranscriptionStatus& status) { status.currentLineCount = 0; });
    setWarnings({});
    if (!activity_) {
        beginActivity();
    }
    startPipelines();
}

void SpeechEngine::prepareStart(std::uint64_t token) {
    if (!isCurrent(token)) {
        return;
    }
    if (!options_.systemAudio && !options_.microphone) {
        setState(TranscriptionStatus::Failed{L10n::text(Texts::errorNoAudioSource)});
        endActivity();
        return;
    }
    inBackground([resolve = services_.languages, asked = options_, token, weak = weak_from_this(),
                  &scheduler = scheduler_] {
        LanguageChoice choice;
        try {
            choice = resolve(asked);
        } catch (const std::exception& error) {
            core::Log::transcript().error(
                fmt::format("Couldn’t resolve the recognition languages: {}", error.what()));
        }
        postTo(scheduler, weak, [token, asked, choice](SpeechEngine& engine) mutable {
            engine.languagesResolved(token, asked, std::move(choice));
        });
    });
}

void SpeechEngine::languagesResolved(std::uint64_t token, const SpeechOptions& asked,
                                     LanguageChoice choice) {
    if (!isCurrent(token)) {
        return;
    }
    if (options_.automaticLanguages != asked.automaticLanguages ||
        options_.chosenLanguages != asked.chosenLanguages) {
        prepareStart(token);
        return;
    }
    languageWarnings_.clear();
    for (const auto& identifier : choice.unavailable) {
        const std::string name = L10n::displayName(identifier);
        languageWarnings_.push_back(
            choice.listProblem
                ? L10n::format(Texts::warningLanguageOffline, {name, *choice.listProblem})
                : L10n::format(Texts::warningLanguageUnavailable, {name}));
        core::Log::transcript().notice(
            fmt::format("No speech model for {}: not installed, not downloadable{}", identifier,
                        choice.listProblem ? " (" + *choice.listProblem + ")" : std::string()));
    }
    auto languages = std::move(choice.languages);
    const auto ids = RecognitionLanguage::identifiers(languages);
    changeStatus([&](TranscriptionStatus& status) { status.languages = ids; });
    changeStatus([&](TranscriptionStatus& status) {
        if (!status.detectedLanguage ||
            std::find(ids.begin(), ids.end(), *status.detectedLanguage) == ids.end()) {
            status.detectedLanguage =
                ids.size() == 1 ? std::optional<std::string>(ids.front()) : std::nullopt;
        }
    });
    if (languages.empty()) {
        // Without a single recogniser the run would listen and never write anything.
        setState(TranscriptionStatus::Failed{L10n::text(Texts::errorNoSpeechModel)});
        endActivity();
        return;
    }
    inBackground([install = services_.ensureInstalled, languages, token, closing = closing_,
                  weak = weak_from_this(), &scheduler = scheduler_] {
        std::optional<std::string> failure;
        try {
            install(
                languages,
                [&scheduler, weak, token](double progress) {
                    postTo(scheduler, weak, [token, progress](SpeechEngine& engine) {
                        if (engine.isCurrent(token)) {
                            engine.setState(TranscriptionStatus::Preparing{progress});
                        }
                    });
                },
                *closing);
        } catch (const std::exception& error) {
            failure = error.what();
        }
        postTo(scheduler, weak, [token, languages, failure](SpeechEngine& engine) mutable {
            engine.modelsInstalled(token, std::move(languages), failure);
        });
    });
}

void SpeechEngine::modelsInstalled(std::uint64_t token, std::vector<RecognitionLanguage> languages,
                                   const std::optional<std::string>& failure) {
    if (!isCurrent(token)) {
        return;
    }
    if (failure) {
        setState(TranscriptionStatus::Failed{L10n::format(Texts::errorModelDownload, {*failure})});
        endActivity();
        return;
    }
    std::vector<SpeechSource> sources;
    if (options_.systemAudio) {
        sources.push_back(SpeechSource::systemAudio);
    }
    if (!options_.microphone) {
        permissionKnown(token, std::move(languages), std::move(sources), {});
        return;
    }
    inBackground([allowed = services_.microphoneAllowed, token, languages, sources,
                  weak = weak_from_this(), &scheduler = scheduler_]() mutable {
        bool microphoneAllowed = false;
        try {
            microphoneAllowed = allowed();
        } catch (const std::exception& error) {
            core::Log::audio().error(
                fmt::format("Couldn’t check the microphone permission: {}", error.what()));
        }
        postTo(scheduler, weak,
               [token, languages = std::move(languages), sources = std::move(sources),
                microphoneAllowed](SpeechEngine& engine) mutable {
                   std::vector<std::string> warnings;
                   if (microphoneAllowed) {
                       sources.push_back(SpeechSource::microphone);
                   } else {
                       warnings.push_back(L10n::text(Texts::warningMicrophoneDenied));
                   }
                   engine.permissionKnown(token, std::move(languages), std::move(sources),
                                          std::move(warnings));
               });
    });
}

void SpeechEngine::permissionKnown(std::uint64_t token, std::vector<RecognitionLanguage> languages,
                                   std::vector<SpeechSource> sources,
                                   std::vector<std::string> warnings) {
    if (!isCurrent(token)) {
        return;
    }
    auto launch = std::make_shared<Launch>();
    launch->token = token;
    launch->sources = std::move(sources);
    launch->languages = std::move(languages);
    launch->warnings = std::move(warnings);
    enqueue([launch](SpeechEngine& engine, std::function<void()> done) {
        engine.launchPipelines(launch, std::move(done));
    });
}

void SpeechEngine::launchPipelines(std::shared_ptr<Launch> launch, std::function<void()> done) {
    if (!isCurrent(launch->token)) {
        done();
        return;
    }
    launch->generation = ++generation_;
    interruptions_.clear();
    launchNext(std::move(launch), std::move(done));
}

void SpeechEngine::launchNext(std::shared_ptr<Launch> launch, std::function<void()> done) {
    if (launch->next == launch->sources.size()) {
        finishLaunch(*launch);
        done();
        return;
    }
    const SpeechSource source = launch->sources[launch->next++];
    const std::uint64_t g = launch->generation;
    const std::weak_ptr<SpeechEngine> weak = weak_from_this();
    Pipeline pipeline;
    try {
        auto audio = services_.makeAudio(source, options_.microphoneDevice);
        if (auto microphone = std::dynamic_pointer_cast<MicrophoneSource>(audio)) {
            microphone->onDeviceChange = [weak, g](const std::optional<std::string>& name,
                                                   const std::optional<std::string>& problem) {
                if (const auto engine = weak.lock()) {
                    engine->deviceChanged(name, problem, g);
                }
            };
            microphone_ = microphone;
        }
        pipeline = services_.makePipeline(source, std::move(audio), launch->languages);
    } catch (const std::exception& error) {
        launch->warnings.push_back(L10n::warningSourceFailed(source, error.what()));
        launchNext(std::move(launch), std::move(done));
        return;
    }
    const std::weak_ptr<TranscriptionPipeline> weakPipeline = pipeline;
    TranscriptionPipeline::Handlers handlers;
    handlers.onEvent = [weak, weakPipeline, source, g](const Event& event) {
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
            launch->warnings.push_back(L10n::warningSourceFailed(source, *failure));
        } else {
            engine->pipelines_.push_back(std::move(pipeline));
        }
        if (!engine->isCurrent(launch->token)) {
            engine->stopPipelines(false, std::move(done));
            return;
        }
        engine->launchNext(std::move(launch), std::move(done));
    });
}

void SpeechEngine::finishLaunch(const Launch& launch) {
    auto warnings = launch.warnings;
    warnings.insert(warnings.end(), languageWarnings_.begin(), languageWarnings_.end());
    setWarnings(std::move(warnings));
    if (!pipelines_.empty()) {
        setState(TranscriptionStatus::Listening{});
    } else {
        if (!status_.is<TranscriptionStatus::Failed>()) {
            setState(TranscriptionStatus::Failed{launch.warnings.empty()
                                                     ? L10n::text(Texts::errorNoAudioSource)
                                                     : launch.warnings.front()});
        }
        endActivity();
    }
    publishLiveText();
}

void SpeechEngine::deviceChanged(const std::optional<std::string>& deviceName,
                                 const std::optional<std::string>& problem,
                                 std::uint64_t generation) {
    if (generation != generation_) {
        return;
    }
    changeStatus([&](TranscriptionStatus& status) { status.microphoneDevice = deviceName; });
    changeStatus([&](TranscriptionStatus& status) {
        if (deviceName) {
            status.microphoneProblem.reset();
        } else if (problem) {
            status.microphoneProblem = TranscriptionStatus::MicrophoneFailed{*problem};
        } else {
            status.microphoneProblem = TranscriptionStatus::MicrophoneNotConnected{};
        }
    });
}

void SpeechEngine::stopPipelines(bool thenEndSession, std::function<void()> done) {
    std::vector<Pipeline> stopping = std::move(pipelines_);
    pipelines_.clear();
    stoppingPipelines_.insert(stoppingPipelines_.end(), stopping.begin(), stopping.end());
    if (stopping.empty()) {
        finishStoppingPipelines(thenEndSession);
        done();
        return;
    }
    auto remaining = std::make_shared<std::size_t>(stopping.size());
    auto finished = [weak = weak_from_this(), remaining, thenEndSession, done = std::move(done)] {
        if (--*remaining > 0) {
            return;
        }
        if (const auto engine = weak.lock()) {
            engine->finishStoppingPipelines(thenEndSession);
        }
        done();
    };
    for (const auto& pipeline : stopping) {
        pipeline->stop(stopTimeout, finished);
    }
}

void SpeechEngine::finishStoppingPipelines(bool thenEndSession) {
    stoppingPipelines_.clear();
    ++generation_;
    changeStatus([](TranscriptionStatus& status) { status.microphoneDevice.reset(); });
    changeStatus([](TranscriptionStatus& status) { status.microphoneProblem.reset(); });
    flushVolatileText({SpeechSource::systemAudio, SpeechSource::microphone});
    publishLiveText();
    if (!thenEndSession) {
        return;
    }
    isEnding_ = false;
    endSession();
    setWarnings({});
    setState(TranscriptionStatus::Idle{});
    endActivity();
    if (onLiveText) {
        onLiveText(LiveTranscriptText{});
    }
}

void SpeechEngine::stopListening() {
    if (status_.is<TranscriptionStatus::Failed>()) {
        endSession();
        setWarnings({}); // "Transcription off" with the failed run's warnings would mislead
        setState(TranscriptionStatus::Idle{});
        return;
    }
    if (status_.is<TranscriptionStatus::Idle>() || isEnding_) {
        return;
    }
    isEnding_ = true;
    ++startToken_;
    enqueue([](SpeechEngine& engine, std::function<void()> done) {
        engine.stopPipelines(true, std::move(done));
    });
}

void SpeechEngine::setPaused(bool paused) {
    if (isEnding_) {
        return;
    }
    if (paused) {
        if (!isPreparingOrListening()) {
            return;
        }
        addMarker(core::MarkerKind::paused);
        setState(TranscriptionStatus::Paused{});
        ++startToken_;
        enqueue([](SpeechEngine& engine, std::function<void()> done) {
            engine.stopPipelines(false, std::move(done));
        });
        return;
    }
    if (!status_.is<TranscriptionStatus::Paused>()) {
        return;
    }
    addMarker(core::MarkerKind::resumed);
    startPipelines();
}

void SpeechEngine::restartPipelines() {
    enqueue([](SpeechEngine& engine, std::function<void()> done) {
        engine.stopPipelines(false, [weak = engine.weak_from_this(), done = std::move(done)] {
            const auto engine = weak.lock();
            if (engine && !engine->isEnding_ && !engine->status_.is<TranscriptionStatus::Idle>() &&
                !engine->status_.is<TranscriptionStatus::Paused>()) {
                engine->startPipelines();
            }
            done();
        });
    });
}

void SpeechEngine::restartIfLanguagesChange(const SpeechOptions& options,
                                            bool needsOptionsUnchanged) {
    inBackground([resolve = services_.languages, options, needsOptionsUnchanged,
                  weak = weak_from_this(), &scheduler = scheduler_] {
        std::vector<std::string> ids;
        try {
            ids = RecognitionLanguage::identifiers(resolve(options).languages);
        } catch (const std::exception&) {
            return; // the running languages stay
        }
        postTo(scheduler, weak, [options, needsOptionsUnchanged, ids](SpeechEngine& engine) {
            if ((needsOptionsUnchanged && engine.options_ != options) ||
                ids == engine.status_.languages || !engine.isPreparingOrListening() ||
                engine.isEnding_) {
                return;
            }
            ++engine.startToken_;
            engine.restartPipelines();
        });
    });
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
        changeStatus([](TranscriptionStatus& status) { status.microphoneDevice.reset(); });
        changeStatus([](TranscriptionStatus& status) { status.microphoneProblem.reset(); });
    }
    flushVolatileText({source});
    publishLiveText();
    const std::string warning = L10n::warningSourceFailed(source, error);
    if (pipelines_.empty()) {
        setState(TranscriptionStatus::Failed{warning});
        endActivity();
    }
    addWarning(warning);
}

// Capture lost while the pipeline keeps running (the sound server went away, say): the source
// says so in the warnings until it records again.
void SpeechEngine::sourceInterrupted(SpeechSource source, const std::optional<std::string>& lost,
                                     std::uint64_t generation) {
    if (generation != generation_) {
        return;
    }
    const auto shown = interruptions_.find(source);
    if (shown != interruptions_.end()) {
        removeWarning(shown->second);
        interruptions_.erase(shown);
    }
    if (lost) {
        const std::string warning = L10n::warningSourceFailed(source, *lost);
        interruptions_[source] = warning;
        addWarning(warning);
    }
}

void SpeechEngine::setOptions(const SpeechOptions& options) {
    const SpeechOptions old = options_;
    const bool sourcesSame =
        old.systemAudio == options.systemAudio && old.microphone == options.microphone;
    const bool deviceSame = old.microphoneDevice == options.microphoneDevice;
    const bool languagesSame = old.automaticLanguages == options.automaticLanguages &&
                               old.chosenLanguages == options.chosenLanguages;
    if (sourcesSame && deviceSame && languagesSame) {
        return;
    }
    options_ = options;
    if (isEnding_) {
        return;
    }
    bool restartForMicrophone = false;
    if (sourcesSame && languagesSame && !status_.is<TranscriptionStatus::Failed>()) {
        const bool microphoneRuns =
            std::any_of(pipelines_.begin(), pipelines_.end(), [](const Pipeline& pipeline) {
                return pipeline->source() == SpeechSource::microphone;
            });
        if (microphoneRuns) {
            if (const auto microphone = microphone_.lock()) {
                microphone->setSelection(options.microphoneDevice);
                microphone->clearFailure();
                microphone->updateQuietly();
            }
            return;
        }
        if (!status_.is<TranscriptionStatus::Listening>() || !options.microphone) {
            return;
        }
        restartForMicrophone = true;
    }
    if (status_.is<TranscriptionStatus::Failed>()) {
        if (session_) {
            if (!activity_) {
                beginActivity();
            }
            startPipelines();
        }
        return;
    }
    if (!isPreparingOrListening()) {
        return;
    }
    if (!sourcesSame || restartForMicrophone || (!deviceSame && !languagesSame)) {
        ++startToken_;
        restartPipelines();
    } else if (!languagesSame) {
        restartIfLanguagesChange(options, true);
    }
}

void SpeechEngine::interfaceLanguageChanged() {
    if (session_) {
        saveNow();
    }
    if (options_.automaticLanguages && isPreparingOrListening() && !isEnding_) {
        restartIfLanguagesChange(options_, false);
    }
}

void SpeechEngine::setSessionsDirectory(const std::filesystem::path& directory) {
    const auto previous = store_;
    store_ = std::make_shared<core::SessionStore>(directory);
    if (!session_) {
        closeOrphanedSessions();
        return;
    }
    std::error_code error;
    if (std::filesystem::equivalent(previous->directory(), directory, error)) {
        saveNow();
        return;
    }
    // The open session moves along; it must not overwrite a session of the same name there.
    const std::string previousID = session_->id;
    if (std::filesystem::exists(store_->jsonURL(session_->id), error) ||
        std::filesystem::exists(store_->markdownURL(session_->id), error)) {
        session_->id = store_->makeSessionID(session_->startedAt);
        changeStatus([&](TranscriptionStatus& status) { status.currentSessionID = session_->id; });
    }
    saveNow();
    // Once it is written there, the copy it left in the old folder goes: it would stay there as
    // an unfinished duplicate.
    writer_.async([previous, store = store_, previousID, id = session_->id] {
        std::error_code ignored;
        if (std::filesystem::exists(store->jsonURL(id), ignored)) {
            std::filesystem::remove(previous->jsonURL(previousID), ignored);
            std::filesystem::remove(previous->markdownURL(previousID), ignored);
        }
    });
}

void SpeechEngine::endSession() {
    if (session_) {
        const core::Instant date = now();
        session_->endedAt = date;
        session_->lastUpdated = date;
        saveNow();
        if (onSessionUpdated) {
            onSessionUpdated(*session_);
        }
    }
    session_.reset();
    listenStartedAt_.reset();
    changeStatus([](TranscriptionStatus& status) { status.currentSessionID.reset(); });
    changeStatus([](TranscriptionStatus& status) { status.currentSessionStartedAt.reset(); });
    changeStatus([](TranscriptionStatus& status) { status.currentLineCount = 0; });
}

void SpeechEngine::closeOrphanedSessions() {
    writer_.async([store = store_, labels = L10n::transcriptLabels()] {
        for (const auto& summary : store->listSessions()) {
            if (summary.endedAt) {
                continue;
            }
            try {
                auto record = store->load(summary.id);
                record.endedAt = record.lastUpdated;
                store->save(record, labels);
            } catch (const std::exception&) {
                // Left as it is; the history still shows it.
            }
        }
    });
}

void SpeechEngine::shutdown() {
    ++startToken_;
    isEnding_ = true; // nothing starts again
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
    flushVolatileText({SpeechSource::systemAudio, SpeechSource::microphone});
    std::vector<core::SessionRecord> records;
    for (auto& [id, record] : std::exchange(unsaved_, {})) {
        records.push_back(std::move(record));
    }
    if (session_) {
        auto record = std::move(*session_);
        session_.reset();
        record.endedAt = now();
        record.lastUpdated = *record.endedAt;
        records.push_back(std::move(record));
    }
    writer_.sync([&, labels = L10n::transcriptLabels()] {
        for (const auto& record : records) {
            try {
                store_->save(record, labels);
            } catch (const std::exception& error) {
                core::Log::transcript().error(
                    fmt::format("Couldn’t save the session at exit: {}", error.what()));
            }
        }
    });
    saveTimer_.reset();
    updateTimer_.reset();
    unsavedTimer_.reset();
    endActivity();
}

} // namespace ambrel
