#pragma once

#include "EngineStatus.h"
#include "LifecycleQueue.h"
#include "LiveTranscriptText.h"
#include "RunPreparation.h"
#include "RunStateMachine.h"
#include "SessionRecorder.h"
#include "SpeechEngineServices.h"
#include "TranscriptionStatus.h"
#include "audio/AudioSource.h"
#include "core/Scheduler.h"
#include "core/SerialQueue.h"
#include "core/SessionRecord.h"
#include "core/SpeechSource.h"
#include "speech/RecognitionLanguage.h"
#include "speech/SpeechOptions.h"
#include "speech/TranscriptionPipeline.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ambrel {

class EchoCancellation;

// The one controller of transcription runs, and what the app talks to. A run goes through the
// phases of its RunStateMachine: a RunPreparation settles languages, models and permission,
// then one pipeline per source starts; their events go to the SessionRecorder, which keeps the
// session and writes it; EngineStatus tells observers where things stand. Lives on the
// scheduler's thread.
class SpeechEngine : public std::enable_shared_from_this<SpeechEngine> {
public:
    static constexpr double saveQuiet = SessionRecorder::saveQuiet;
    static constexpr double saveMaxLatency = SessionRecorder::saveMaxLatency;
    static constexpr double saveMinInterval = SessionRecorder::saveMinInterval;
    static constexpr double updateInterval = SessionRecorder::updateInterval;
    static constexpr double unsavedRetryInterval = SessionRecorder::unsavedRetryInterval;
    // How long stopping pipelines may take to finish what they heard.
    static constexpr double stopTimeout = 2.5;
    // How often a run that cancels the speakers' echo asks whether they are still the route.
    static constexpr double echoRouteInterval = 3.0;

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

    const TranscriptionStatus& status() const { return status_.current(); }
    const SpeechOptions& options() const { return options_; }
    // The session being recorded, as it is in memory now.
    const std::optional<core::SessionRecord>& session() const { return recorder_->session(); }
    const std::filesystem::path& sessionsDirectory() const { return recorder_->directory(); }

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
    void waitForWrites() { recorder_->waitForWrites(); }
    // Audio buffers the running pipelines have not recognised yet (the largest).
    std::size_t backlog() const;
    // The running pipelines' echo cancellation; none unless both sources run.
    const std::shared_ptr<EchoCancellation>& echoCancellation() const { return echo_; }

private:
    using Phase = RunStateMachine::Phase;
    using Trigger = RunStateMachine::Trigger;
    using Pipeline = std::shared_ptr<TranscriptionPipeline>;
    // The pipelines being started for one run, one source after the other.
    struct Launch {
        std::vector<core::SpeechSource> sources;
        std::vector<RecognitionLanguage> languages;
        std::vector<RunProblem> warnings;
        std::uint64_t generation = 0;
        std::size_t next = 0;
        std::shared_ptr<EchoCancellation> echo; // when it records both sources
    };

    SpeechEngine(std::filesystem::path sessionsDirectory, SpeechOptions options,
                 core::Scheduler& scheduler, SpeechEngineServices services);

    // Starting: the preparation, then the launch of the pipelines.
    void prepare();
    void languagesResolved(const LanguageChoice& choice);
    void prepared(RunPreparation::Outcome outcome);
    void launchNext(std::shared_ptr<Launch> launch, std::function<void()> done);
    void launched(const Launch& launch);
    std::shared_ptr<EchoCancellation> makeEchoCancellation(const Launch& launch);
    void followEchoRoute();
    // Whatever start is under way is abandoned.
    void abandonStart();
    void fail(const RunProblem& problem);

    // Stopping pipelines, and what follows; `thenEnd` closes the session and turns off.
    void enqueueStop(bool thenEnd);
    void stopPipelines(bool thenEnd, std::function<void()> done);
    void pipelinesStopped(bool thenEnd);
    void restart();
    void restartIfLanguagesChange(const SpeechOptions& options, bool needsOptionsUnchanged);

    // From the running pipelines and sources.
    void handle(const TranscriptionPipeline::Event& event, core::SpeechSource source,
                std::uint64_t generation);
    void pipelineFailed(const TranscriptionPipeline* pipeline, const std::string& error,
                        std::uint64_t generation);
    void sourceInterrupted(core::SpeechSource source, const std::optional<std::string>& lost,
                           std::uint64_t generation);
    void deviceChanged(const std::optional<std::string>& deviceName,
                       const std::optional<std::string>& problem, std::uint64_t generation);

    double lowConfidence(const std::optional<std::string>& language) const;
    bool isPreparingOrListening() const {
        return machine_.is(Phase::preparing) || machine_.is(Phase::listening);
    }
    void beginActivity();
    void endActivity();
    void post(std::function<void(SpeechEngine&)> work);

    core::Scheduler& scheduler_;
    SpeechEngineServices services_;
    SpeechOptions options_;
    EngineStatus status_;
    std::shared_ptr<SessionRecorder> recorder_;
    RunStateMachine machine_;
    LifecycleQueue lifecycle_;
    std::unique_ptr<core::SerialQueue> preparer_; // when no background was given
    // True once the engine is going away: downloads give up.
    std::shared_ptr<std::atomic<bool>> closing_ = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<RunPreparation> preparation_;
    std::shared_ptr<Launch> launch_;
    std::vector<Pipeline> pipelines_;
    std::vector<Pipeline> stoppingPipelines_;
    std::weak_ptr<AudioSource> microphone_;
    // The running pipelines' echo cancellation, turned on and off as the options say.
    std::shared_ptr<EchoCancellation> echo_;
    core::Scheduler::TimerHandle echoRouteTimer_; // keeps it following the playback route
    // Bumped whenever pipelines start or stop: events of another set are ignored.
    std::uint64_t generation_ = 0;
    // The run's chosen languages that cannot be had, told after its other warnings.
    std::vector<RunProblem> languageWarnings_;
    bool activity_ = false;
};

} // namespace ambrel
