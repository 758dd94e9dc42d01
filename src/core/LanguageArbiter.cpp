#include "LanguageArbiter.h"

#include "TextSimilarity.h"
#include "UnicodeText.h"

#include <algorithm>
#include <set>

namespace ambrel::core {

namespace {

constexpr double midpointFactor = 0.5;
constexpr double repeatWindow = 1.5;
constexpr double groupTolerance = 0.25;
constexpr double presenceTolerance = 0.4;
constexpr double marginBeforeWinner = 0.15;
constexpr double marginAfterWinner = 0.3;
constexpr double repeatSimilarity = 0.6;
constexpr double leftoverMinimumDuration = 0.8;
constexpr double leftoverMinimumConfidence = 0.5;
constexpr std::size_t decidedAheadCap = 599;

std::vector<std::string> wordTexts(const std::vector<RecognizedSegment::Word>& words,
                                   std::size_t from, std::size_t to) {
    std::vector<std::string> texts;
    for (std::size_t i = from; i < to; ++i) {
        texts.push_back(words[i].text);
    }
    return texts;
}

std::vector<std::string> firstWords(const RecognizedSegment& segment) {
    return wordTexts(segment.words, 0, std::min<std::size_t>(3, segment.words.size()));
}

std::vector<std::string> lastWords(const RecognizedSegment& segment) {
    const std::size_t count = segment.words.size();
    return wordTexts(segment.words, count - std::min<std::size_t>(3, count), count);
}

bool overlaps(const RecognizedSegment& a, const RecognizedSegment& b) {
    return b.start() < a.end() && a.start() < b.end();
}

} // namespace

LanguageArbiter::LanguageArbiter(std::vector<std::string> locales, double settleDelay,
                                 double uncertainSettleDelay, double confidentScore,
                                 double stickiness, double minimumConfidence)
    : locales_(std::move(locales))
    , settleDelay_(settleDelay)
    , uncertainSettleDelay_(uncertainSettleDelay)
    , confidentScore_(confidentScore)
    , stickiness_(stickiness)
    , minimumConfidence_(minimumConfidence) {
    if (locales_.size() == 1) {
        currentLocale_ = locales_.front();
    }
}

bool LanguageArbiter::repeats(const RecognizedSegment::Word& word,
                              const std::vector<std::string>& texts) {
    if (texts.empty() || TextSimilarity::normalize(word.text).empty()) {
        return false;
    }
    return std::any_of(texts.begin(), texts.end(), [&](const std::string& text) {
        return TextSimilarity::similarity(text, word.text) >= repeatSimilarity;
    });
}

double LanguageArbiter::score(const RecognizedSegment& segment) const {
    return segment.confidence() + (segment.locale == currentLocale_ ? stickiness_ : 0.0);
}

std::size_t LanguageArbiter::rank(const std::string& locale) const {
    return static_cast<std::size_t>(std::find(locales_.begin(), locales_.end(), locale) -
                                    locales_.begin());
}

std::vector<RecognizedSegment> LanguageArbiter::addFinal(RecognizedSegment segment, double now) {
    volatile_.erase(segment.locale);
    decidedAhead_.erase(segment.locale);

    std::erase_if(segment.words, [&](const RecognizedSegment::Word& word) {
        return (word.start + word.end) * midpointFactor <= decidedUntil_;
    });
    if (lastWinner_ && lastWinner_->locale != segment.locale) {
        while (!segment.words.empty() &&
               segment.words.front().start < lastWinner_->end + repeatWindow &&
               repeats(segment.words.front(), lastWinner_->tail)) {
            segment.words.erase(segment.words.begin());
        }
    }
    if (segment.hasSpeech()) {
        pending_.push_back(Pending{std::move(segment), now});
    }
    return settle(now, false);
}

std::vector<RecognizedSegment> LanguageArbiter::tick(double now) {
    return settle(now, false);
}

std::vector<RecognizedSegment> LanguageArbiter::flush() {
    auto decided = settle(std::numeric_limits<double>::infinity(), true);
    volatile_.clear();
    decidedAhead_.clear();
    return decided;
}

std::size_t LanguageArbiter::firstGroupSize() const {
    if (pending_.empty()) {
        return 0;
    }
    double end = pending_.front().segment.end();
    for (std::size_t i = 1; i < pending_.size(); ++i) {
        if (pending_[i].segment.start() >= end + groupTolerance) {
            return i;
        }
        end = std::max(end, pending_[i].segment.end());
    }
    return pending_.size();
}

std::vector<RecognizedSegment> LanguageArbiter::settle(double now, bool force) {
    std::stable_sort(pending_.begin(), pending_.end(), [](const Pending& a, const Pending& b) {
        return a.segment.start() < b.segment.start();
    });
    std::vector<RecognizedSegment> result;
    while (const std::size_t size = firstGroupSize()) {
        double groupEnd = -std::numeric_limits<double>::infinity();
        double latestArrival = -std::numeric_limits<double>::infinity();
        double bestScore = -std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i < size; ++i) {
            groupEnd = std::max(groupEnd, pending_[i].segment.end());
            latestArrival = std::max(latestArrival, pending_[i].arrived);
            bestScore = std::max(bestScore, score(pending_[i].segment));
        }
        std::set<std::string> present;
        std::set<std::string> inGroup;
        for (std::size_t i = 0; i < size; ++i) {
            inGroup.insert(pending_[i].segment.locale);
            if (pending_[i].segment.end() >= groupEnd - presenceTolerance) {
                present.insert(pending_[i].segment.locale);
            }
        }
        const bool allPresent = std::all_of(locales_.begin(), locales_.end(),
                                            [&](const auto& l) { return present.contains(l); });
        const double delay = bestScore >= confidentScore_
                                 ? settleDelay_
                                 : std::max(settleDelay_, uncertainSettleDelay_);
        if (!force && !allPresent && now - latestArrival < delay) {
            break;
        }

        std::vector<RecognizedSegment> group;
        for (std::size_t i = 0; i < size; ++i) {
            group.push_back(std::move(pending_[i].segment));
        }
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(size));
        auto decided = decide(std::move(group));
        if (decided.empty()) {
            continue;
        }
        decidedUntil_ = std::max(decidedUntil_, groupEnd);
        std::string text;
        for (std::size_t i = 0; i < decided.size(); ++i) {
            text += (i == 0 ? "" : " ") + decided[i].text();
        }
        for (const auto& locale : locales_) {
            if (inGroup.contains(locale) || text.empty()) {
                continue;
            }
            const auto ahead = decidedAhead_.find(locale);
            const std::string prefix = ahead == decidedAhead_.end() ? "" : ahead->second + " ";
            if (UnicodeText::characterCount(prefix) > decidedAheadCap) {
                continue;
            }
            decidedAhead_[locale] = prefix + text;
        }
        result.insert(result.end(), std::make_move_iterator(decided.begin()),
                      std::make_move_iterator(decided.end()));
    }
    return result;
}

std::vector<RecognizedSegment> LanguageArbiter::decide(std::vector<RecognizedSegment> candidates) {
    std::vector<RecognizedSegment> accepted;
    std::set<Uuid> trimmed;
    while (true) {
        std::erase_if(candidates, [](const RecognizedSegment& s) { return !s.hasSpeech(); });
        std::erase_if(candidates, [&](const RecognizedSegment& s) {
            return trimmed.contains(s.id()) && (s.end() - s.start() < leftoverMinimumDuration ||
                                                s.confidence() < leftoverMinimumConfidence);
        });
        if (candidates.empty()) {
            break;
        }
        std::size_t best = 0;
        for (std::size_t i = 1; i < candidates.size(); ++i) {
            const double a = score(candidates[i]);
            const double b = score(candidates[best]);
            if (a > b || (a == b && rank(candidates[i].locale) < rank(candidates[best].locale))) {
                best = i;
            }
        }
        RecognizedSegment winner = std::move(candidates[best]);
        candidates.erase(candidates.begin() + static_cast<std::ptrdiff_t>(best));

        const bool isolated = std::none_of(accepted.begin(), accepted.end(),
                                           [&](const auto& s) { return overlaps(winner, s); }) &&
                              std::none_of(candidates.begin(), candidates.end(),
                                           [&](const auto& s) { return overlaps(winner, s); });
        if (isolated && locales_.size() >= 2 && winner.confidence() < minimumConfidence_) {
            continue;
        }

        const double low =
            winner.words.empty() ? -marginBeforeWinner : winner.start() - marginBeforeWinner;
        const double high = winner.end();
        const double firstStart = winner.words.empty() ? 0 : winner.words.front().start;
        const auto head = firstWords(winner);
        const auto tail = lastWords(winner);
        for (auto& candidate : candidates) {
            if (candidate.locale == winner.locale) {
                continue;
            }
            auto& words = candidate.words;
            const auto removed = std::erase_if(words, [&](const RecognizedSegment::Word& w) {
                return w.start < high + marginAfterWinner && low < w.end;
            });
            if (removed > 0) {
                trimmed.insert(candidate.id());
            }
            while (!words.empty() && words.front().start >= high + marginAfterWinner &&
                   words.front().start < high + repeatWindow && repeats(words.front(), tail)) {
                words.erase(words.begin());
                trimmed.insert(candidate.id());
            }
            while (!words.empty() && words.back().end <= low &&
                   words.back().end > firstStart - repeatWindow && repeats(words.back(), head)) {
                words.pop_back();
                trimmed.insert(candidate.id());
            }
        }
        accepted.push_back(std::move(winner));
    }

    std::stable_sort(accepted.begin(), accepted.end(),
                     [](const auto& a, const auto& b) { return a.start() < b.start(); });
    if (accepted.empty()) {
        return accepted;
    }
    currentLocale_ = accepted.back().locale;
    const auto latest =
        std::max_element(accepted.begin(), accepted.end(),
                         [](const auto& a, const auto& b) { return a.end() < b.end(); });
    lastWinner_ = Winner{latest->locale, latest->end(), lastWords(*latest)};
    for (auto& segment : accepted) {
        auto& words = segment.words;
        const auto firstKept = std::find_if(words.begin(), words.end(), [](const auto& w) {
            return !TextSimilarity::normalize(w.text).empty();
        });
        words.erase(words.begin(), firstKept);
    }
    return accepted;
}

void LanguageArbiter::setVolatile(const std::string& locale, const std::string& text,
                                  double confidence) {
    if (text.empty()) {
        volatile_.erase(locale);
    } else {
        volatile_[locale] = VolatileResult{text, confidence, locale};
    }
}

std::optional<std::string> LanguageArbiter::addVolatile(const std::string& locale,
                                                        const std::string& text,
                                                        double confidence) {
    setVolatile(locale, text, confidence);
    return volatileText();
}

std::optional<LanguageArbiter::VolatileResult> LanguageArbiter::volatileResult() const {
    std::map<std::string, VolatileResult> candidates;
    for (const auto& [locale, result] : volatile_) {
        std::string text = result.text;
        if (const auto ahead = decidedAhead_.find(locale); ahead != decidedAhead_.end()) {
            if (const auto end =
                    TextSimilarity::endOfRepeatedPrefix(text, ahead->second, repeatSimilarity)) {
                text = text.substr(*end);
            }
        }
        if (!TextSimilarity::normalize(text).empty()) {
            candidates[locale] = VolatileResult{std::move(text), result.confidence, locale};
        }
    }
    if (currentLocale_) {
        if (const auto current = candidates.find(*currentLocale_); current != candidates.end()) {
            return current->second;
        }
    }
    std::optional<VolatileResult> best;
    for (const auto& [locale, result] : candidates) {
        if (!best || result.confidence > best->confidence) {
            best = result;
        }
    }
    return best;
}

std::optional<std::string> LanguageArbiter::volatileText() const {
    if (auto result = volatileResult()) {
        return std::move(result->text);
    }
    return std::nullopt;
}

} // namespace ambrel::core
