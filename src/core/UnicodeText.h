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

bool isAscii(std::string_view text);

} // namespace ambrel::core::UnicodeText
