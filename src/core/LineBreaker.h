#pragma once

#include "RecognizedSegment.h"

#include <cstddef>
#include <vector>

namespace ambrel::core {

// Cuts a long stretch of decided speech into lines a person can read: once a line is long, the
// next pause ends it; nothing grows past the hard limits, which cut between words. Pure.
struct LineBreaker {
    double longSeconds = 8.0;         // a line this long ends at the next pause
    std::size_t longCharacters = 120; // or this many characters
    double pauseSeconds = 0.35;       // the silence between two words that counts as a pause
    double maximumSeconds = 20.0;     // no line is longer
    std::size_t maximumCharacters = 200;

    // The segment as one or more segments of whole words in the same locale, in order. Words
    // that carry several space-separated words without times of their own are split first,
    // their times shared out by length.
    std::vector<RecognizedSegment> split(const RecognizedSegment& segment) const;
};

} // namespace ambrel::core
