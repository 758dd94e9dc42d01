#include "RecognizedSegment.h"

#include "TextSimilarity.h"
#include "UnicodeText.h"

#include <algorithm>

namespace ambrel::core {

std::string RecognizedSegment::text() const {
    std::string joined;
    for (const auto& word : words) {
        joined += word.text;
    }
    return std::string(UnicodeText::trimmingWhitespace(joined));
}

bool RecognizedSegment::hasSpeech() const {
    return !TextSimilarity::normalize(text()).empty();
}

double RecognizedSegment::start() const {
    return words.empty() ? 0 : words.front().start;
}

double RecognizedSegment::end() const {
    if (words.empty()) {
        return 0;
    }
    return std::max_element(words.begin(), words.end(),
                            [](const Word& a, const Word& b) { return a.end < b.end; })
        ->end;
}

double RecognizedSegment::confidence() const {
    double weighted = 0;
    double total = 0;
    for (const auto& word : words) {
        const double weight = std::max(word.end - word.start, 0.05);
        weighted += word.confidence * weight;
        total += weight;
    }
    return total > 0 ? weighted / total : 0;
}

} // namespace ambrel::core
