#include "TextSimilarity.h"

#include "CharacterBreaks.h"
#include "UnicodeText.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace ambrel::core::TextSimilarity {

namespace {

const icu::Normalizer2& nfc() {
    static const icu::Normalizer2* instance = [] {
        UErrorCode status = U_ZERO_ERROR;
        const auto* normalizer = icu::Normalizer2::getNFCInstance(status);
        if (U_FAILURE(status)) {
            throw std::runtime_error("ICU has no NFC data");
        }
        return normalizer;
    }();
    return *instance;
}

using UnicodeText::characterBreaks;
using UnicodeText::isAscii;

bool isAsciiLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isKeptScalar(UChar32 c) {
    return u_hasBinaryProperty(c, UCHAR_ALPHABETIC) ||
           u_getIntPropertyValue(c, UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

// A character is kept when one of its scalars is a letter or a number.
bool isKept(const icu::UnicodeString& text, int32_t begin, int32_t end) {
    for (int32_t i = begin; i < end;) {
        const UChar32 c = text.char32At(i);
        if (isKeptScalar(c)) {
            return true;
        }
        i += U16_LENGTH(c);
    }
    return false;
}

Character keyOf(std::string_view bytes) {
    if (bytes.size() <= 7) {
        Character key = static_cast<Character>(bytes.size()) << 56;
        std::memcpy(&key, bytes.data(), bytes.size());
        return key;
    }
    std::uint64_t hash = 14695981039346656037ULL; // FNV-1a
    for (const char c : bytes) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    return (hash & 0x00FFFFFFFFFFFFFFULL) | 0xFF00000000000000ULL;
}

// Myers' bit-parallel edit distance (block version, global alignment): the pattern runs down
// the rows, one text character is one column. After each column it knows the distance between
// the whole pattern and the text so far, and the smallest distance over pattern prefixes.
class BitParallelColumn {
public:
    explicit BitParallelColumn(std::span<const Character> pattern)
        : rows_(pattern.size())
        , blockCount_((pattern.size() + 63) / 64)
        , blocks_(blockCount_)
        , score_(pattern.size()) {
        keys_.assign(pattern.begin(), pattern.end());
        std::sort(keys_.begin(), keys_.end());
        keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
        masks_.assign(keys_.size() * blockCount_, 0);
        for (std::size_t row = 0; row < pattern.size(); ++row) {
            const auto key = std::lower_bound(keys_.begin(), keys_.end(), pattern[row]);
            const auto index = static_cast<std::size_t>(key - keys_.begin());
            masks_[index * blockCount_ + row / 64] |= std::uint64_t{1} << (row % 64);
        }
        lastRowBit_ = rows_ == 0 ? 0 : std::uint64_t{1} << ((rows_ - 1) % 64);
    }

    std::size_t advance(Character c) {
        const auto key = std::lower_bound(keys_.begin(), keys_.end(), c);
        const std::uint64_t* equal =
            key != keys_.end() && *key == c
                ? &masks_[static_cast<std::size_t>(key - keys_.begin()) * blockCount_]
                : nullptr;
        int carry = 1; // the top row grows by one per column
        for (std::size_t b = 0; b < blockCount_; ++b) {
            Block& block = blocks_[b];
            std::uint64_t eq = equal != nullptr ? equal[b] : 0;
            const std::uint64_t xv = eq | block.minus;
            if (carry < 0) {
                eq |= 1;
            }
            const std::uint64_t xh = (((eq & block.plus) + block.plus) ^ block.plus) | eq;
            std::uint64_t ph = block.minus | ~(xh | block.plus);
            std::uint64_t mh = block.plus & xh;
            const std::uint64_t high = b + 1 == blockCount_ ? lastRowBit_ : std::uint64_t{1} << 63;
            const int out = (ph & high) != 0 ? 1 : (mh & high) != 0 ? -1 : 0;
            ph <<= 1;
            mh <<= 1;
            if (carry < 0) {
                mh |= 1;
            } else if (carry > 0) {
                ph |= 1;
            }
            block.plus = mh | ~(xv | ph);
            block.minus = ph & xv;
            carry = out;
        }
        score_ = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(score_) + carry);
        return score_;
    }

    // Distance between the text so far and the closest prefix of the pattern (the empty one
    // included).
    std::size_t minimumOverPrefixes() const {
        auto value = static_cast<std::ptrdiff_t>(score_);
        std::ptrdiff_t minimum = value;
        for (std::size_t row = rows_; row >= 1; --row) {
            const Block& block = blocks_[(row - 1) / 64];
            const std::uint64_t bit = std::uint64_t{1} << ((row - 1) % 64);
            value -= (block.plus & bit) != 0 ? 1 : (block.minus & bit) != 0 ? -1 : 0;
            minimum = std::min(minimum, value);
        }
        return static_cast<std::size_t>(minimum);
    }

private:
    struct Block {
        std::uint64_t plus = ~std::uint64_t{0}; // vertical delta +1
        std::uint64_t minus = 0;                // vertical delta -1
    };

    std::size_t rows_;
    std::size_t blockCount_;
    std::vector<Block> blocks_;
    std::vector<Character> keys_;
    std::vector<std::uint64_t> masks_;
    std::uint64_t lastRowBit_ = 0;
    std::size_t score_;
};

} // namespace

std::string normalize(std::string_view text) {
    if (isAscii(text)) {
        std::string result;
        result.reserve(text.size());
        for (const char c : text) {
            if (isAsciiLetterOrDigit(c)) {
                result.push_back(asciiLower(c));
            }
        }
        return result;
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString lowered =
        nfc().normalize(icu::UnicodeString::fromUTF8(
                            icu::StringPiece(text.data(), static_cast<int32_t>(text.size()))),
                        status);
    lowered.toLower(icu::Locale::getRoot());

    icu::UnicodeString kept;
    auto& breaks = characterBreaks();
    breaks.setText(lowered);
    int32_t begin = breaks.first();
    for (int32_t end = breaks.next(); end != icu::BreakIterator::DONE;
         begin = end, end = breaks.next()) {
        if (isKept(lowered, begin, end)) {
            kept.append(lowered, begin, end - begin);
        }
    }
    // Dropping characters can leave marks beside bases they now compose with.
    const icu::UnicodeString composed = nfc().normalize(kept, status);
    std::string result;
    (U_SUCCESS(status) ? composed : kept).toUTF8String(result);
    return result;
}

std::vector<Character> characters(std::string_view normalizedText) {
    std::vector<Character> result;
    if (isAscii(normalizedText)) {
        result.reserve(normalizedText.size());
        for (std::size_t i = 0; i < normalizedText.size(); ++i) {
            const std::size_t length = i + 1 < normalizedText.size() && normalizedText[i] == '\r' &&
                                               normalizedText[i + 1] == '\n'
                                           ? 2
                                           : 1;
            result.push_back(keyOf(normalizedText.substr(i, length)));
            i += length - 1;
        }
        return result;
    }
    const auto cuts = UnicodeText::characterBoundaries(normalizedText);
    result.reserve(cuts.size());
    for (std::size_t i = 1; i < cuts.size(); ++i) {
        result.push_back(keyOf(normalizedText.substr(cuts[i - 1], cuts[i] - cuts[i - 1])));
    }
    return result;
}

std::size_t distance(std::span<const Character> a, std::span<const Character> b) {
    if (a.empty()) {
        return b.size();
    }
    if (b.empty()) {
        return a.size();
    }
    // The shorter text as the pattern keeps the bit vectors short.
    const auto& pattern = a.size() <= b.size() ? a : b;
    const auto& text = a.size() <= b.size() ? b : a;
    BitParallelColumn column(pattern);
    std::size_t score = pattern.size();
    for (const Character c : text) {
        score = column.advance(c);
    }
    return score;
}

double similarity(std::span<const Character> a, std::span<const Character> b) {
    const std::size_t longer = std::max(a.size(), b.size());
    if (longer == 0) {
        return 1.0;
    }
    return 1.0 - static_cast<double>(distance(a, b)) / static_cast<double>(longer);
}

double similarityToNearestStretch(std::span<const Character> text,
                                  std::span<const Character> within) {
    if (text.empty()) {
        return 0.0;
    }
    // Levenshtein over prefixes of `text`, free to start and to end anywhere in `within`.
    std::vector<std::size_t> column(text.size() + 1);
    for (std::size_t i = 0; i < column.size(); ++i) {
        column[i] = i;
    }
    std::size_t best = text.size();
    for (const Character c : within) {
        std::size_t diagonal = column[0];
        column[0] = 0;
        for (std::size_t i = 1; i < column.size(); ++i) {
            const std::size_t above = column[i];
            column[i] =
                std::min({column[i] + 1, column[i - 1] + 1, diagonal + (text[i - 1] == c ? 0 : 1)});
            diagonal = above;
        }
        best = std::min(best, column.back());
    }
    return 1.0 - static_cast<double>(best) / static_cast<double>(text.size());
}

double similarity(std::string_view a, std::string_view b) {
    return similarity(characters(normalize(a)), characters(normalize(b)));
}

std::optional<std::size_t> endOfRepeatedPrefix(std::string_view text, std::string_view other,
                                               double threshold) {
    const auto target = characters(normalize(other));
    const auto cuts = UnicodeText::characterBoundaries(text);

    // The normalised characters of `text`, each with the end of the source character it came
    // from; yields[i] tells whether source character i normalises to anything.
    std::vector<Character> normalized;
    std::vector<std::size_t> ends;
    std::vector<bool> yields(cuts.size() - 1, false);
    for (std::size_t i = 1; i < cuts.size(); ++i) {
        const auto source = text.substr(cuts[i - 1], cuts[i] - cuts[i - 1]);
        if (source.size() == 1 && isAscii(source)) {
            if (isAsciiLetterOrDigit(source[0])) {
                normalized.push_back(keyOf(std::string(1, asciiLower(source[0]))));
                ends.push_back(cuts[i]);
                yields[i - 1] = true;
            }
            continue;
        }
        for (const Character c : characters(normalize(source))) {
            normalized.push_back(c);
            ends.push_back(cuts[i]);
            yields[i - 1] = true;
        }
    }

    const std::size_t n = target.size();
    const std::size_t count = normalized.size();
    if (n == 0 || count == 0) {
        return std::nullopt;
    }
    BitParallelColumn column(target);
    std::size_t bestLength = 0;
    std::size_t bestDistance = n;
    for (std::size_t i = 1; i <= count; ++i) {
        const std::size_t distanceToWhole = column.advance(normalized[i - 1]);
        if (distanceToWhole <= bestDistance) {
            bestLength = i;
            bestDistance = distanceToWhole;
        }
    }
    const std::size_t toBestPrefix = column.minimumOverPrefixes();
    if (toBestPrefix <= bestDistance &&
        1.0 - static_cast<double>(toBestPrefix) / static_cast<double>(count) >= threshold) {
        return text.size();
    }
    if (bestLength >= 1 &&
        1.0 - static_cast<double>(bestDistance) / static_cast<double>(n) >= threshold) {
        // Step over what normalises to nothing (spaces, punctuation) up to the next word.
        std::size_t position = ends[bestLength - 1];
        auto index = static_cast<std::size_t>(std::lower_bound(cuts.begin(), cuts.end(), position) -
                                              cuts.begin());
        while (index + 1 < cuts.size() && !yields[index]) {
            ++index;
        }
        return cuts[index];
    }
    return std::nullopt;
}

} // namespace ambrel::core::TextSimilarity
