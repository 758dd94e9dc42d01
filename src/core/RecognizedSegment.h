#pragma once

#include "Uuid.h"

#include <string>
#include <vector>

namespace ambrel::core {

// One final result of one recogniser: timed words in one locale. Times are seconds on the
// pipeline's audio time line.
class RecognizedSegment {
public:
    struct Word {
        std::string text; // including any spacing that belongs to it
        double start = 0;
        double end = 0;
        double confidence = 0; // 0...1

        bool operator==(const Word&) const = default;
    };

    std::string locale;
    std::vector<Word> words;

    RecognizedSegment(std::string locale, std::vector<Word> words)
        : locale(std::move(locale))
        , words(std::move(words))
        , id_(Uuid::random()) {}

    const Uuid& id() const { return id_; }

    // The words joined without separator, trimmed of white space at both ends.
    std::string text() const;
    bool hasSpeech() const;
    double start() const; // of the first word; 0 without words
    double end() const;   // the greatest word end; 0 without words
    // Mean word confidence weighted by duration (at least 0.05 s per word); 0 without words.
    double confidence() const;

    bool operator==(const RecognizedSegment&) const = default;

private:
    Uuid id_;
};

} // namespace ambrel::core
