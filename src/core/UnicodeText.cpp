#include "UnicodeText.h"

#include "CharacterBreaks.h"

#include <unicode/brkiter.h>
#include <unicode/coll.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>

namespace ambrel::core::UnicodeText {

// Each thread keeps its own iterator; creating one is costly.
icu::BreakIterator& characterBreaks() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) {
            throw std::runtime_error("ICU has no character break rules");
        }
        return created;
    }();
    return *iterator;
}

namespace {

icu::Collator& standardCollator() {
    thread_local std::unique_ptr<icu::Collator> collator = [] {
        // The POSIX locale (LANG unset or "C") sorts in code-point order, upper case first;
        // names then go by the root order like everywhere else.
        const icu::Locale& current = icu::Locale::getDefault();
        const bool posix = std::string_view(current.getVariant()) == "POSIX" ||
                           std::string_view(current.getLanguage()).empty();
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Collator> created(
            icu::Collator::createInstance(posix ? icu::Locale::getRoot() : current, status));
        if (U_FAILURE(status)) {
            status = U_ZERO_ERROR;
            created.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        }
        created->setStrength(icu::Collator::SECONDARY);
        created->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
        return created;
    }();
    return *collator;
}

icu::BreakIterator& wordBreaks() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created(
            icu::BreakIterator::createWordInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) {
            throw std::runtime_error("ICU has no word break rules");
        }
        return created;
    }();
    return *iterator;
}

// Trims code points for which `drop` holds from both ends of UTF-8 text.
template <typename Predicate>
std::string_view trimming(std::string_view text, Predicate drop) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t begin = 0;
    while (begin < length) {
        int32_t next = begin;
        UChar32 c = 0;
        U8_NEXT(bytes, next, length, c);
        if (c < 0 || !drop(c)) {
            break;
        }
        begin = next;
    }
    int32_t end = length;
    while (end > begin) {
        int32_t previous = end;
        UChar32 c = 0;
        U8_PREV(bytes, 0, previous, c);
        if (c < 0 || !drop(c)) {
            break;
        }
        end = previous;
    }
    return text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

} // namespace

int localizedStandardCompare(std::string_view a, std::string_view b) {
    UErrorCode status = U_ZERO_ERROR;
    const auto result = standardCollator().compareUTF8(
        icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
        icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
    return result == UCOL_LESS ? -1 : result == UCOL_GREATER ? 1 : 0;
}

std::string_view trimmingBlanks(std::string_view text) {
    return trimming(text, [](UChar32 c) { return u_isblank(c) != 0; });
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string_view trimmingWhitespace(std::string_view text) {
    return trimming(text, [](UChar32 c) { return u_isUWhiteSpace(c) != 0; });
}

std::vector<std::size_t> characterBoundaries(std::string_view text) {
    std::vector<std::size_t> result{0};
    if (isAscii(text)) {
        // In ASCII only CR LF is a character of two bytes.
        for (std::size_t i = 1; i <= text.size(); ++i) {
            if (!(i < text.size() && text[i - 1] == '\r' && text[i] == '\n')) {
                result.push_back(i);
            }
        }
        return result;
    }
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    auto& breaks = characterBreaks();
    breaks.setText(utext, status);
    if (U_FAILURE(status)) {
        utext_close(utext);
        throw std::runtime_error("cannot split text into characters");
    }
    for (int32_t end = breaks.next(); end != icu::BreakIterator::DONE; end = breaks.next()) {
        result.push_back(static_cast<std::size_t>(end));
    }
    utext_close(utext);
    if (result.back() != text.size()) {
        result.push_back(text.size());
    }
    return result;
}

std::size_t characterCount(std::string_view text) {
    return characterBoundaries(text).size() - 1;
}

std::size_t wordCount(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    auto& breaks = wordBreaks();
    breaks.setText(utext, status);
    if (U_FAILURE(status)) {
        utext_close(utext);
        throw std::runtime_error("cannot split text into words");
    }
    std::size_t count = 0;
    for (int32_t end = breaks.next(); end != icu::BreakIterator::DONE; end = breaks.next()) {
        // The status describes the piece that ends here.
        if (breaks.getRuleStatus() >= UBRK_WORD_NONE_LIMIT) {
            ++count;
        }
    }
    utext_close(utext);
    return count;
}

} // namespace ambrel::core::UnicodeText
