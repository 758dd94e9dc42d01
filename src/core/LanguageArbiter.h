#pragma once

#include "RecognizedSegment.h"
#include "Uuid.h"

#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ambrel::core {

// Turns the parallel results of one recogniser per language into one stream: holds finals until
// the competing languages have answered (or a delay passed), picks per stretch of speech the most
// plausible language, cuts the overlapping words out of the losers, drops words that merely
// repeat what was just decided, and chooses which volatile text to show. It never reads a clock:
// `now` comes from the owner's monotonic clock and is compared only with other `now` values.
class LanguageArbiter {
public:
    struct VolatileResult {
        std::string text;
        double confidence = 0;
        std::string locale; // whose text it is

        bool operator==(const VolatileResult&) const = default;
    };

    // The values the speech pipeline uses.
    static constexpr double standardSettleDelay = 1.2;
    static constexpr double standardUncertainSettleDelay = 3.5;
    static constexpr double standardConfidentScore = 0.93;
    static constexpr double standardStickiness = 0.04;
    static constexpr double standardMinimumConfidence = 0.35;

    LanguageArbiter(std::vector<std::string> locales, double settleDelay,
                    double uncertainSettleDelay, double confidentScore, double stickiness,
                    double minimumConfidence);
    explicit LanguageArbiter(std::vector<std::string> locales)
        : LanguageArbiter(std::move(locales), standardSettleDelay, standardUncertainSettleDelay,
                          standardConfidentScore, standardStickiness, standardMinimumConfidence) {}

    // A final result; returns the segments decided by this call, in start order.
    std::vector<RecognizedSegment> addFinal(RecognizedSegment segment, double now);
    // A volatile result (empty text withdraws the locale's); returns the text to show now.
    std::optional<std::string> addVolatile(const std::string& locale, const std::string& text,
                                           double confidence);
    // The same without working out the text to show, for callers that want the full result.
    void setVolatile(const std::string& locale, const std::string& text, double confidence);
    // Segments whose wait has expired.
    std::vector<RecognizedSegment> tick(double now);
    // Decides everything still pending and forgets all volatile state.
    std::vector<RecognizedSegment> flush();

    std::optional<VolatileResult> volatileResult() const;
    std::optional<std::string> volatileText() const;

    // The language of the latest decided speech.
    const std::optional<std::string>& currentLocale() const { return currentLocale_; }
    const std::vector<std::string>& locales() const { return locales_; }

private:
    struct Pending {
        RecognizedSegment segment;
        double arrived;
    };
    struct Winner {
        std::string locale;
        double end;
        std::vector<std::string> tail; // texts of its last three words
    };

    std::vector<RecognizedSegment> settle(double now, bool force);
    std::size_t firstGroupSize() const;
    std::vector<RecognizedSegment> decide(std::vector<RecognizedSegment> candidates);
    double score(const RecognizedSegment& segment) const;
    std::size_t rank(const std::string& locale) const;
    static bool repeats(const RecognizedSegment::Word& word, const std::vector<std::string>& texts);

    std::vector<std::string> locales_;
    double settleDelay_;
    double uncertainSettleDelay_;
    double confidentScore_;
    double stickiness_;
    double minimumConfidence_;

    std::optional<std::string> currentLocale_;
    std::vector<Pending> pending_;
    double decidedUntil_ = -std::numeric_limits<double>::infinity();
    std::map<std::string, VolatileResult> volatile_;
    std::map<std::string, std::string> decidedAhead_;
    std::optional<Winner> lastWinner_;
};

} // namespace ambrel::core
