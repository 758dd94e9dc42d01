#pragma once

#include <unicode/brkiter.h>

namespace ambrel::core::UnicodeText {

// This thread's extended-grapheme-cluster iterator. Whoever sets its text finishes with it before
// calling anything else that uses it.
icu::BreakIterator& characterBreaks();

} // namespace ambrel::core::UnicodeText
