#include "TextMatcher.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <unordered_map>

namespace ambrel::core {

namespace {

// Accents and the kana voicing marks: differences of the second rank when comparing text. Other
// combining marks (the vowel signs of Indic scripts, for example) are letters in their own right.
bool isAccent(UChar32 c) {
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
           (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
           (c >= 0xFE20 && c <= 0xFE2F) || c == 0x3099 || c == 0x309A;
}

std::string foldCodePoint(UChar32 c) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfkd = icu::Normalizer2::getNFKDInstance(status);
    icu::UnicodeString decomposed;
    if (U_SUCCESS(status)) {
        decomposed = nfkd->normalize(icu::UnicodeString(c), status);
    }
    if (U_FAILURE(status)) {
        decomposed = icu::UnicodeString(c);
    }
    icu::UnicodeString kept;
    for (int32_t i = 0; i < decomposed.length();) {
        const UChar32 part = decomposed.char32At(i);
        if (!isAccent(part)) {
            kept.append(part);
        }
        i += U16_LENGTH(part);
    }
    kept.foldCase();
    std::string result;
    kept.toUTF8String(result);
    return result;
}

// Folding the same characters again and again is the common case.
const std::string& folded(UChar32 c) {
    thread_local std::unordered_map<UChar32, std::string> cache;
    auto found = cache.find(c);
    if (found == cache.end()) {
        found = cache.emplace(c, foldCodePoint(c)).first;
    }
    return found->second;
}

} // namespace

std::string TextMatcher::fold(std::string_view text, std::vector<std::uint32_t>* origins) {
    std::string result;
    result.reserve(text.size());
    if (origins != nullptr) {
        origins->clear();
        origins->reserve(text.size() + 1);
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t i = 0;
    while (i < length) {
        const int32_t start = i;
        if (bytes[i] < 0x80) {
            const char c = static_cast<char>(bytes[i]);
            result += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
            ++i;
            if (origins != nullptr) {
                origins->push_back(static_cast<std::uint32_t>(start));
            }
            continue;
        }
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        const std::string& part = folded(c < 0 ? 0xFFFD : c);
        result += part;
        if (origins != nullptr) {
            origins->insert(origins->end(), part.size(), static_cast<std::uint32_t>(start));
        }
    }
    if (origins != nullptr) {
        origins->push_back(static_cast<std::uint32_t>(text.size()));
    }
    return result;
}

TextMatcher::TextMatcher(std::string_view query) : folded_(fold(query)) {}

bool TextMatcher::foundIn(std::string_view foldedText) const {
    return !folded_.empty() && foldedText.find(folded_) != std::string_view::npos;
}

std::vector<std::pair<std::size_t, std::size_t>>
TextMatcher::occurrences(std::string_view text) const {
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    if (folded_.empty()) {
        return ranges;
    }
    std::vector<std::uint32_t> origins;
    const std::string haystack = fold(text, &origins);
    std::size_t from = 0;
    while (true) {
        const auto at = std::string_view(haystack).find(folded_, from);
        if (at == std::string_view::npos) {
            return ranges;
        }
        const std::size_t end = at + folded_.size();
        // The characters the match touches: from the one of its first byte to the one after
        // its last byte.
        const std::size_t first = origins[at];
        std::size_t last = end;
        while (last < haystack.size() && origins[last] == origins[end - 1]) {
            ++last;
        }
        const std::size_t textEnd = last < haystack.size() ? origins[last] : text.size();
        if (ranges.empty() || first >= ranges.back().second) {
            ranges.emplace_back(first, textEnd);
        }
        from = end;
    }
}

} // namespace ambrel::core
