#include "EchoDelayEstimator.h"

#include <cmath>
#include <cstdlib>

namespace ambrel {

namespace {

// Keeps levels in time order: after a stream's clock jumped back, what now lies ahead goes.
void append(auto& levels, double time, double level) {
    while (!levels.empty() && levels.back().time >= time) {
        levels.pop_back();
    }
    levels.push_back({time, level});
}

} // namespace

void EchoDelayEstimator::addReference(double time, double level) {
    append(reference_, time, level);
    const double kept = (settings_.windowFrames + settings_.maxLagFrames + 50) * frameSeconds;
    while (reference_.front().time < time - kept) {
        reference_.pop_front();
    }
}

std::optional<double> EchoDelayEstimator::addMicrophone(double time, double level) {
    append(microphone_, time, level);
    while (microphone_.size() > static_cast<std::size_t>(settings_.windowFrames)) {
        microphone_.pop_front();
    }
    if (++sinceEstimate_ < settings_.intervalFrames) {
        return std::nullopt;
    }
    sinceEstimate_ = 0;
    const auto found = estimate();
    // A best fit at either end of the lags searched is no peak: the real one lies beyond.
    if (!found || found->correlation < settings_.minimumCorrelation ||
        found->lagFrames == settings_.minLagFrames || found->lagFrames == settings_.maxLagFrames) {
        candidate_.reset();
        streak_ = 0;
        return std::nullopt;
    }
    const auto close = [this](int a, int b) {
        return std::abs(a - b) <= settings_.agreementFrames;
    };
    streak_ = candidate_ && close(found->lagFrames, *candidate_) ? streak_ + 1 : 1;
    candidate_ = found->lagFrames;
    if (settled_ && close(found->lagFrames, *settled_)) {
        // Estimates scatter a frame or two around the lag; a lag that followed each of them
        // would wander off step by step while the user talks.
        return *settled_ * frameSeconds;
    }
    if (settled_) {
        const auto current = correlationAt(*settled_);
        if (streak_ < settings_.switchEstimates ||
            (current && *current > found->correlation - settings_.switchMargin)) {
            return std::nullopt;
        }
    } else if (streak_ < 2) {
        return std::nullopt;
    }
    settled_ = found->lagFrames;
    return found->lagFrames * frameSeconds;
}

void EchoDelayEstimator::reset() {
    reference_.clear();
    microphone_.clear();
    sinceEstimate_ = 0;
    candidate_.reset();
    streak_ = 0;
    settled_.reset();
}

std::optional<EchoDelayEstimator::Estimate> EchoDelayEstimator::estimate() const {
    std::optional<Estimate> best;
    for (int lag = settings_.minLagFrames; lag <= settings_.maxLagFrames; ++lag) {
        const auto correlation = correlationAt(lag);
        if (correlation && (!best || *correlation > best->correlation)) {
            best = Estimate{lag, *correlation};
        }
    }
    return best;
}

std::optional<double> EchoDelayEstimator::correlationAt(int lag) const {
    if (reference_.empty() ||
        microphone_.size() < static_cast<std::size_t>(settings_.minimumPairs)) {
        return std::nullopt;
    }
    double sumM = 0, sumR = 0, sumMM = 0, sumRR = 0, sumMR = 0;
    int pairs = 0;
    std::size_t r = 0;
    for (const auto& microphone : microphone_) {
        // The reference frame under the middle of the microphone frame, `lag` frames back.
        const double at = microphone.time + frameSeconds / 2 - lag * frameSeconds;
        while (r + 1 < reference_.size() && reference_[r + 1].time <= at) {
            ++r;
        }
        const auto& reference = reference_[r];
        if (reference.time > at || at >= reference.time + frameSeconds) {
            continue;
        }
        sumM += microphone.level;
        sumR += reference.level;
        sumMM += microphone.level * microphone.level;
        sumRR += reference.level * reference.level;
        sumMR += microphone.level * reference.level;
        ++pairs;
    }
    if (pairs < settings_.minimumPairs) {
        return std::nullopt;
    }
    const double n = pairs;
    const double varianceM = sumMM / n - (sumM / n) * (sumM / n);
    const double varianceR = sumRR / n - (sumR / n) * (sumR / n);
    if (varianceR < settings_.minimumSpread * settings_.minimumSpread || varianceM <= 1e-9) {
        return std::nullopt;
    }
    return (sumMR / n - (sumM / n) * (sumR / n)) / std::sqrt(varianceM * varianceR);
}

} // namespace ambrel
