#include "L10n.h"

#include "EmbeddedStringTables.h"
#include "Format.h"
#include "StringsTable.h"
#include "core/Log.h"

#include <fmt/format.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <shared_mutex>

namespace ambrel {

namespace {

constexpr std::string_view preferenceKey = "interfaceLanguage";

struct State {
    std::shared_ptr<core::SettingsStore> settings = std::make_shared<core::MemorySettingsStore>();
    std::vector<std::string> systemLanguages = L10n::systemLanguagesFromEnvironment();
    L10n::TableSource tables;
    std::string language = "en";
    StringsTable::Entries table;
};

std::shared_mutex stateMutex;

State& state() {
    static State instance;
    return instance;
}

std::optional<std::string> storedPreference(const State& s) {
    const auto stored = s.settings->stringValue(preferenceKey);
    const auto& supported = L10n::supportedLanguages();
    if (stored && std::find(supported.begin(), supported.end(), *stored) != supported.end()) {
        return stored;
    }
    return std::nullopt;
}

StringsTable::Entries loadTable(const State& s, const std::string& language) {
    if (language == "en") {
        return {};
    }
    const auto bytes = s.tables ? s.tables(language) : EmbeddedStringTables::table(language);
    if (!bytes) {
        return {};
    }
    std::string error;
    auto table = StringsTable::parse(*bytes, &error);
    if (!table) {
        core::Log::transcript().error(fmt::format(
            "The string table of {} is unreadable ({}); showing English", language, error));
        return {};
    }
    return std::move(*table);
}

// Resolves the language and loads its table; the caller holds the lock for writing.
void resolve(State& s) {
    s.language = storedPreference(s).value_or(L10n::bestMatch(s.systemLanguages).value_or("en"));
    s.table = loadTable(s, s.language);
}

std::once_flag resolvedOnce;

// The state, resolved on first use.
State& resolvedState() {
    std::call_once(resolvedOnce, [] {
        const std::unique_lock lock(stateMutex);
        resolve(state());
    });
    return state();
}

// "de_DE.UTF-8@euro" -> "de_DE"; "C" and "POSIX" name no language.
std::optional<std::string> languageOfLocaleName(std::string_view name) {
    name = name.substr(0, name.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX") {
        return std::nullopt;
    }
    return std::string(name);
}

icu::Locale icuLocale(std::string_view identifier) {
    UErrorCode status = U_ZERO_ERROR;
    auto locale = icu::Locale::forLanguageTag(
        icu::StringPiece(identifier.data(), static_cast<int32_t>(identifier.size())), status);
    if (U_FAILURE(status) || locale.isBogus()) {
        locale = icu::Locale(std::string(identifier).c_str());
    }
    return locale;
}

std::string utf8(const icu::UnicodeString& text) {
    std::string result;
    text.toUTF8String(result);
    return result;
}

// ICU echoes the code of a language it has no name for.
bool hasLanguageName(const icu::Locale& locale, const icu::Locale& displayLocale) {
    icu::UnicodeString name;
    locale.getDisplayLanguage(displayLocale, name);
    return !name.isEmpty() && utf8(name) != locale.getLanguage();
}

} // namespace

const std::vector<std::string>& L10n::supportedLanguages() {
    static const std::vector<std::string> codes{"en", "zh-Hans", "zh-Hant", "es", "fr", "de",
                                                "ja", "ko",      "pt-BR",   "ru", "it"};
    return codes;
}

void L10n::configure(std::shared_ptr<core::SettingsStore> settings,
                     std::vector<std::string> systemLanguages, TableSource tables) {
    // Resolved here: the first use must not resolve again from the defaults.
    std::call_once(resolvedOnce, [] {});
    const std::unique_lock lock(stateMutex);
    auto& s = state();
    s.settings = std::move(settings);
    s.systemLanguages = std::move(systemLanguages);
    s.tables = std::move(tables);
    resolve(s);
}

std::vector<std::string> L10n::systemLanguagesFromEnvironment() {
    std::vector<std::string> languages;
    if (const char* list = std::getenv("LANGUAGE"); list != nullptr) {
        std::string_view rest(list);
        while (!rest.empty()) {
            const auto colon = rest.find(':');
            if (auto language = languageOfLocaleName(rest.substr(0, colon))) {
                languages.push_back(std::move(*language));
            }
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        }
    }
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = std::getenv(variable); value != nullptr && *value != '\0') {
            if (auto language = languageOfLocaleName(value)) {
                languages.push_back(std::move(*language));
            }
            break;
        }
    }
    return languages;
}

std::optional<std::string> L10n::bestMatch(std::span<const std::string> preferred) {
    for (const auto& tag : preferred) {
        const auto locale = icuLocale(tag);
        const std::string language = locale.getLanguage();
        const std::string script = locale.getScript();
        const std::string region = locale.getCountry();
        if (language == "zh") {
            const bool traditional =
                script == "Hant" ||
                (script.empty() && (region == "TW" || region == "HK" || region == "MO"));
            return traditional ? "zh-Hant" : "zh-Hans";
        }
        if (language == "pt") {
            return "pt-BR"; // the only Portuguese we have
        }
        const auto& supported = supportedLanguages();
        if (std::find(supported.begin(), supported.end(), language) != supported.end()) {
            return language;
        }
    }
    return std::nullopt;
}

std::optional<std::string> L10n::preference() {
    auto& s = resolvedState();
    const std::shared_lock lock(stateMutex);
    return storedPreference(s);
}

void L10n::setPreference(const std::optional<std::string>& code) {
    auto& s = resolvedState();
    const std::unique_lock lock(stateMutex);
    if (code) {
        s.settings->setValue(preferenceKey, *code);
    } else {
        s.settings->remove(preferenceKey);
    }
    resolve(s);
}

std::string L10n::language() {
    auto& s = resolvedState();
    const std::shared_lock lock(stateMutex);
    return s.language;
}

std::string L10n::localeIdentifier() {
    std::string identifier = language();
    std::replace(identifier.begin(), identifier.end(), '-', '_');
    return identifier;
}

std::string L10n::text(const Text& text) {
    auto& s = resolvedState();
    const std::shared_lock lock(stateMutex);
    const auto found = s.table.find(text.key);
    return found != s.table.end() ? found->second : std::string(text.english);
}

std::string L10n::format(const Text& text,
                         std::initializer_list<core::StringFormat::Argument> arguments) {
    return core::StringFormat::format(L10n::text(text), arguments);
}

core::TranscriptLabels L10n::transcriptLabels() {
    core::TranscriptLabels labels;
    labels.title = text(Texts::transcriptTitle);
    labels.started = text(Texts::transcriptStarted);
    labels.ended = text(Texts::transcriptEnded);
    labels.recording = text(Texts::transcriptRecording);
    labels.duration = text(Texts::transcriptDuration);
    labels.lines = text(Texts::transcriptLines);
    labels.language = text(Texts::transcriptLanguage);
    labels.me = text(Texts::speakerMe);
    labels.others = text(Texts::speakerOthers);
    labels.speakerLine = text(Texts::speakerLine);
    labels.markers = {{core::MarkerKind::paused, text(Texts::markerPaused)},
                      {core::MarkerKind::resumed, text(Texts::markerResumed)}};
    const std::string locale = localeIdentifier();
    labels.formatDuration = [locale](double seconds) { return Format::duration(seconds, locale); };
    labels.languageName = [](const std::string& identifier) { return displayName(identifier); };
    return labels;
}

std::string L10n::speaker(core::SpeechSource source) {
    return text(source == core::SpeechSource::microphone ? Texts::speakerMe : Texts::speakerOthers);
}

std::string L10n::warningSourceFailed(core::SpeechSource source, std::string_view message) {
    return format(source == core::SpeechSource::systemAudio ? Texts::warningSystemAudioFailed
                                                            : Texts::warningMicrophoneFailed,
                  {std::string(message)});
}

std::int64_t L10n::percent(double fraction) {
    const double percent = std::round(fraction * 100); // halves away from zero
    return std::isfinite(percent) ? static_cast<std::int64_t>(percent) : 0;
}

std::string L10n::statusDownloadingModel(double fraction) {
    return format(Texts::statusDownloadingModel, {percent(fraction)});
}

std::string L10n::lineCount(std::int64_t count) {
    return count == 1 ? text(Texts::countLinesOne) : format(Texts::countLinesOther, {count});
}

std::string L10n::displayName(std::string_view identifier) {
    const auto locale = icuLocale(identifier);
    const icu::Locale displayLocale(localeIdentifier().c_str());
    if (!hasLanguageName(locale, displayLocale)) {
        return std::string(identifier);
    }
    icu::UnicodeString name;
    locale.getDisplayName(displayLocale, name);
    return utf8(name);
}

std::string L10n::shortName(std::string_view identifier, std::span<const std::string> among) {
    const auto locale = icuLocale(identifier);
    const std::string language = locale.getLanguage();
    const bool shared = std::any_of(among.begin(), among.end(), [&](const std::string& other) {
        return other != identifier && icuLocale(other).getLanguage() == language;
    });
    if (language.empty() || shared) {
        return displayName(identifier);
    }
    const icu::Locale languageOnly(language.c_str());
    const icu::Locale displayLocale(localeIdentifier().c_str());
    if (!hasLanguageName(languageOnly, displayLocale)) {
        return std::string(identifier);
    }
    icu::UnicodeString name;
    languageOnly.getDisplayLanguage(displayLocale, name);
    return utf8(name);
}

std::string L10n::nativeName(std::string_view identifier) {
    const auto locale = icuLocale(identifier);
    if (!hasLanguageName(locale, locale)) {
        return std::string(identifier);
    }
    icu::UnicodeString name;
    locale.getDisplayName(locale, name);
    // Upper-case the first character only: "français" -> "Français".
    const int32_t firstLength = U16_LENGTH(name.char32At(0));
    icu::UnicodeString first = name.tempSubString(0, firstLength);
    first.toUpper(locale);
    return utf8(first + name.tempSubString(firstLength));
}

} // namespace ambrel
