#pragma once

#include "LanguageChoice.h"
#include "ModelCatalog.h"
#include "PocketsphinxModels.h"
#include "RecognitionLanguage.h"
#include "Recognizer.h"
#include "SpeechOptions.h"
#include "core/SettingsStore.h"
#include "core/SpeechSource.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace ambrel {

// Which recognition languages a run uses, and their models: resolving identifiers to languages
// the engines support, the catalogue of languages, and downloading missing models. Its
// questions may need the network or the disk: call them off the main thread.
class SpeechModel {
public:
    struct Catalog {
        std::vector<std::string> supported;         // every language either engine can recognise
        std::set<std::string> installed;            // those whose models are on disk
        std::vector<std::string> defaultCandidates; // what automatic detection would use now
        // Why no model can be downloaded now (the list of them could not be had), if so.
        std::optional<std::string> listProblem;

        bool operator==(const Catalog&) const = default;
    };

    struct Configuration {
        std::vector<std::filesystem::path> dictationFolders;
        std::filesystem::path speechFolder; // <locale>/ holds each downloaded model
        bool speechAvailable = false;       // the speech engine's library could be loaded
        // The downloadable models; `fetchNow` asks to fetch their list whatever was tried before.
        std::function<ModelCatalog::Listing(bool fetchNow)> speechCatalog;
        std::function<std::string()> interfaceLanguage;
        std::vector<std::string> systemLanguages;      // the user's languages, most wanted first
        std::string region;                            // of the user's locale, e.g. "GB"
        std::shared_ptr<core::SettingsStore> settings; // keeps the reserved models
        std::size_t maximumReserved = 8;
        // Where recognisers keep what they adapted to between runs; empty: nowhere.
        std::filesystem::path adaptationFolder;
    };

    // The real engines, folders and catalogue; the catalogue address is a setting. Automatic
    // detection starts from the interface language, then the system's languages.
    static Configuration standard(std::shared_ptr<core::SettingsStore> settings,
                                  std::function<std::string()> interfaceLanguage,
                                  std::vector<std::string> systemLanguages);

    explicit SpeechModel(Configuration configuration);

    // `fetchNow` tries the list of downloadable models again at once (the user asked to).
    Catalog catalog(bool fetchNow = false);
    std::vector<std::string> defaultDetectLanguages();
    std::vector<std::string> preferredForms(std::string_view language) const;
    std::optional<RecognitionLanguage> resolve(std::string_view identifier);
    std::vector<RecognitionLanguage> languages(const SpeechOptions& options);
    // The languages for the options, and the chosen ones that cannot be had now.
    LanguageChoice choose(const SpeechOptions& options);
    // Whether an identifier names a language at all (whatever the engines can do with it).
    static bool namesLanguage(std::string_view identifier);

    // Makes the recogniser of a language for a source (slow: its model loads). It starts from
    // what the last recogniser of that language and source adapted to.
    std::unique_ptr<Recognizer> makeRecognizer(const RecognitionLanguage& language,
                                               core::SpeechSource source);

    // Downloads the models the languages lack; `progress` runs from 0 to 1 over all of them and
    // is not called when nothing is missing. Throws with the reason when a download fails.
    void ensureInstalled(const std::vector<RecognitionLanguage>& languages,
                         const std::function<void(double fraction)>& progress,
                         const std::atomic<bool>* cancelled = nullptr);

    // The settings keys of this part.
    static constexpr const char* catalogURLKey = "speechModelCatalog";
    static constexpr const char* reservedKey = "reservedSpeechModels";

private:
    struct Supported {
        std::vector<std::string> speech;
        std::vector<std::string> dictation;    // all installed
        std::set<std::string> installedSpeech; // the speech locales already on disk
        std::optional<std::string> listProblem;
    };
    Supported supported(bool fetchNow = false);
    // The same as resolve() and languages(), over locales already looked up.
    std::optional<RecognitionLanguage> resolveIn(std::string_view identifier,
                                                 const Supported& engines) const;
    std::vector<RecognitionLanguage> languagesIn(const SpeechOptions& options,
                                                 const Supported& engines);
    std::set<std::string> installedSpeech() const;
    // Adds `locales` to the reserved models, releasing the oldest beyond the limit that is not
    // among them nor in `inUse`.
    void reserve(const std::vector<std::string>& locales, const std::vector<std::string>& inUse);

    Configuration configuration_;
};

} // namespace ambrel
