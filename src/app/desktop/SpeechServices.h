#pragma once

#include "core/Scheduler.h"
#include "core/SettingsStore.h"
#include "speech/SpeechModel.h"
#include "speech/engine/SpeechEngineServices.h"

#include <memory>

// The speech model and engine of this desktop, as the app and the command line use them: the
// user's settings, the interface language, the Markdown labels and the app's version.
namespace ambrel::SpeechServices {

std::shared_ptr<SpeechModel> model(std::shared_ptr<core::SettingsStore> settings);

// Starting system-audio capture is kept in the settings as having asked for it.
// `awaitServer`: system audio waits for a sound server that is not there yet (the app, which
// may start before it at login) rather than failing the start (`listen`, run by a person).
SpeechEngineServices engine(core::Scheduler& scheduler, std::shared_ptr<SpeechModel> model,
                            std::shared_ptr<core::SettingsStore> settings, bool awaitServer);

} // namespace ambrel::SpeechServices
