#include "SpeechServices.h"

#include "BuildInfo.h"
#include "app/AppSettings.h"
#include "locale/L10n.h"

namespace ambrel::SpeechServices {

std::shared_ptr<SpeechModel> model(std::shared_ptr<core::SettingsStore> settings) {
    return std::make_shared<SpeechModel>(SpeechModel::standard(
        std::move(settings), [] { return L10n::language(); },
        L10n::systemLanguagesFromEnvironment()));
}

SpeechEngineServices engine(core::Scheduler& scheduler, std::shared_ptr<SpeechModel> model,
                            std::shared_ptr<core::SettingsStore> settings, bool awaitServer) {
    auto services = SpeechEngineServices::standard(
        scheduler, std::move(model),
        [settings] { settings->setValue(AppSettings::Keys::systemAudioAsked, true); }, appVersion,
        awaitServer);
    services.transcriptLabels = [] { return L10n::transcriptLabels(); };
    return services;
}

} // namespace ambrel::SpeechServices
