#include "SpeechModel.h"

#include "AdaptationStore.h"
#include "HttpClient.h"
#include "ModelInstaller.h"
#include "PocketsphinxRecognizer.h"
#include "VoskLibrary.h"
#include "VoskRecognizer.h"
#include "core/Clocks.h"
#include "core/FileAccess.h"
#include "core/Log.h"
#include "core/XdgFolders.h"

#include <fmt/format.h>
#include <unicode/localebuilder.h>
#include <unicode/locid.h>

#include <algorithm>
#include <chrono>
#include <mutex>

namespace ambrel {

namespace fs = std::filesystem;

namespace {

icu::Locale localeOf(std::string_view identifier) {
    std::string tag(identifier);
    std::replace(tag.begin(), tag.end(), '_', '-');
    UErrorCode status = U_ZERO_ERROR;
    auto locale = icu::Locale::forLanguageTag(tag, status);
    return U_SUCCESS(status) && !locale.isBogus() ? locale : icu::Locale::getRoot();
}

std::string tagOf(const icu::Locale& locale) {
    UErrorCode status = U_ZERO_ERROR;
    auto tag = locale.toLanguageTag<std::string>(status);
    return U_SUCCESS(status) ? tag : std::string();
}

// The identifier with the likely script and region filled in: "en" -> "en-Latn-US".
std::string maximal(const icu::Locale& locale) {
    icu::Locale filled(locale);
    UErrorCode status = U_ZERO_ERROR;
    filled.addLikelySubtags(status);
    return U_SUCCESS(status) ? tagOf(filled) : tagOf(locale);
}

std::string maximal(std::string_view identifier) {
    return maximal(localeOf(identifier));
}

bool namesRegion(std::string_view identifier) {
    return !std::string_view(localeOf(identifier).getCountry()).empty();
}

// The identifier with another region ("" for none): "en-Latn-US" -> "en-Latn-GB".
std::string withRegion(std::string_view identifier, const std::string& region) {
    UErrorCode status = U_ZERO_ERROR;
    icu::LocaleBuilder builder;
    builder.setLocale(localeOf(identifier)).setRegion(region);
    const auto replaced = builder.build(status);
    return U_SUCCESS(status) ? tagOf(replaced) : std::string(identifier);
}

std::string withoutRegion(std::string_view identifier) {
    return withRegion(identifier, "");
}

// Language and script as the identifier writes them: "zh-Hant-TW" -> "zh-Hant", "en-US" -> "en".
std::string detectionKey(std::string_view identifier) {
    const auto locale = localeOf(identifier);
    const std::string script = locale.getScript();
    return std::string(locale.getLanguage()) + (script.empty() ? "" : "-" + script);
}

// Language and likely script: two identifiers that write the same language the same way.
std::string languageAndScript(std::string_view identifier) {
    auto filled = localeOf(identifier);
    UErrorCode status = U_ZERO_ERROR;
    filled.addLikelySubtags(status);
    return std::string(filled.getLanguage()) + "-" + filled.getScript();
}

} // namespace

SpeechModel::Configuration SpeechModel::standard(std::shared_ptr<core::SettingsStore> settings,
                                                 std::function<std::string()> interfaceLanguage,
                                                 std::vector<std::string> systemLanguages) {
    Configuration configuration;
    configuration.dictationFolders = PocketsphinxModels::defaultFolders();
    configuration.speechFolder = core::XdgFolders::dataHome() / "Ambrel/models/speech";
    configuration.adaptationFolder = core::XdgFolders::dataHome() / "Ambrel/adaptation";
    configuration.speechAvailable = VoskLibrary::shared() != nullptr;
    const std::string url = settings->stringValue(catalogURLKey).value_or(ModelCatalog::defaultURL);
    auto catalog = std::make_shared<ModelCatalog>(
        url, core::XdgFolders::cacheHome() / "Ambrel/model-list.json",
        [](const std::string& address) { return HttpClient().fetch(address, 4 * 1024 * 1024, 15); },
        core::Clocks::now);
    configuration.speechCatalog = [catalog](bool fetchNow) { return catalog->entries(fetchNow); };
    configuration.interfaceLanguage = std::move(interfaceLanguage);
    for (auto language : systemLanguages) {
        std::replace(language.begin(), language.end(), '_', '-');
        configuration.systemLanguages.push_back(std::move(language));
    }
    for (const auto& language : configuration.systemLanguages) {
        if (const std::string region = localeOf(language).getCountry(); !region.empty()) {
            configuration.region = region;
            break;
        }
    }
    configuration.settings = std::move(settings);
    return configuration;
}

SpeechModel::SpeechModel(Configuration configuration) : configuration_(std::move(configuration)) {}

std::set<std::string> SpeechModel::installedSpeech() const {
    std::set<std::string> installed;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(configuration_.speechFolder, error)) {
        const std::string name = entry.path().filename().string();
        if (!name.empty() && name.front() != '.' && entry.is_directory(error)) {
            installed.insert(name);
        }
    }
    return installed;
}

SpeechModel::Supported SpeechModel::supported(bool fetchNow) {
    Supported supported;
    if (configuration_.speechAvailable) {
        supported.installedSpeech = installedSpeech();
        std::set<std::string> speech = supported.installedSpeech;
        if (configuration_.speechCatalog) {
            auto listing = configuration_.speechCatalog(fetchNow);
            for (const auto& entry : listing.entries) {
                speech.insert(entry.locale);
            }
            supported.listProblem = std::move(listing.problem);
        }
        supported.speech.assign(speech.begin(), speech.end());
    }
    for (const auto& model : PocketsphinxModels::installed(configuration_.dictationFolders)) {
        supported.dictation.push_back(model.locale);
    }
    return supported;
}

std::vector<std::string> SpeechModel::preferredForms(std::string_view language) const {
    std::vector<std::string> forms;
    auto add = [&](std::string form) {
        if (!form.empty() && std::find(forms.begin(), forms.end(), form) == forms.end()) {
            forms.push_back(std::move(form));
        }
    };
    const std::string full = maximal(language);
    if (namesRegion(language)) {
        add(full);
    }
    if (!configuration_.region.empty()) {
        add(withRegion(full, configuration_.region));
    }
    add(maximal(withoutRegion(language)));
    return forms;
}

namespace {

std::optional<RecognitionLanguage> resolveAmong(std::string_view identifier,
                                                const std::vector<std::string>& forms,
                                                const std::vector<std::string>& speech,
                                                const std::vector<std::string>& dictation) {
    auto find = [](const std::vector<std::string>& locales, const auto& matches) {
        return std::find_if(locales.begin(), locales.end(), matches);
    };
    for (const auto& form : forms) {
        const auto matches = [&](const std::string& locale) { return maximal(locale) == form; };
        if (auto found = find(speech, matches); found != speech.end()) {
            return RecognitionLanguage{*found, RecognitionLanguage::Engine::speech};
        }
        if (auto found = find(dictation, matches); found != dictation.end()) {
            return RecognitionLanguage{*found, RecognitionLanguage::Engine::dictation};
        }
    }
    // Nothing in the wanted region: any locale of the same language and script.
    const std::string wanted = languageAndScript(identifier);
    const auto equivalent = [&](const std::string& locale) {
        return languageAndScript(locale) == wanted;
    };
    if (auto found = find(speech, equivalent); found != speech.end()) {
        return RecognitionLanguage{*found, RecognitionLanguage::Engine::speech};
    }
    if (auto found = find(dictation, equivalent); found != dictation.end()) {
        return RecognitionLanguage{*found, RecognitionLanguage::Engine::dictation};
    }
    return std::nullopt;
}

} // namespace

std::optional<RecognitionLanguage> SpeechModel::resolveIn(std::string_view identifier,
                                                          const Supported& engines) const {
    if (std::string_view(localeOf(identifier).getLanguage()).empty()) {
        return std::nullopt;
    }
    return resolveAmong(identifier, preferredForms(identifier), engines.speech, engines.dictation);
}

std::optional<RecognitionLanguage> SpeechModel::resolve(std::string_view identifier) {
    return resolveIn(identifier, supported());
}

std::vector<std::string> SpeechModel::defaultDetectLanguages() {
    std::vector<std::string> candidates;
    if (configuration_.interfaceLanguage) {
        candidates.push_back(configuration_.interfaceLanguage());
    }
    candidates.insert(candidates.end(), configuration_.systemLanguages.begin(),
                      configuration_.systemLanguages.end());
    candidates.emplace_back("en-US");
    std::vector<std::string> result;
    for (const auto& candidate : candidates) {
        const std::string key = detectionKey(candidate);
        const auto same =
            std::find_if(result.begin(), result.end(),
                         [&](const std::string& earlier) { return detectionKey(earlier) == key; });
        if (same == result.end()) {
            result.push_back(candidate);
        } else if (!namesRegion(*same) && namesRegion(candidate)) {
            *same = candidate; // a region-specific form beats a bare one, in the earlier place
        }
    }
    return result;
}

std::vector<RecognitionLanguage> SpeechModel::languages(const SpeechOptions& options) {
    return languagesIn(options, supported());
}

bool SpeechModel::namesLanguage(std::string_view identifier) {
    const std::string language = localeOf(identifier).getLanguage();
    if (language.empty()) {
        return false;
    }
    for (const char* const* known = icu::Locale::getISOLanguages(); *known != nullptr; ++known) {
        if (language == *known) {
            return true;
        }
    }
    return false;
}

LanguageChoice SpeechModel::choose(const SpeechOptions& options) {
    const auto engines = supported();
    LanguageChoice choice;
    choice.languages = languagesIn(options, engines);
    choice.listProblem = engines.listProblem;
    if (!options.automaticLanguages) {
        for (const auto& identifier : options.chosenLanguages) {
            if (namesLanguage(identifier) && !resolveIn(identifier, engines)) {
                choice.unavailable.push_back(identifier);
            }
        }
    }
    return choice;
}

std::vector<RecognitionLanguage> SpeechModel::languagesIn(const SpeechOptions& options,
                                                          const Supported& engines) {
    const bool automatic = options.automaticLanguages || options.chosenLanguages.empty();
    const auto identifiers = automatic ? defaultDetectLanguages() : options.chosenLanguages;
    const std::size_t limit = automatic ? 3 : 5;
    std::vector<RecognitionLanguage> languages;
    for (const auto& identifier : identifiers) {
        if (languages.size() >= limit) {
            break;
        }
        const auto language = resolveIn(identifier, engines);
        if (language &&
            std::find(languages.begin(), languages.end(), *language) == languages.end()) {
            languages.push_back(*language);
        }
    }
    if (languages.empty()) {
        if (const auto fallback = resolveIn("en-US", engines)) {
            languages.push_back(*fallback);
        }
    }
    return languages;
}

SpeechModel::Catalog SpeechModel::catalog(bool fetchNow) {
    const auto engines = supported(fetchNow);
    Catalog catalog;
    catalog.listProblem = engines.listProblem;
    for (const auto* list : {&engines.speech, &engines.dictation}) {
        for (const auto& locale : *list) {
            if (std::find(catalog.supported.begin(), catalog.supported.end(), locale) ==
                catalog.supported.end()) {
                catalog.supported.push_back(locale);
            }
        }
    }
    // The folders were read once, by supported().
    catalog.installed = engines.installedSpeech;
    catalog.installed.insert(engines.dictation.begin(), engines.dictation.end());
    catalog.defaultCandidates =
        RecognitionLanguage::identifiers(languagesIn(SpeechOptions{}, engines));
    return catalog;
}

std::unique_ptr<Recognizer> SpeechModel::makeRecognizer(const RecognitionLanguage& language,
                                                        core::SpeechSource source) {
    if (language.engine == RecognitionLanguage::Engine::speech) {
        return std::make_unique<VoskRecognizer>(configuration_.speechFolder / language.identifier,
                                                language.identifier);
    }
    for (const auto& model : PocketsphinxModels::installed(configuration_.dictationFolders)) {
        if (model.locale == language.identifier) {
            const auto store = std::make_shared<AdaptationStore>(configuration_.adaptationFolder);
            const auto name = AdaptationStore::nameFor("dictation", language.identifier,
                                                       std::string(core::rawValue(source)));
            return std::make_unique<PocketsphinxRecognizer>(
                model,
                PocketsphinxRecognizer::Adaptation{
                    [store, name](std::size_t count) { return store->load(name, count); },
                    [store, name](const std::vector<double>& mean) { store->save(name, mean); }});
        }
    }
    throw std::runtime_error(
        fmt::format("There is no dictation model for {}", language.identifier));
}

void SpeechModel::reserve(const std::vector<std::string>& locales,
                          const std::vector<std::string>& inUse) {
    if (!configuration_.settings) {
        return;
    }
    auto reserved =
        configuration_.settings->stringListValue(reservedKey).value_or(std::vector<std::string>{});
    for (const auto& locale : locales) {
        if (std::find(reserved.begin(), reserved.end(), locale) != reserved.end()) {
            continue;
        }
        if (reserved.size() >= configuration_.maximumReserved) {
            const auto unwanted =
                std::find_if(reserved.begin(), reserved.end(), [&](const std::string& r) {
                    return std::find(locales.begin(), locales.end(), r) == locales.end() &&
                           std::find(inUse.begin(), inUse.end(), r) == inUse.end();
                });
            if (unwanted != reserved.end()) {
                // Released models go: they are large, and can be downloaded again.
                std::error_code error;
                fs::remove_all(configuration_.speechFolder / *unwanted, error);
                fs::remove(ModelInstaller::partialFile(configuration_.speechFolder / *unwanted),
                           error);
                core::Log::transcript().notice(
                    fmt::format("Removed the speech model for {}", *unwanted));
                reserved.erase(unwanted);
            }
        }
        reserved.push_back(locale);
    }
    configuration_.settings->setValue(reservedKey, reserved);
}

void SpeechModel::ensureInstalled(const std::vector<RecognitionLanguage>& languages,
                                  const std::function<void(double)>& progress,
                                  const std::atomic<bool>* cancelled) {
    const auto installed = installedSpeech();
    std::vector<std::string> missing;
    std::vector<std::string> inUse; // never released for a download of the same run
    for (const auto& language : languages) {
        if (language.engine != RecognitionLanguage::Engine::speech) {
            continue;
        }
        inUse.push_back(language.identifier);
        if (!installed.contains(language.identifier)) {
            missing.push_back(language.identifier);
        }
    }
    if (missing.empty()) {
        return;
    }
    reserve(missing, inUse);
    const auto entries = configuration_.speechCatalog ? configuration_.speechCatalog(false).entries
                                                      : std::vector<ModelCatalog::Entry>{};
    // One installation at a time: two of the same language would share their partial file.
    static std::mutex installing;
    const std::lock_guard lock(installing);
    const auto count = static_cast<double>(missing.size());
    for (std::size_t i = 0; i < missing.size(); ++i) {
        const auto entry = std::find_if(entries.begin(), entries.end(),
                                        [&](const auto& e) { return e.locale == missing[i]; });
        if (entry == entries.end()) {
            continue;
        }
        core::FileAccess::createPrivateFolders(configuration_.speechFolder);
        ModelInstaller::install(
            entry->archive, configuration_.speechFolder / missing[i],
            [&](double fraction) {
                if (progress) {
                    progress((fraction + static_cast<double>(i)) / count);
                }
            },
            cancelled);
    }
}

} // namespace ambrel
