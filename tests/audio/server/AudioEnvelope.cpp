#include "AudioEnvelope.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace ambrel::testing {

AudioEnvelope AudioEnvelope::of(const std::vector<float>& interleaved, double sampleRate,
                                int channels) {
    AudioEnvelope envelope;
    const auto frameLength = static_cast<std::size_t>(sampleRate / 100);
    const std::size_t frames = interleaved.size() / static_cast<std::size_t>(channels);
    for (std::size_t start = 0; start + frameLength <= frames; start += frameLength) {
        double sum = 0;
        for (std::size_t f = start; f < start + frameLength; ++f) {
            double mono = 0;
            for (int c = 0; c < channels; ++c) {
                mono += interleaved[f * static_cast<std::size_t>(channels) +
                                    static_cast<std::size_t>(c)];
            }
            mono /= channels;
            sum += mono * mono;
        }
        envelope.frames.push_back(std::sqrt(sum / static_cast<double>(frameLength)));
    }
    return envelope;
}

double AudioEnvelope::bestMatch(const AudioEnvelope& reference) const {
    const auto& r = reference.frames;
    if (r.empty() || frames.size() < r.size()) {
        return 0;
    }
    const double rMean = std::accumulate(r.begin(), r.end(), 0.0) / static_cast<double>(r.size());
    double rVariance = 0;
    for (double v : r) {
        rVariance += (v - rMean) * (v - rMean);
    }
    double best = -1;
    for (std::size_t lag = 0; lag + r.size() <= frames.size(); ++lag) {
        double mean = 0;
        for (std::size_t i = 0; i < r.size(); ++i) {
            mean += frames[lag + i];
        }
        mean /= static_cast<double>(r.size());
        double covariance = 0;
        double variance = 0;
        for (std::size_t i = 0; i < r.size(); ++i) {
            const double d = frames[lag + i] - mean;
            covariance += d * (r[i] - rMean);
            variance += d * d;
        }
        if (variance > 0 && rVariance > 0) {
            best = std::max(best, covariance / std::sqrt(variance * rVariance));
        }
    }
    return best;
}

} // namespace ambrel::testing
