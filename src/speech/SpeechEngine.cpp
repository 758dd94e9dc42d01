#include "SpeechEngine.h"

#include "core/Log.h"
#include "core/UnicodeText.h"
#include "core/Uuid.h"
#include "locale/L10n.h"

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
    engine->closeOrphanedSessions();
    return engine;
}

SpeechEngine::SpeechEngine(std::filesystem::path sessionsDirectory, SpeechOptions options,
                           core::Scheduler& scheduler, SpeechEngineServices services)
    : scheduler_(scheduler)
    , services_(std::move(services))
    , options_(std::move(options))
    , store_(std::make_shared<core::SessionStore>(std::move(sessionsDirectory)))
    , writer_("org.ambrel.Ambrel.save") {
    if (!services_.background) {
        preparer_ = std::make_unique<core::SerialQueue>("org.ambrel.Ambrel.prepare");
        services_.background = [queue = preparer_.get()](SpeechEngineServices::Work work) {
            queue->async(std::move(work));
        };
    }
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

void SpeechEngine::changeStatus(const std::function<void(TranscriptionStatus&)>& change) {
    TranscriptionStatus next = status_;
    change(next);
    if (next == status_) {
        return;
    }
    status_ = std::move(next);
    if (onStatusChange) {
        onStatusChange(status_);
    }
}

void SpeechEngine::setState(TranscriptionStatus::State state) {
    changeStatus([&](TranscriptionStatus& status) { status.state = std::move(state); });
}

void SpeechEngine::handle(const Event& event, SpeechSource source, std::uint64_t generation) {
    if (generation != generation_) {
        return;
    }
    const core::Instant date = now();
    const bool isFinal = event.kind == Event::Kind::final;
    if (source == SpeechSource::systemAudio && (isFinal || !event.text.empty())) {
        lastSystemSpeech_ = date;
    }
    if (!isFinal) {
        volatileConfidence_[source] = event.confidence;
        if (!event.text.empty()) {
            if (utteranceStart_.try_emplace(source, date).second) {
                core::Log::transcript().debug(
                    fmt::format("Words began: {}", core::rawValue(source)));
            }
            volatileText_[source] = event.text;
        } else {
            volatileText_.erase(source);
            utteranceStart_.erase(source);
        }
    } else {
        utteranceStart_.erase(source);
        std::optional<bool> speakers;
        if (isLikelyEcho(source, event.text, event.confidence, event.language, date, speakers)) {
            core::Log::transcript().notice(fmt::format(
                "Dropped a microphone line as likely echo: confidence {:.2f}, {} characters",
                event.confidence, core::UnicodeText::characterCount(event.text)));
        } else {
            changeStatus(
                [&](TranscriptionStatus& status) { status.detectedLanguage = event.language; });
            if (!event.text.empty()) {
                record(core::TranscriptLine{core::Uuid::random(), event.text,
                                            std::min(event.start, date), source, event.language},
                       date, speakers);
            }
        }
    }
    publishLiveText();
}

bool SpeechEngine::playsOnSpeakers(std::optional<bool>& asked) const {
    if (!asked) {
        asked = services_.echoRoute() == core::PlaybackRoute::speakers;
    }
    return *asked;
}

bool SpeechEngine::isLikelyEcho(SpeechSource source, const std::string& text, double confidence,
                                const std::optional<std::string>& language, core::Instant at,
                                std::optional<bool>& speakers) const {
    if (source != SpeechSource::microphone || !options_.systemAudio ||
        confidence >= lowConfidence(language) || !lastSystemSpeech_ ||
        at - *lastSystemSpeech_ >= likelyEchoSeconds || !playsOnSpeakers(speakers)) {
        return false;
    }
    // Uncertainty alone says nothing: a line in which nobody can hear the speakers is the
    // user's, however unsure the recogniser is of it.
    const auto playing = volatileText_.find(SpeechSource::systemAudio);
    return echoFilter_.resemblesSystemAudio(
        text, playing != volatileText_.end() ? playing->second : std::string(), at,
        likelyEchoSimilarity);
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

void SpeechEngine::record(core::TranscriptLine line, core::Instant date,
                          std::optional<bool>& speakers) {
    if (options_.systemAudio && options_.microphone && playsOnSpeakers(speakers)) {
        const auto decision = echoFilter_.check(line, date);
        if (!decision.removeIDs.empty()) {
            const auto removed = [&](const core::TranscriptLine& candidate) {
                return std::find(decision.removeIDs.begin(), decision.removeIDs.end(),
                                 candidate.id) != decision.removeIDs.end();
            };
            if (session_) {
                std::erase_if(session_->lines, removed);
            }
            std::erase_if(recentFinals_, removed);
            if (session_) {
                sessionChanged(date);
            }
            core::Log::transcript().notice(
                fmt::format("Removed {} microphone line(s) repeating system audio (echo)",
                            decision.removeIDs.size()));
        }
        if (!decision.keep) {
            core::Log::transcript().notice(
                fmt::format("Dropped a microphone line repeating system audio (echo): {} "
                            "characters",
                            core::UnicodeText::characterCount(line.text)));
            return;
        }
    }
    if (!session_) {
        materializeSession(listenStartedAt_.value_or(line.start));
    }
    auto& lines = session_->lines;
    auto position = lines.end();
    while (position != lines.begin() && std::prev(position)->start > line.start) {
        --position;
    }
    lines.insert(position, line);
    core::Log::transcript().debug(fmt::format("Recorded a line: {}, {} characters",
                                              core::rawValue(line.source),
                                              core::UnicodeText::characterCount(line.text)));
    recentFinals_.push_back(std::move(line));
    if (recentFinals_.size() > 2) {
        recentFinals_.erase(recentFinals_.begin());
    }
    sessionChanged(date);
}

void SpeechEngine::flushVolatileText(const std::vector<SpeechSource>& sources) {
    const core::Instant date = now();
    for (const auto source : sources) {
        const auto text = volatileText_.find(source);
        if (text != volatileText_.end() && !text->second.empty()) {
            // Words without a confidence count as uncertain ones.
            const auto confidence = volatileConfidence_.find(source);
            std::optional<bool> speakers;
            if (!isLikelyEcho(source, text->second,
                              confidence != volatileConfidence_.end() ? confidence->second : 0.0,
                              status_.detectedLanguage, date, speakers)) {
                const auto start = utteranceStart_.find(source);
                record(core::TranscriptLine{core::Uuid::random(), text->second,
                                            start != utteranceStart_.end() ? start->second : date,
                                            source, status_.detectedLanguage},
                       date, speakers);
            }
        }
        volatileText_.erase(source);
        volatileConfidence_.erase(source);
        utteranceStart_.erase(source);
    }
}

void SpeechEngine::addMarker(core::MarkerKind kind) {
    if (!session_) {
        return;
    }
    const core::Instant date = now();
    session_->markers.push_back(core::Marker{kind, date});
    sessionChanged(date);
}

void SpeechEngine::materializeSession(core::Instant startedAt) {
    const std::string id = store_->makeSessionID(startedAt);
    session_ =
        core::SessionRecord(id, startedAt, {}, {}, std::nullopt, startedAt, services_.appVersion);
    changeStatus([&](TranscriptionStatus& status) { status.currentSessionID = id; });
    changeStatus([&](TranscriptionStatus& status) { status.currentSessionStartedAt = startedAt; });
}

void SpeechEngine::sessionChanged(core::Instant date) {
    if (!session_) {
        return;
    }
    session_->lastUpdated = date;
    std::vector<std::string> languages;
    for (const auto& line : session_->lines) {
        if (line.language &&
            std::find(languages.begin(), languages.end(), *line.language) == languages.end()) {
            languages.push_back(*line.language);
        }
    }
    session_->languages = std::move(languages);
    const auto count = static_cast<std::int64_t>(session_->lines.size());
    changeStatus([&](TranscriptionStatus& status) { status.currentLineCount = count; });
    throttle_.noteChange(date);
    scheduleSave();
    scheduleSessionUpdate();
}

void SpeechEngine::publishLiveText() {
    LiveTranscriptText live;
    live.showsSpeakers = options_.systemAudio && options_.microphone;
    for (const auto& line : recentFinals_) {
        live.lines.push_back({line.source, line.text, true});
    }
    for (const auto source : {SpeechSource::systemAudio, SpeechSource::microphone}) {
        const auto text = volatileText_.find(source);
        if (text != volatileText_.end() && !text->second.empty()) {
            live.lines.push_back({source, text->second, false});
        }
    }
    if (live.lines.size() > 3) {
        live.lines.erase(live.lines.begin(), live.lines.end() - 3);
    }
    if (onLiveText) {
        onLiveText(live);
    }
}

void SpeechEngine::scheduleSave() {
    const auto due = throttle_.dueDate();
    if (!due) {
        return;
    }
    saveTimer_.reset();
    saveTimer_ = scheduler_.after(std::max(0.0, *due - now()), [weak = weak_from_this()] {
        if (const auto engine = weak.lock()) {
            engine->saveNow();
        }
    });
}

void SpeechEngine::saveNow() {
    saveTimer_.reset();
    throttle_.noteWrite(now());
    if (session_) {
        write(*session_);
    }
}

void SpeechEngine::write(core::SessionRecord record) {
    writer_.async([record = std::move(record), labels = L10n::transcriptLabels(), store = store_,
                   weak = weak_from_this(), &scheduler = scheduler_]() mutable {
        std::optional<std::string> message;
        try {
            store->save(record, labels);
        } catch (const std::exception& error) {
            message = error.what();
        }
        std::optional<core::SessionRecord> unsaved;
        if (message && record.endedAt) {
            unsaved = std::move(record);
        }
        scheduler.post([weak, message, unsaved = std::move(unsaved)]() mutable {
            if (const auto engine = weak.lock()) {
                engine->changeStatus(
                    [&](TranscriptionStatus& status) { status.lastSaveError = message; });
                if (unsaved) {
                    engine->keepUnsaved(std::move(*unsaved));
                }
            }
        });
    });
}

void SpeechEngine::keepUnsaved(core::SessionRecord record) {
    if (*closing_) {
        return; // shut down: the next start closes what is on disk
    }
    const std::string id = record.id;
    unsaved_.insert_or_assign(id, std::move(record));
    if (!unsavedTimer_) {
        unsavedTimer_ = scheduler_.after(unsavedRetryInterval, [weak = weak_from_this()] {
            if (const auto engine = weak.lock()) {
                engine->retryUnsaved();
            }
        });
    }
}

void SpeechEngine::retryUnsaved() {
    unsavedTimer_.reset();
    for (auto& [id, record] : std::exchange(unsaved_, {})) {
        write(std::move(record));
    }
}

void SpeechEngine::scheduleSessionUpdate() {
    if (updateTimer_) {
        return;
    }
    updateTimer_ = scheduler_.after(updateLimiter_.delay(now()), [weak = weak_from_this()] {
        const auto engine = weak.lock();
        if (!engine) {
            return;
        }
        engine->updateTimer_.reset();
        engine->updateLimiter_.noteDelivery(engine->now());
        if (engine->session_ && engine->onSessionUpdated) {
            engine->onSessionUpdated(*engine->session_);
        }
    });
}

std::size_t SpeechEngine::backlog() const {
    std::size_t largest = 0;
    for (const auto& pipeline : pipelines_) {
        largest = std::max(largest, pipeline->backlog());
    }
    return largest;
}

} // namespace ambrel
