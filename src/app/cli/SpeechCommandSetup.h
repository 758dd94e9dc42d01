#pragma once

#include "CommandArguments.h"

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace ambrel {

class QtSettingsStore;
class SpeechModel;

// A command that cannot go on (an unwritable folder, say); one line for standard error.
struct CommandFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What the commands that transcribe share: the user's settings and interface language, the
// transcripts folder (--folder, else the one the app uses) checked for writing, the speech
// models, and the recognition languages of --language checked against them.
struct SpeechCommandSetup {
    std::shared_ptr<QtSettingsStore> settings;
    std::filesystem::path folder;
    std::shared_ptr<SpeechModel> model;
    std::vector<std::string> languages; // empty: automatic

    // Takes --folder and --language out of the arguments.
    static SpeechCommandSetup read(CommandArguments& arguments);
    // Loads the settings and models and checks the languages and the folder. Throws UsageError
    // for an unknown language and CommandFailure for a folder that cannot be used.
    void prepare();
    // The folder the app writes to: the user's choice, else the default.
    static std::filesystem::path configuredFolder(const QtSettingsStore& settings);
};

} // namespace ambrel
