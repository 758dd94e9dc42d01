#pragma once

#include "RunProblem.h"
#include "SpeechEngineServices.h"
#include "core/Scheduler.h"
#include "core/SpeechSource.h"
#include "speech/LanguageChoice.h"
#include "speech/SpeechOptions.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace ambrel {

// What a run settles before its pipelines start, one step after the other away from the
// scheduler's thread: its languages, their models (with progress) and the microphone
// permission. It reports on the scheduler's thread; once dropped by its owner, it reports
// nothing more.
class RunPreparation : public std::enable_shared_from_this<RunPreparation> {
public:
    struct Outcome {
        std::vector<RecognitionLanguage> languages;
        std::vector<core::SpeechSource> sources;
        std::vector<RunProblem> warnings;  // what the run goes without (the microphone denied)
        std::optional<RunProblem> failure; // the run cannot start
    };
    struct Reports {
        // The languages are known (and which chosen ones cannot be had).
        std::function<void(const LanguageChoice&)> languagesResolved;
        std::function<void(double fraction)> progress;
        std::function<void(Outcome)> done;
    };

    // Starts at the next turn of the scheduler. `options` gives the options as they are now:
    // a change of languages while they were being resolved resolves them again. Downloads give
    // up when `closing` becomes true.
    static std::shared_ptr<RunPreparation> begin(const SpeechEngineServices& services,
                                                 core::Scheduler& scheduler,
                                                 std::function<const SpeechOptions&()> options,
                                                 std::shared_ptr<std::atomic<bool>> closing,
                                                 Reports reports);

private:
    RunPreparation(const SpeechEngineServices& services, core::Scheduler& scheduler,
                   std::function<const SpeechOptions&()> options,
                   std::shared_ptr<std::atomic<bool>> closing, Reports reports);

    // Runs `work` away from the scheduler's thread.
    void inBackground(std::function<void()> work);
    void post(std::function<void(RunPreparation&)> step);
    void resolveLanguages();
    void languagesResolved(const SpeechOptions& asked, LanguageChoice choice);
    void installModels(std::vector<RecognitionLanguage> languages);
    void checkPermission(std::vector<RecognitionLanguage> languages);
    void finish(Outcome outcome);

    const SpeechEngineServices& services_;
    core::Scheduler& scheduler_;
    std::function<const SpeechOptions&()> options_;
    std::shared_ptr<std::atomic<bool>> closing_;
    Reports reports_;
};

} // namespace ambrel
