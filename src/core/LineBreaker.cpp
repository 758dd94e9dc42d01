#include "LineBreaker.h"

#include "UnicodeText.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace ambrel::core {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A word whose text holds several words (an engine that timed only the whole result) becomes
// one word each, with the time shared out by their lengths. Spacing stays with the word after.
void appendSplitting(const RecognizedSegment::Word& word,
                     std::vector<RecognizedSegment::Word>& out) {
    std::vector<std::string> pieces;
    std::size_t at = 0;
    const std::string& text = word.text;
    while (at < text.size()) {
        std::size_t end = at;
        while (end < text.size() && isSpace(text[end])) {
            ++end; // leading spacing belongs to the piece
        }
        while (end < text.size() && !isSpace(text[end])) {
            ++end;
        }
        pieces.push_back(text.substr(at, end - at));
        at = end;
    }
    if (pieces.size() <= 1) {
        out.push_back(word);
        return;
    }
    double total = 0;
    for (const auto& piece : pieces) {
        total += static_cast<double>(UnicodeText::characterCount(piece));
    }
    double start = word.start;
    double done = 0;
    for (auto& piece : pieces) {
        done += static_cast<double>(UnicodeText::characterCount(piece));
        const double end = word.start + (word.end - word.start) * (total > 0 ? done / total : 1.0);
        out.push_back({std::move(piece), start, end, word.confidence});
        start = end;
    }
}

} // namespace

std::vector<RecognizedSegment> LineBreaker::split(const RecognizedSegment& segment) const {
    std::vector<RecognizedSegment::Word> words;
    for (const auto& word : segment.words) {
        appendSplitting(word, words);
    }
    std::vector<RecognizedSegment> lines;
    std::vector<RecognizedSegment::Word> line;
    std::size_t characters = 0;
    auto endLine = [&] {
        if (!line.empty()) {
            lines.emplace_back(segment.locale, std::move(line));
            line.clear();
            characters = 0;
        }
    };
    for (std::size_t i = 0; i < words.size(); ++i) {
        const auto& word = words[i];
        const std::size_t length =
            UnicodeText::characterCount(UnicodeText::trimmingWhitespace(word.text));
        const std::size_t spaced = characters + (characters > 0 ? 1 : 0) + length;
        if (!line.empty() &&
            (spaced > maximumCharacters || word.end - line.front().start > maximumSeconds)) {
            endLine();
        }
        characters += (characters > 0 ? 1 : 0) + length;
        line.push_back(word);
        const bool isLong =
            characters >= longCharacters || word.end - line.front().start >= longSeconds;
        const bool pauseFollows =
            i + 1 < words.size() && words[i + 1].start - word.end >= pauseSeconds;
        if (isLong && pauseFollows) {
            endLine();
        }
    }
    endLine();
    return lines;
}

} // namespace ambrel::core
