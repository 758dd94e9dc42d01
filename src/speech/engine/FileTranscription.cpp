#include "FileTranscription.h"

#include <chrono>

namespace ambrel {

namespace {

constexpr double chunkSeconds = 0.1;
// Real seconds without any sign of life from the engine's threads before the run's clock is
// moved on, so that a recogniser that never finishes meets its stop timeout.
constexpr double stallSeconds = 30;

} // namespace

FileTranscription::FileTranscription(Request request, std::shared_ptr<SpeechModel> model,
                                     std::string appVersion, core::Instant startedAt)
    : scheduler_(startedAt)
    , audio_(std::make_shared<WavFileSource>(request.file, chunkSeconds)) {
    auto services = SpeechEngineServices::recognition(scheduler_, std::move(model));
    services.microphoneAllowed = [] { return true; };
    // A file has no speakers for a microphone to overhear.
    services.echoRoute = [] { return core::PlaybackRoute::headphones; };
    services.makeAudio = [audio = audio_](core::SpeechSource, const core::MicrophoneSelection&) {
        return audio;
    };
    services.appVersion = std::move(appVersion);
    services.transcriptLabels = std::move(request.transcriptLabels);

    SpeechOptions options;
    options.systemAudio = request.source == core::SpeechSource::systemAudio;
    options.microphone = request.source == core::SpeechSource::microphone;
    options.automaticLanguages = request.languages.empty();
    options.chosenLanguages = request.languages;
    engine_ = SpeechEngine::create(request.folder, options, scheduler_, std::move(services));
}

FileTranscription::~FileTranscription() {
    if (engine_) {
        engine_->shutdown();
    }
}

void FileTranscription::runUntil(const std::function<bool()>& condition) {
    using Clock = std::chrono::steady_clock;
    auto lastSign = Clock::now();
    while (!condition()) {
        if (scheduler_.waitForWork(0.005)) {
            scheduler_.runPending();
            lastSign = Clock::now();
        } else if (Clock::now() - lastSign > std::chrono::duration<double>(stallSeconds)) {
            scheduler_.advance(SpeechEngine::stopTimeout);
            lastSign = Clock::now();
        }
    }
}

bool FileTranscription::start() {
    auto owner = std::move(engine_->onStatusChange);
    engine_->onStatusChange = [this, owner](const TranscriptionStatus& status) {
        if (status.currentSessionID) {
            sessionID_ = status.currentSessionID;
        }
        if (owner) {
            owner(status);
        }
    };
    engine_->startListening();
    runUntil([this] {
        const auto& status = engine_->status();
        return status.is<TranscriptionStatus::Listening>() ||
               status.is<TranscriptionStatus::Failed>();
    });
    return engine_->status().is<TranscriptionStatus::Listening>();
}

bool FileTranscription::feed(double seconds) {
    while (position_ < seconds) {
        // A resumed run prepares its pipelines again before it takes audio.
        runUntil([this] { return !engine_->status().is<TranscriptionStatus::Preparing>(); });
        if (!engine_->status().is<TranscriptionStatus::Listening>()) {
            return false;
        }
        if (!audio_->deliverNext()) {
            break;
        }
        position_ += chunkSeconds;
        scheduler_.advance(chunkSeconds);
        // Recognition is the slow part: wait for it rather than pile audio up.
        runUntil([this] { return engine_->backlog() <= maximumBacklog; });
    }
    return true;
}

std::optional<std::string> FileTranscription::finish() {
    engine_->stopListening();
    runUntil([this] {
        const auto& status = engine_->status();
        return status.is<TranscriptionStatus::Idle>();
    });
    engine_->waitForWrites();
    scheduler_.runPending();
    return sessionID_;
}

} // namespace ambrel
