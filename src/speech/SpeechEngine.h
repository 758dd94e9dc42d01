#pragma once

#include "LiveTranscriptText.h"
#include "RecognitionLanguage.h"
#include "SpeechEngineServices.h"
#include "SpeechOptions.h"
#include "TranscriptionPipeline.h"
#include "TranscriptionStatus.h"
#include "core/EchoFilter.h"
#include "core/Instant.h"
#include "core/MarkerKind.h"
#include "core/RateLimiter.h"
#include "core/SaveThrottle.h"
#include "core/Scheduler.h"
#include "core/SerialQueue.h"
#include "core/SessionRecord.h"
#include "core/SessionStore.h"
#include "core/SpeechSource.h"
#include "core/TranscriptLine.h"

#include <atomic>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ambrel {

class MicrophoneSource;

// The one controller of transcription runs: starts, pauses and stops a pipeline per source,
// turns their events into live text and session lines, drops echoes of the speakers, and saves
// the session a little after it changes. Lives on the scheduler's thread; file writes run on a
// worker of their own.
class SpeechEngine : public std::enable_shared_from_this<SpeechEngine> {
public:
    static constexpr double saveQuiet = 1.0;
    static constexpr double saveMaxLatency = 3.0;
    static constexpr double saveMinInterval = 1.0;
    static constexpr double updateInterval = 0.5;
    static constexpr double stopTimeout = 2.5;
    static constexpr double unsavedRetryInterval = 5.0;
    static constexpr double echoWindow = 10.0;
    static constexpr double echoThreshold = 0.7;
    static constexpr double likelyEchoSeconds = 6.0;
    // How closely an uncertain microphone line must match something the speakers said to be
    // taken for their echo (the echo filter itself wants 0.7 of any line).
    static constexpr double likelyEchoSimilarity = 0.5;

    // Closes sessions a crash left open in the folder.
    static std::shared_ptr<SpeechEngine> create(std::filesystem::path sessionsDirectory,
                                                SpeechOptions options, core::Scheduler& scheduler,
                                                SpeechEngineServices services);
    ~SpeechEngine();
    SpeechEngine(const SpeechEngine&) = delete;
    SpeechEngine& operator=(const SpeechEngine&) = delete;

    std::function<void(const TranscriptionStatus&)> onStatusChange;
    // The open record, at most twice a second, and the closed record when a session ends.
    std::function<void(const core::SessionRecord&)> onSessionUpdated;
    std::function<void(const LiveTranscriptText&)> onLiveText;

    const TranscriptionStatus& status() const { return status_; }
    const SpeechOptions& options() const { return options_; }
    // The session being recorded, as it is in memory now.
    const std::optional<core::SessionRecord>& session() const { return session_; }
    const std::filesystem::path& sessionsDirectory() const { return store_->directory(); }

    void startListening();
    void stopListening();
    void setPaused(bool paused);
    void setOptions(const SpeechOptions& options);
    void setSessionsDirectory(const std::filesystem::path& directory);
    // The Markdown labels follow the interface language; automatic languages may change too.
    void interfaceLanguageChanged();
    // Stops at once and writes the open session before returning, for the end of the process.
    void shutdown();

    // Waits until every write submitted so far has finished.
    void waitForWrites() { writer_.drain(); }
    // Audio buffers the running pipelines have not recognised yet (the largest).
    std::size_t backlog() const;

private:
    using Event = TranscriptionPipeline::Event;
    using Pipeline = std::shared_ptr<TranscriptionPipeline>;
    // A lifecycle step; it calls `done` when it is over, which starts the next one.
    using LifecycleWork = std::function<void(SpeechEngine& engine, std::function<void()> done)>;

    SpeechEngine(std::filesystem::path sessionsDirectory, SpeechOptions options,
                 core::Scheduler& scheduler, SpeechEngineServices services);

    // Recording path.
    void handle(const Event& event, core::SpeechSource source, std::uint64_t generation);
    // Whether the speakers play (what the microphone may pick up again). `asked` keeps the answer
    // so that one event asks the sound server once.
    bool playsOnSpeakers(std::optional<bool>& asked) const;
    // An uncertain microphone line that resembles what the speakers said a moment ago.
    bool isLikelyEcho(core::SpeechSource source, const std::string& text, double confidence,
                      const std::optional<std::string>& language, core::Instant at,
                      std::optional<bool>& speakers) const;
    // The confidence below which a line of the language is uncertain, by its engine's scale.
    double lowConfidence(const std::optional<std::string>& language) const;
    void record(core::TranscriptLine line, core::Instant date, std::optional<bool>& speakers);
    void flushVolatileText(const std::vector<core::SpeechSource>& sources);
    void addMarker(core::MarkerKind kind);
    void materializeSession(core::Instant startedAt);
    void sessionChanged(core::Instant date);
    void publishLiveText();
    void scheduleSave();
    void saveNow();
    void write(core::SessionRecord record);
    // An ended session whose last write failed is written again now and then until it is on
    // disk, and once more at shutdown: its end and last lines exist nowhere else.
    void keepUnsaved(core::SessionRecord record);
    void retryUnsaved();
    void scheduleSessionUpdate();

    // Lifecycle.
    void enqueue(LifecycleWork work);
    void runNextLifecycleWork();
    void startPipelines();
    void prepareStart(std::uint64_t token);
    void languagesResolved(std::uint64_t token, const SpeechOptions& asked, LanguageChoice choice);
    void modelsInstalled(std::uint64_t token, std::vector<RecognitionLanguage> languages,
                         const std::optional<std::string>& failure);
    void permissionKnown(std::uint64_t token, std::vector<RecognitionLanguage> languages,
                         std::vector<core::SpeechSource> sources,
                         std::vector<std::string> warnings);
    struct Launch;
    void launchPipelines(std::shared_ptr<Launch> launch, std::function<void()> done);
    void launchNext(std::shared_ptr<Launch> launch, std::function<void()> done);
    void finishLaunch(const Launch& launch);
    void stopPipelines(bool thenEndSession, std::function<void()> done);
    void finishStoppingPipelines(bool thenEndSession);
    void restartPipelines();
    void restartIfLanguagesChange(const SpeechOptions& options, bool needsOptionsUnchanged);
    void pipelineFailed(const TranscriptionPipeline* pipeline, const std::string& error,
                        std::uint64_t generation);
    void sourceInterrupted(core::SpeechSource source, const std::optional<std::string>& lost,
                           std::uint64_t generation);
    void deviceChanged(const std::optional<std::string>& deviceName,
                       const std::optional<std::string>& problem, std::uint64_t generation);
    void endSession();
    void closeOrphanedSessions();
    void beginActivity();
    void endActivity();

    // Status changes: each call is one change, reported only when something differs.
    void changeStatus(const std::function<void(TranscriptionStatus&)>& change);
    void setState(TranscriptionStatus::State state);
    // The warnings shown joined in the status; kept as a list, since a warning may quote any text.
    void setWarnings(std::vector<std::string> warnings);
    void addWarning(const std::string& warning);
    void removeWarning(const std::string& warning);

    bool isCurrent(std::uint64_t token) const { return token == startToken_; }
    bool isPreparingOrListening() const;
    // Posts work back to the scheduler's thread for this engine, if it still exists then.
    void post(std::function<void(SpeechEngine&)> work);
    void inBackground(std::function<void()> work);
    core::Instant now() const { return scheduler_.now(); }

    core::Scheduler& scheduler_;
    SpeechEngineServices services_;
    TranscriptionStatus status_;
    SpeechOptions options_;
    std::shared_ptr<core::SessionStore> store_;
    core::SerialQueue writer_;
    std::unique_ptr<core::SerialQueue> preparer_; // when no background was given
    std::shared_ptr<std::atomic<bool>> closing_ = std::make_shared<std::atomic<bool>>(false);
    std::vector<Pipeline> pipelines_;
    std::weak_ptr<MicrophoneSource> microphone_;
    std::vector<Pipeline> stoppingPipelines_;
    std::deque<LifecycleWork> lifecycle_;
    bool lifecycleRunning_ = false;
    std::uint64_t generation_ = 0;
    std::uint64_t startToken_ = 0;
    bool isEnding_ = false;
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
    bool activity_ = false;
    std::vector<std::string> warnings_; // what status_.warning shows, joined
    // The run's chosen languages that cannot be had, told after its other warnings.
    std::vector<std::string> languageWarnings_;
    // The warning shown while a source has lost its capture.
    std::map<core::SpeechSource, std::string> interruptions_;
};

} // namespace ambrel
