#include "SpeechCommandSetup.h"

#include "app/AppSettings.h"
#include "app/desktop/DefaultFolders.h"
#include "app/desktop/QtSettingsStore.h"
#include "app/desktop/SpeechServices.h"
#include "app/desktop/WritableFolder.h"
#include "core/Log.h"
#include "locale/L10n.h"
#include "speech/SpeechModel.h"

#include <fmt/format.h>

#include <cstdlib>
#include <iostream>

namespace ambrel {

std::filesystem::path SpeechCommandSetup::configuredFolder(const QtSettingsStore& settings) {
    if (const auto chosen = settings.stringValue(AppSettings::Keys::sessionsFolderBookmark);
        chosen && !chosen->empty()) {
        return *chosen;
    }
    return DefaultFolders::transcripts();
}

SpeechCommandSetup SpeechCommandSetup::read(CommandArguments& arguments) {
    SpeechCommandSetup setup;
    if (const auto folder = arguments.value("--folder")) {
        setup.folder = *folder;
    }
    setup.languages = arguments.values("--language");
    return setup;
}

void SpeechCommandSetup::prepare() {
    settings = std::make_shared<QtSettingsStore>();
    L10n::configure(settings);
    // A terminal wants to hear of failures, not of every dropped echo, unless asked.
    const char* log = std::getenv("AMBREL_LOG");
    const bool everything = log != nullptr && std::string_view(log) == "debug";
    core::Log::setSink(
        [everything](std::string_view category, core::LogLevel level, std::string_view message) {
            if (everything) {
                std::cerr << "ambrel[" << category << "] " << core::name(level) << ": " << message
                          << std::endl;
            } else if (level >= core::LogLevel::error) {
                std::cerr << "ambrel: " << message << '\n';
            }
        });
    if (folder.empty()) {
        folder = configuredFolder(*settings);
    }
    model = SpeechServices::model(settings);
    for (const auto& language : languages) {
        if (model->resolve(language)) {
            continue;
        }
        const auto catalog = model->catalog();
        if (!SpeechModel::namesLanguage(language)) {
            throw UsageError{fmt::format("unknown recognition language {} (available: {})",
                                         language, fmt::join(catalog.supported, ", "))};
        }
        if (catalog.listProblem) {
            throw CommandFailure(fmt::format("no speech model for {} is installed, and the list "
                                             "of downloadable models could not be loaded ({})",
                                             language, *catalog.listProblem));
        }
        throw CommandFailure(
            fmt::format("no speech model for {} is installed or offered for download", language));
    }
    if (const auto problem = WritableFolder::problem(folder)) {
        throw CommandFailure(fmt::format("cannot write to the transcripts folder {}: {}",
                                         folder.string(), *problem));
    }
}

} // namespace ambrel
