#include "SessionRecorder.h"

#include "core/Log.h"
#include "core/UnicodeText.h"
#include "core/Uuid.h"

#include <fmt/format.h>

#include <algorithm>
#include <utility>

namespace ambrel {

using core::SpeechSource;

std::shared_ptr<SessionRecorder> SessionRecorder::create(std::filesystem::path directory,
                                                         Context context) {
    return std::shared_ptr<SessionRecorder>(
        new SessionRecorder(std::move(directory), std::move(context)));
}

SessionRecorder::SessionRecorder(std::filesystem::path directory, Context context)
    : context_(std::move(context))
    , store_(std::make_shared<core::SessionStore>(std::move(directory)))
    , writer_("org.ambrel.Ambrel.save") {}

SessionRecorder::~SessionRecorder() {
    *closing_ = true;
}

void SessionRecorder::beginListening() {
    listenStartedAt_ = now();
    session_.reset();
    echoFilter_ = core::EchoFilter(echoWindow, echoThreshold);
    recentFinals_.clear();
    auto& status = context_.status;
    status.change([](TranscriptionStatus& s) { s.currentSessionID.reset(); });
    status.change([](TranscriptionStatus& s) { s.currentSessionStartedAt.reset(); });
    status.change([](TranscriptionStatus& s) { s.currentLineCount = 0; });
}

void SessionRecorder::handle(const TranscriptionPipeline::Event& event, SpeechSource source) {
    using Event = TranscriptionPipeline::Event;
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
            context_.status.change(
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

bool SessionRecorder::playsOnSpeakers(std::optional<bool>& asked) const {
    if (!asked) {
        asked = context_.echoRoute() == core::PlaybackRoute::speakers;
    }
    return *asked;
}

bool SessionRecorder::isLikelyEcho(SpeechSource source, const std::string& text, double confidence,
                                   const std::optional<std::string>& language, core::Instant at,
                                   std::optional<bool>& speakers) const {
    if (source != SpeechSource::microphone || !context_.options().systemAudio ||
        confidence >= context_.lowConfidence(language) || !lastSystemSpeech_ ||
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

void SessionRecorder::record(core::TranscriptLine line, core::Instant date,
                             std::optional<bool>& speakers) {
    const auto& options = context_.options();
    if (options.systemAudio && options.microphone && playsOnSpeakers(speakers)) {
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

void SessionRecorder::flushVolatileText(const std::vector<SpeechSource>& sources) {
    const core::Instant date = now();
    for (const auto source : sources) {
        const auto text = volatileText_.find(source);
        if (text != volatileText_.end() && !text->second.empty()) {
            // Words without a confidence count as uncertain ones.
            const auto confidence = volatileConfidence_.find(source);
            std::optional<bool> speakers;
            const auto& language = context_.status.current().detectedLanguage;
            if (!isLikelyEcho(source, text->second,
                              confidence != volatileConfidence_.end() ? confidence->second : 0.0,
                              language, date, speakers)) {
                const auto start = utteranceStart_.find(source);
                record(core::TranscriptLine{core::Uuid::random(), text->second,
                                            start != utteranceStart_.end() ? start->second : date,
                                            source, language},
                       date, speakers);
            }
        }
        volatileText_.erase(source);
        volatileConfidence_.erase(source);
        utteranceStart_.erase(source);
    }
}

void SessionRecorder::addMarker(core::MarkerKind kind) {
    if (!session_) {
        return;
    }
    const core::Instant date = now();
    session_->markers.push_back(core::Marker{kind, date});
    sessionChanged(date);
}

void SessionRecorder::materializeSession(core::Instant startedAt) {
    const std::string id = store_->makeSessionID(startedAt);
    session_ =
        core::SessionRecord(id, startedAt, {}, {}, std::nullopt, startedAt, context_.appVersion);
    context_.status.change([&](TranscriptionStatus& status) { status.currentSessionID = id; });
    context_.status.change(
        [&](TranscriptionStatus& status) { status.currentSessionStartedAt = startedAt; });
}

void SessionRecorder::sessionChanged(core::Instant date) {
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
    context_.status.change([&](TranscriptionStatus& status) { status.currentLineCount = count; });
    throttle_.noteChange(date);
    scheduleSave();
    scheduleSessionUpdate();
}

void SessionRecorder::publishLiveText() {
    LiveTranscriptText live;
    const auto& options = context_.options();
    live.showsSpeakers = options.systemAudio && options.microphone;
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

void SessionRecorder::publishNothing() {
    if (onLiveText) {
        onLiveText(LiveTranscriptText{});
    }
}

void SessionRecorder::scheduleSave() {
    const auto due = throttle_.dueDate();
    if (!due) {
        return;
    }
    saveTimer_.reset();
    saveTimer_ = context_.scheduler.after(std::max(0.0, *due - now()), [weak = weak_from_this()] {
        if (const auto recorder = weak.lock()) {
            recorder->saveNow();
        }
    });
}

void SessionRecorder::saveNow() {
    saveTimer_.reset();
    throttle_.noteWrite(now());
    if (session_) {
        write(*session_);
    }
}

void SessionRecorder::saveIfOpen() {
    if (session_) {
        saveNow();
    }
}

void SessionRecorder::write(core::SessionRecord record) {
    writer_.async([record = std::move(record), labels = context_.labels(), store = store_,
                   weak = weak_from_this(), &scheduler = context_.scheduler]() mutable {
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
            if (const auto recorder = weak.lock()) {
                recorder->context_.status.change(
                    [&](TranscriptionStatus& status) { status.lastSaveError = message; });
                if (unsaved) {
                    recorder->keepUnsaved(std::move(*unsaved));
                }
            }
        });
    });
}

void SessionRecorder::keepUnsaved(core::SessionRecord record) {
    if (*closing_) {
        return; // shut down: the next start closes what is on disk
    }
    const std::string id = record.id;
    unsaved_.insert_or_assign(id, std::move(record));
    if (!unsavedTimer_) {
        unsavedTimer_ = context_.scheduler.after(unsavedRetryInterval, [weak = weak_from_this()] {
            if (const auto recorder = weak.lock()) {
                recorder->retryUnsaved();
            }
        });
    }
}

void SessionRecorder::retryUnsaved() {
    unsavedTimer_.reset();
    for (auto& [id, record] : std::exchange(unsaved_, {})) {
        write(std::move(record));
    }
}

void SessionRecorder::scheduleSessionUpdate() {
    if (updateTimer_) {
        return;
    }
    updateTimer_ = context_.scheduler.after(updateLimiter_.delay(now()), [weak = weak_from_this()] {
        const auto recorder = weak.lock();
        if (!recorder) {
            return;
        }
        recorder->updateTimer_.reset();
        recorder->updateLimiter_.noteDelivery(recorder->now());
        if (recorder->session_ && recorder->onSessionUpdated) {
            recorder->onSessionUpdated(*recorder->session_);
        }
    });
}

void SessionRecorder::endSession() {
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
    auto& status = context_.status;
    status.change([](TranscriptionStatus& s) { s.currentSessionID.reset(); });
    status.change([](TranscriptionStatus& s) { s.currentSessionStartedAt.reset(); });
    status.change([](TranscriptionStatus& s) { s.currentLineCount = 0; });
}

void SessionRecorder::setDirectory(const std::filesystem::path& directory) {
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
        context_.status.change(
            [&](TranscriptionStatus& status) { status.currentSessionID = session_->id; });
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

void SessionRecorder::closeOrphanedSessions() {
    writer_.async([store = store_, labels = context_.labels()] {
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

void SessionRecorder::shutdown() {
    *closing_ = true;
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
    writer_.sync([&, labels = context_.labels()] {
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
}

} // namespace ambrel
