#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

// Small UTF-8 helpers over ICU's character data. A "character" is an extended grapheme cluster.
namespace ambrel::core::UnicodeText {

// The text without Unicode white space (spaces, tabs, line breaks, no-break spaces…) at either end.
std::string_view trimmingWhitespace(std::string_view text);

// Character boundaries as byte offsets: 0, every boundary inside, and the size.
std::vector<std::size_t> characterBoundaries(std::string_view text);

std::size_t characterCount(std::string_view text);

// Words as the root locale's word breaks find them: runs of letters, digits, kana or ideographs
// (scripts without spaces are split by dictionary). Spaces and punctuation are no words.
std::size_t wordCount(std::string_view text);

bool isAscii(std::string_view text);

// The order a file browser shows names in, for the current locale: case-insensitive, digit runs by
// their value ("Mic 2" before "Mic 10"). Negative, zero or positive.
int localizedStandardCompare(std::string_view a, std::string_view b);

// The text without blanks (spaces of any width and tabs, not line breaks) at either end.
std::string_view trimmingBlanks(std::string_view text);

} // namespace ambrel::core::UnicodeText
