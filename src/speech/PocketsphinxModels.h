#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ambrel {

// The dictation models on disk: an acoustic model folder, a language model and a pronouncing
// dictionary per language, in the system's model folder and in the user's own.
struct PocketsphinxModel {
    std::string locale; // BCP 47, from the folder's name ("en-us" -> "en-US")
    std::filesystem::path acoustic;
    std::filesystem::path languageModel;
    std::filesystem::path dictionary;

    bool operator==(const PocketsphinxModel&) const = default;
};

namespace PocketsphinxModels {

// /usr/share/pocketsphinx/model, then $XDG_DATA_HOME/Ambrel/models/dictation.
std::vector<std::filesystem::path> defaultFolders();

// Every complete model in the folders (each language once: the first folder wins).
std::vector<PocketsphinxModel>
installed(const std::vector<std::filesystem::path>& folders = defaultFolders());

// The model folder's parts, when all three are there.
std::optional<PocketsphinxModel> inspect(const std::filesystem::path& folder);

} // namespace PocketsphinxModels
} // namespace ambrel
