#include "EchoFilter.h"

#include <algorithm>

namespace ambrel::core {

namespace {

// Texts shorter than this (in characters, after normalising) only match when equal.
constexpr std::size_t minimumFuzzyLength = 8;

bool contains(const std::vector<TextSimilarity::Character>& longer,
              const std::vector<TextSimilarity::Character>& shorter) {
    return std::search(longer.begin(), longer.end(), shorter.begin(), shorter.end()) !=
           longer.end();
}

} // namespace

bool EchoFilter::matches(const Entry& entry, const std::string& normalized,
                         const std::vector<TextSimilarity::Character>& characters) const {
    if (normalized.empty() || entry.normalized.empty()) {
        return false;
    }
    if (entry.normalized == normalized) {
        return true;
    }
    // On equal lengths the checked line counts as the shorter one.
    const bool lineIsShorter = characters.size() <= entry.characters.size();
    const auto& shorter = lineIsShorter ? characters : entry.characters;
    const auto& longer = lineIsShorter ? entry.characters : characters;
    if (shorter.size() < minimumFuzzyLength) {
        return false;
    }
    return contains(longer, shorter) ||
           TextSimilarity::similarity(entry.characters, characters) >= threshold;
}

bool EchoFilter::resemblesSystemAudio(std::string_view text, std::string_view playing, Instant at,
                                      double looseThreshold) const {
    const auto normalized = TextSimilarity::normalize(text);
    if (normalized.empty()) {
        return false;
    }
    const auto characters = TextSimilarity::characters(normalized);
    const auto playingNormalized = TextSimilarity::normalize(playing);
    std::vector<TextSimilarity::Character> heard;
    bool equal = playingNormalized == normalized;
    for (const auto& entry : recent_) {
        if (entry.source == SpeechSource::systemAudio && at - entry.date <= window) {
            equal = equal || entry.normalized == normalized;
            heard.insert(heard.end(), entry.characters.begin(), entry.characters.end());
        }
    }
    if (equal) {
        return true;
    }
    if (characters.size() < minimumFuzzyLength) {
        return false;
    }
    const auto playingCharacters = TextSimilarity::characters(playingNormalized);
    heard.insert(heard.end(), playingCharacters.begin(), playingCharacters.end());
    return TextSimilarity::similarityToNearestStretch(characters, heard) >= looseThreshold;
}

EchoFilter::Decision EchoFilter::check(const TranscriptLine& line, Instant at) {
    std::erase_if(recent_, [&](const Entry& entry) { return at - entry.date > window; });

    auto normalized = TextSimilarity::normalize(line.text);
    auto characters = TextSimilarity::characters(normalized);
    Decision decision;

    if (line.source == SpeechSource::microphone) {
        for (const auto& entry : recent_) {
            if (entry.source == SpeechSource::systemAudio &&
                matches(entry, normalized, characters)) {
                return Decision{false, {}};
            }
        }
    } else {
        for (const auto& entry : recent_) {
            if (entry.source == SpeechSource::microphone &&
                matches(entry, normalized, characters)) {
                decision.removeIDs.push_back(entry.id);
            }
        }
        std::erase_if(recent_, [&](const Entry& entry) {
            return std::find(decision.removeIDs.begin(), decision.removeIDs.end(), entry.id) !=
                   decision.removeIDs.end();
        });
    }
    recent_.push_back(
        Entry{line.id, line.source, std::move(normalized), std::move(characters), at});
    return decision;
}

} // namespace ambrel::core
