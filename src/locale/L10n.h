#pragma once

#include "Texts.h"
#include "core/SettingsStore.h"
#include "core/SpeechSource.h"
#include "core/StringFormat.h"
#include "core/TranscriptLabels.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ambrel {

// The interface language and its texts. The language is the user's choice ("interfaceLanguage")
// when it is a supported one, else the best match of the system's languages, else English. One
// process-wide state, made on first use and replaced by configure() and setPreference().
class L10n {
public:
    // The raw bytes of a language's table; absent when there is none.
    using TableSource = std::function<std::optional<std::string_view>(std::string_view code)>;

    // The interface languages, in menu order.
    static const std::vector<std::string>& supportedLanguages();

    // The app passes its persistent settings; without this the choice lives in memory only.
    static void
    configure(std::shared_ptr<core::SettingsStore> settings,
              std::vector<std::string> systemLanguages = systemLanguagesFromEnvironment(),
              TableSource tables = {});

    // The system's UI languages from LANGUAGE, then LC_ALL / LC_MESSAGES / LANG ("de_DE", "pt_BR").
    static std::vector<std::string> systemLanguagesFromEnvironment();
    // The supported code that best serves a list of preferred languages, if any.
    static std::optional<std::string> bestMatch(std::span<const std::string> preferred);

    static std::optional<std::string> preference();
    static void setPreference(const std::optional<std::string>& code);
    static std::string language();
    // The ICU locale of the interface language ("zh_Hans", "pt_BR", "de").
    static std::string localeIdentifier();

    static std::string text(const Text& text);
    static std::string format(const Text& text,
                              std::initializer_list<core::StringFormat::Argument> arguments);

    static core::TranscriptLabels transcriptLabels();
    static std::string speaker(core::SpeechSource source);
    static std::string warningSourceFailed(core::SpeechSource source, std::string_view message);
    static std::string statusDownloadingModel(double fraction);
    // A fraction as a whole percentage, halves away from zero; not finite: 0.
    static std::int64_t percent(double fraction);
    static std::string lineCount(std::int64_t count);
    // "English" when no other listed identifier shares the language, else "English (United
    // States)"; the identifier itself when there is no name for it.
    static std::string shortName(std::string_view identifier, std::span<const std::string> among);
    // The language's name in itself, capitalised: "Français".
    static std::string nativeName(std::string_view identifier);
    // The interface locale's name of a locale identifier, or the identifier.
    static std::string displayName(std::string_view identifier);
};

} // namespace ambrel
