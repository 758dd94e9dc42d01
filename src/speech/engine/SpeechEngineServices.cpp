#include "SpeechEngineServices.h"

#include "audio/AudioHardware.h"
#include "audio/MicrophoneSource.h"
#include "audio/PermissionProbe.h"
#include "audio/SystemAudioSource.h"
#include "core/Clocks.h"
#include "speech/SpeechModel.h"
#include "speech/SpeechPipeline.h"
#include "speech/echo/EchoCancellation.h"
#include "speech/echo/SpeexEchoCanceller.h"

namespace ambrel {

SpeechEngineServices SpeechEngineServices::recognition(core::Scheduler& scheduler,
                                                       std::shared_ptr<SpeechModel> model,
                                                       std::function<void(Work)> capture) {
    SpeechEngineServices services;
    services.languages = [model](const SpeechOptions& options) { return model->choose(options); };
    services.ensureInstalled = [model](const std::vector<RecognitionLanguage>& languages,
                                       const std::function<void(double)>& progress,
                                       const std::atomic<bool>& cancelled) {
        model->ensureInstalled(languages, progress, &cancelled);
    };
    services.makePipeline =
        [&scheduler, model, capture](
            core::SpeechSource source, std::shared_ptr<AudioSource> audio,
            std::vector<RecognitionLanguage> languages) -> std::shared_ptr<TranscriptionPipeline> {
        return SpeechPipeline::create(
            source, std::move(audio), std::move(languages), scheduler,
            [model, source](const RecognitionLanguage& language) {
                return model->makeRecognizer(language, source);
            },
            {}, capture);
    };
    return services;
}

SpeechEngineServices SpeechEngineServices::standard(core::Scheduler& scheduler,
                                                    std::shared_ptr<SpeechModel> model,
                                                    std::function<void()> systemAudioStarted,
                                                    std::string appVersion, bool awaitServer) {
    // Sources start and stop on a thread of their own: the app's windows never wait for them.
    auto services = recognition(scheduler, std::move(model), SpeechPipeline::captureQueue());
    // There is no prompt to answer here: only a server that refuses the recording says no.
    services.microphoneAllowed = [] { return PermissionProbe::probe(1.0).microphone != "denied"; };
    services.echoRoute = [] { return AudioHardware::echoRoute(); };
    services.makeAudio =
        [&scheduler, systemAudioStarted = std::move(systemAudioStarted),
         awaitServer](core::SpeechSource source,
                      const core::MicrophoneSelection& selection) -> std::shared_ptr<AudioSource> {
        if (source == core::SpeechSource::microphone) {
            return MicrophoneSource::create(selection, scheduler);
        }
        return std::make_shared<SystemAudioSource>(systemAudioStarted, awaitServer);
    };
    services.makeEchoCancellation = [](bool enabled) {
        // Both capture threads stamp their frames on the same clock.
        return std::make_shared<EchoCancellation>(
            std::make_unique<SpeexEchoCanceller>(), [] { return core::Clocks::monotonic(); },
            enabled);
    };
    services.appVersion = std::move(appVersion);
    return services;
}

} // namespace ambrel
