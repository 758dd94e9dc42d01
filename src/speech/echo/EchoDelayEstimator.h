#pragma once

#include <cstddef>
#include <deque>
#include <optional>

namespace ambrel {

// Finds how long the speakers' sound takes to reach the microphone, beyond what the streams'
// times say: the lag at which the loudness of the microphone follows the loudness of the
// reference best over the last seconds. Levels are in dB, one per 10 ms frame, each with the
// time of its frame's start on the clock both streams share.
class EchoDelayEstimator {
public:
    struct Settings {
        int maxLagFrames = 200;  // two seconds
        int minLagFrames = -20;  // the speakers' stream may come later than their echo
        int windowFrames = 300;  // the microphone frames compared
        int minimumPairs = 100;  // frames with a reference beside them
        int intervalFrames = 25; // between two estimates
        double minimumCorrelation = 0.5;
        double minimumSpread = 3.0; // dB: the reference must have sound and pauses to follow
        int agreementFrames = 2;    // two estimates this close in a row settle a lag
        // Once a lag is settled, another replaces it only after this many estimates in a row
        // and when it fits clearly better: while the user talks over the speakers, their voice
        // follows the reference at a random lag now and then.
        int switchEstimates = 20;
        double switchMargin = 0.25;
    };

    static constexpr double frameSeconds = 0.01;

    explicit EchoDelayEstimator(Settings settings) : settings_(settings) {}
    EchoDelayEstimator() : EchoDelayEstimator(Settings{}) {}

    void addReference(double time, double level);
    // The settled lag in seconds when this frame completes an estimate that settles it (again);
    // absent otherwise.
    std::optional<double> addMicrophone(double time, double level);
    void reset();
    double maxLag() const { return settings_.maxLagFrames * frameSeconds; }

    // The best lag now (frames, negative when the echo comes before the reference's time) and
    // how well the levels agree there; absent without enough to
    // compare.
    struct Estimate {
        int lagFrames = 0;
        double correlation = 0;
    };
    std::optional<Estimate> estimate() const;
    // How well the levels agree at one lag (frames); absent without enough to compare.
    std::optional<double> correlationAt(int lagFrames) const;

private:
    struct Level {
        double time = 0;
        double level = 0;
    };

    Settings settings_;
    std::deque<Level> reference_;
    std::deque<Level> microphone_;
    int sinceEstimate_ = 0;
    std::optional<int> candidate_;
    int streak_ = 0; // estimates in a row close to the candidate
    std::optional<int> settled_;
};

} // namespace ambrel
