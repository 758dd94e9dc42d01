#pragma once

#include <string>
#include <string_view>

// Recognisers write everything in lower case; a line shown and saved starts as a sentence does.
namespace ambrel::core::LineCasing {

// The text with its first letter in title case by the rules of `locale` (a BCP 47 identifier;
// Dutch "ij" becomes "IJ", Turkish "i" becomes "İ"); in English the pronoun "i" and its
// contractions ("i'm", "i'll", "i've", "i'd") become "I…". Nothing else changes: no punctuation
// is added and no other letter changes case.
std::string sentenceCase(std::string_view text, std::string_view locale);

} // namespace ambrel::core::LineCasing
