#pragma once

#include "Instant.h"
#include "SpeechSource.h"
#include "TextSimilarity.h"
#include "TranscriptLine.h"
#include "Uuid.h"

#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace ambrel::core {

// Decides whether a microphone line merely repeats what the speakers played a moment ago (drop
// it), and whether a system-audio line shows that recent microphone lines were such echoes
// (withdraw them). Lines are compared only across the two sources.
class EchoFilter {
public:
    struct Decision {
        bool keep = true;
        std::vector<Uuid> removeIDs; // earlier microphone lines to take out of the session

        bool operator==(const Decision&) const = default;
    };

    double window;    // seconds a recorded line stays a candidate
    double threshold; // similarity at which two lines are the same speech

    EchoFilter(double window, double threshold) : window(window), threshold(threshold) {}

    // `at` is when the caller records the line (not the line's start).
    Decision check(const TranscriptLine& line, Instant at);

    // Whether a text looks like what the speakers played within the window before `at` (the
    // system-audio lines checked so far, then `playing`, what they are saying right now): a
    // short text must equal one of them; from 8 characters on it must match some stretch of
    // them with at least `looseThreshold` similarity. Changes nothing.
    bool resemblesSystemAudio(std::string_view text, std::string_view playing, Instant at,
                              double looseThreshold) const;

private:
    struct Entry {
        Uuid id;
        SpeechSource source;
        std::string normalized;
        std::vector<TextSimilarity::Character> characters;
        Instant date;
    };

    bool matches(const Entry& entry, const std::string& normalized,
                 const std::vector<TextSimilarity::Character>& characters) const;

    std::deque<Entry> recent_; // oldest first
};

} // namespace ambrel::core
