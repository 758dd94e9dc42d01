#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The one comparison of recognised texts that the echo filter and the language arbiter share.
// A "character" is a user-perceived character (an extended grapheme cluster); every count below
// is in such characters, and canonically equivalent characters compare equal. Texts are UTF-8.
namespace ambrel::core::TextSimilarity {

// NFC, full locale-independent lower case, then only the characters that hold a letter
// (Alphabetic) or a number (any Numeric_Type); spaces go too: "Hello, World!" -> "helloworld".
std::string normalize(std::string_view text);

// 1 - editDistance / longerLength over the normalised texts; 1.0 when both normalise to nothing.
double similarity(std::string_view a, std::string_view b);

// Where in `text` a repetition of `other` ends, as a byte offset into `text` that is always a
// character boundary (the end of the text when all of it repeats `other`'s beginning);
// none when `text` does not start by repeating `other` closely enough.
std::optional<std::size_t> endOfRepeatedPrefix(std::string_view text, std::string_view other,
                                               double threshold);

// A character of normalised text as a number: equal characters have equal keys. Characters of up
// to seven UTF-8 bytes are packed exactly; longer ones (emoji sequences) are hashed to 56 bits.
using Character = std::uint64_t;

// The characters of a text that normalize() produced.
std::vector<Character> characters(std::string_view normalizedText);

// Levenshtein distance with unit costs (bit-parallel, so long texts stay cheap).
std::size_t distance(std::span<const Character> a, std::span<const Character> b);

// similarity() of texts already split with characters(normalize(...)).
double similarity(std::span<const Character> a, std::span<const Character> b);

// How closely `text` matches the stretch of `within` that is nearest to it: 1 - the smallest
// edit distance to any substring of `within`, over the length of `text`; 0 for an empty text.
// A text contained in `within` scores 1. Costs |text| x |within|.
double similarityToNearestStretch(std::span<const Character> text,
                                  std::span<const Character> within);

} // namespace ambrel::core::TextSimilarity
