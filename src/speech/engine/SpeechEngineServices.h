#pragma once

#include "audio/AudioSource.h"
#include "core/MicrophoneSelection.h"
#include "core/PlaybackRoute.h"
#include "core/Scheduler.h"
#include "core/SpeechSource.h"
#include "core/TranscriptLabels.h"
#include "speech/LanguageChoice.h"
#include "speech/RecognitionLanguage.h"
#include "speech/SpeechOptions.h"
#include "speech/TranscriptionPipeline.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ambrel {

class EchoCancellation;
class SpeechModel;

// Everything the speech engine asks of the world: languages and models, permission, the
// playback route, audio sources and pipelines. The app and `ambrel listen` use standard();
// file runs and tests put their own pieces in.
struct SpeechEngineServices {
    using Work = std::function<void()>;

    // Runs slow work (language resolution, model downloads, the permission check) away from the
    // main thread, one item after another. Empty: a worker of the engine's own.
    std::function<void(Work)> background;
    // The recognition languages for the options, in order, and those asked for that cannot be
    // had; called through `background`.
    std::function<LanguageChoice(const SpeechOptions&)> languages;
    // Installs missing models, reporting progress 0…1; throws with the reason. Called through
    // `background`; should give up when `cancelled` becomes true.
    std::function<void(const std::vector<RecognitionLanguage>&,
                       const std::function<void(double)>& progress,
                       const std::atomic<bool>& cancelled)>
        ensureInstalled;
    // May this process record the microphone? Called through `background`.
    std::function<bool()> microphoneAllowed;
    // Where system sound plays now; asked on the main thread for microphone lines.
    std::function<core::PlaybackRoute()> echoRoute;
    // The audio of a source; the microphone's follows the device choice.
    std::function<std::shared_ptr<AudioSource>(core::SpeechSource,
                                               const core::MicrophoneSelection&)>
        makeAudio;
    // The echo cancellation between the two sources of a run that records both, on or off at
    // first; throws when it cannot be had. Empty: the microphone goes uncancelled.
    std::function<std::shared_ptr<EchoCancellation>(bool enabled)> makeEchoCancellation;
    std::function<std::shared_ptr<TranscriptionPipeline>(
        core::SpeechSource, std::shared_ptr<AudioSource>, std::vector<RecognitionLanguage>)>
        makePipeline;
    // Stamped into every new session.
    std::string appVersion;
    // The words of the Markdown transcript, in the interface language; empty: English.
    std::function<core::TranscriptLabels()> transcriptLabels;

    // Languages, models and pipelines of the speech model's engines; the rest left empty.
    // Sources start and stop through `capture` (see SpeechPipeline::create).
    static SpeechEngineServices recognition(core::Scheduler& scheduler,
                                            std::shared_ptr<SpeechModel> model,
                                            std::function<void(Work)> capture = {});
    // The sound server, the installed engines and their models. `systemAudioStarted` is told
    // whenever a system-audio capture starts (the app remembers that it asked).
    static SpeechEngineServices standard(core::Scheduler& scheduler,
                                         std::shared_ptr<SpeechModel> model,
                                         std::function<void()> systemAudioStarted,
                                         std::string appVersion, bool awaitServer = false);
};

} // namespace ambrel
