#include "PocketsphinxModels.h"

#include "core/XdgFolders.h"

#include <unicode/locid.h>

#include <algorithm>

namespace ambrel::PocketsphinxModels {

namespace fs = std::filesystem;

namespace {

bool endsWith(const std::string& text, std::string_view ending) {
    return text.size() >= ending.size() &&
           text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

std::string canonicalLocale(const std::string& name) {
    UErrorCode status = U_ZERO_ERROR;
    const auto locale = icu::Locale::forLanguageTag(name, status);
    if (U_FAILURE(status) || locale.isBogus() || std::string(locale.getLanguage()).empty()) {
        return name;
    }
    const std::string tag = locale.toLanguageTag<std::string>(status);
    return U_SUCCESS(status) ? tag : name;
}

} // namespace

std::vector<fs::path> defaultFolders() {
    return {"/usr/share/pocketsphinx/model",
            core::XdgFolders::dataHome() / "Ambrel/models/dictation"};
}

std::optional<PocketsphinxModel> inspect(const fs::path& folder) {
    PocketsphinxModel model;
    model.locale = canonicalLocale(folder.filename().string());
    std::error_code error;
    std::vector<fs::directory_entry> entries;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        entries.push_back(entry);
    }
    std::sort(entries.begin(), entries.end());
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (entry.is_directory(error) && fs::exists(entry.path() / "mdef", error)) {
            if (model.acoustic.empty()) {
                model.acoustic = entry.path();
            }
        } else if ((endsWith(name, ".lm.bin") || endsWith(name, ".lm") ||
                    endsWith(name, ".lm.DMP")) &&
                   name.find("phone") == std::string::npos) {
            if (model.languageModel.empty()) {
                model.languageModel = entry.path();
            }
        } else if (endsWith(name, ".dict") || endsWith(name, ".dic")) {
            if (model.dictionary.empty()) {
                model.dictionary = entry.path();
            }
        }
    }
    if (model.acoustic.empty() || model.languageModel.empty() || model.dictionary.empty()) {
        return std::nullopt;
    }
    return model;
}

std::vector<PocketsphinxModel> installed(const std::vector<fs::path>& folders) {
    std::vector<PocketsphinxModel> models;
    for (const auto& folder : folders) {
        std::error_code error;
        std::vector<fs::path> candidates;
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            if (entry.is_directory(error)) {
                candidates.push_back(entry.path());
            }
        }
        std::sort(candidates.begin(), candidates.end());
        for (const auto& candidate : candidates) {
            auto model = inspect(candidate);
            if (model && std::none_of(models.begin(), models.end(),
                                      [&](const auto& m) { return m.locale == model->locale; })) {
                models.push_back(std::move(*model));
            }
        }
    }
    return models;
}

} // namespace ambrel::PocketsphinxModels
