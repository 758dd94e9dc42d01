#include "LineCasing.h"

#include <unicode/locid.h>
#include <unicode/ucasemap.h>
#include <unicode/unistr.h>

#include <string>

namespace ambrel::core::LineCasing {

namespace {

// The root locale for a tag ICU cannot read: plain Unicode casing.
icu::Locale localeOf(std::string_view tag) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale locale = icu::Locale::forLanguageTag(std::string(tag), status);
    return U_SUCCESS(status) ? locale : icu::Locale::getRoot();
}

bool isWordCharacter(char c) {
    return c != ' ' && c != '\t' && c != '\n' && c != '\r';
}

// "i", "i'm", "i'll", "i've", "i'd" (with either apostrophe), followed by nothing or punctuation.
bool isFirstPersonPronoun(std::string_view word) {
    if (word.empty() || word.front() != 'i') {
        return false;
    }
    std::string_view rest = word.substr(1);
    while (!rest.empty() && (rest.back() == '.' || rest.back() == ',' || rest.back() == '!' ||
                             rest.back() == '?' || rest.back() == ';' || rest.back() == ':')) {
        rest.remove_suffix(1);
    }
    if (rest.empty()) {
        return true;
    }
    for (const std::string_view apostrophe : {"'", "\u2019"}) {
        if (rest.starts_with(apostrophe)) {
            const std::string_view ending = rest.substr(apostrophe.size());
            return ending == "m" || ending == "ll" || ending == "ve" || ending == "d";
        }
    }
    return false;
}

} // namespace

std::string sentenceCase(std::string_view text, std::string_view locale) {
    std::string result(text);
    const icu::Locale rules = localeOf(locale);
    if (std::string_view(rules.getLanguage()) == "en") {
        for (std::size_t at = 0; at < result.size();) {
            if (!isWordCharacter(result[at])) {
                ++at;
                continue;
            }
            std::size_t end = at;
            while (end < result.size() && isWordCharacter(result[end])) {
                ++end;
            }
            if (isFirstPersonPronoun(std::string_view(result).substr(at, end - at))) {
                result[at] = 'I';
            }
            at = end;
        }
    }
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(result);
    unicode.toTitle(nullptr, rules, U_TITLECASE_SENTENCES | U_TITLECASE_NO_LOWERCASE);
    result.clear();
    unicode.toUTF8String(result);
    return result;
}

} // namespace ambrel::core::LineCasing
