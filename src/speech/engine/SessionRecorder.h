#pragma once

#include "EngineStatus.h"
#include "LiveTranscriptText.h"
#include "core/EchoFilter.h"
#include "core/Instant.h"
#include "core/MarkerKind.h"
#include "core/PlaybackRoute.h"
#include "core/RateLimiter.h"
#include "core/SaveThrottle.h"
#include "core/Scheduler.h"
#include "core/SerialQueue.h"
#include "core/SessionRecord.h"
#include "core/SessionStore.h"
#include "core/SpeechSource.h"
#include "core/TranscriptLabels.h"
#include "core/TranscriptLine.h"
#include "speech/SpeechOptions.h"
#include "speech/TranscriptionPipeline.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ambrel {

// The path from a recognition event to the disk: the words still being recognised per source,
// final lines entered into the open session in start order, echoes of the speakers dropped,
// pause markers, the live text, and writing the session a little after it changes. Lives on
// the scheduler's thread; writes run on a worker of their own.
class SessionRecorder : public std::enable_shared_from_this<SessionRecorder> {
public:
    static constexpr double saveQuiet = 1.0;
    static constexpr double saveMaxLatency = 3.0;
    static constexpr double saveMinInterval = 1.0;
    static constexpr double updateInterval = 0.5;
    static constexpr double unsavedRetryInterval = 5.0;
    static constexpr double echoWindow = 10.0;
    static constexpr double echoThreshold = 0.7;
    static constexpr double likelyEchoSeconds = 6.0;
    // How closely an uncertain microphone line must match something the speakers said to be
    // taken for their echo (the echo filter itself wants 0.7 of any line).
    static constexpr double likelyEchoSimilarity = 0.5;

    struct Context {
        core::Scheduler& scheduler;
        EngineStatus& status;
        // The sources the run records.
        std::function<const SpeechOptions&()> options;
        // Where system sound plays now (what the microphone may pick up again).
        std::function<core::PlaybackRoute()> echoRoute;
        // Below this a line of the language is uncertain, on its engine's own scale.
        std::function<double(const std::optional<std::string>& language)> lowConfidence;
        std::function<core::TranscriptLabels()> labels;
        std::string appVersion;
    };

    static std::shared_ptr<SessionRecorder> create(std::filesystem::path directory,
                                                   Context context);
    ~SessionRecorder();
    SessionRecorder(const SessionRecorder&) = delete;
    SessionRecorder& operator=(const SessionRecorder&) = delete;

    // The open record, rate-limited, and the closed record when a session ends.
    std::function<void(const core::SessionRecord&)> onSessionUpdated;
    std::function<void(const LiveTranscriptText&)> onLiveText;

    const std::optional<core::SessionRecord>& session() const { return session_; }
    const std::filesystem::path& directory() const { return store_->directory(); }

    // A new run: no session yet, nothing remembered of earlier speech.
    void beginListening();
    void handle(const TranscriptionPipeline::Event& event, core::SpeechSource source);
    // Turns the sources' pending words into lines (when pipelines stop or fail).
    void flushVolatileText(const std::vector<core::SpeechSource>& sources);
    // Pause and resume marks, in an open session only.
    void addMarker(core::MarkerKind kind);
    void publishLiveText();
    void publishNothing();
    // Writes the open session now (new labels, or a new folder).
    void saveIfOpen();
    // Closes the open session, if any, and writes it.
    void endSession();
    // The open session follows to the new folder, without overwriting a session there.
    void setDirectory(const std::filesystem::path& directory);
    // Sessions a crash left open get an end: their last update.
    void closeOrphanedSessions();
    // For the end of the process: the open session and any unsaved one are written before
    // this returns.
    void shutdown();
    void waitForWrites() { writer_.drain(); }

private:
    SessionRecorder(std::filesystem::path directory, Context context);

    core::Instant now() const { return context_.scheduler.now(); }
    // Whether the speakers play; `asked` keeps the answer so that one event asks once.
    bool playsOnSpeakers(std::optional<bool>& asked) const;
    bool isLikelyEcho(core::SpeechSource source, const std::string& text, double confidence,
                      const std::optional<std::string>& language, core::Instant at,
                      std::optional<bool>& speakers) const;
    void record(core::TranscriptLine line, core::Instant date, std::optional<bool>& speakers);
    void materializeSession(core::Instant startedAt);
    void sessionChanged(core::Instant date);
    void scheduleSave();
    void saveNow();
    void write(core::SessionRecord record);
    // An ended session whose last write failed is written again now and then until it is on
    // disk, and once more at shutdown: its end and last lines exist nowhere else.
    void keepUnsaved(core::SessionRecord record);
    void retryUnsaved();
    void scheduleSessionUpdate();

    Context context_;
    std::shared_ptr<core::SessionStore> store_;
    core::SerialQueue writer_;
    std::shared_ptr<std::atomic<bool>> closing_ = std::make_shared<std::atomic<bool>>(false);
    std::optional<core::SessionRecord> session_;
    std::optional<core::Instant> listenStartedAt_;
    std::map<core::SpeechSource, core::Instant> utteranceStart_;
    std::map<core::SpeechSource, std::string> volatileText_;
    std::map<core::SpeechSource, double> volatileConfidence_;
    std::vector<core::TranscriptLine> recentFinals_;
    core::EchoFilter echoFilter_{echoWindow, echoThreshold};
    std::optional<core::Instant> lastSystemSpeech_;
    core::SaveThrottle throttle_{saveQuiet, saveMaxLatency, saveMinInterval, {}, {}, {}};
    core::Scheduler::TimerHandle saveTimer_;
    core::RateLimiter updateLimiter_{updateInterval, {}};
    core::Scheduler::TimerHandle updateTimer_;
    std::map<std::string, core::SessionRecord> unsaved_;
    core::Scheduler::TimerHandle unsavedTimer_;
};

} // namespace ambrel
