#include "speech/echo/EchoDelayEstimator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

using ambrel::EchoDelayEstimator;

namespace {

constexpr double frame = EchoDelayEstimator::frameSeconds;

// Syllable-like loudness: bursts of sound between pauses, in dB.
std::vector<double> levels(std::size_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> length(8, 30);
    std::vector<double> out;
    bool loud = false;
    while (out.size() < count) {
        const int run = length(random);
        for (int i = 0; i < run && out.size() < count; ++i) {
            out.push_back(loud ? -20.0 - (i % 5) : -70.0);
        }
        loud = !loud;
    }
    return out;
}

// Feeds `count` frames from `from`: the reference's levels, and the microphone's, which hear
// the reference `lag(frame)` frames later and, where given, another voice over it.
std::vector<double> feed(EchoDelayEstimator& estimator, const std::vector<double>& reference,
                         std::size_t from, std::size_t count,
                         const std::function<int(std::size_t)>& lag,
                         const std::vector<double>* voice = nullptr) {
    std::vector<double> settled;
    for (std::size_t i = from; i < from + count; ++i) {
        const double time = 1000 + static_cast<double>(i) * frame;
        estimator.addReference(time, reference[i]);
        const auto back = static_cast<std::size_t>(lag(i));
        double level = i >= back ? reference[i - back] - 9 : -70.0;
        if (voice != nullptr) {
            level = std::max(level, (*voice)[i]);
        }
        if (const auto found = estimator.addMicrophone(time, level)) {
            settled.push_back(*found);
        }
    }
    return settled;
}

} // namespace

TEST(EchoDelayEstimatorTest, SettlesOnTheLagAndKeepsItThroughDoubleTalk) {
    const auto reference = levels(6000, 1);
    EchoDelayEstimator estimator;
    EXPECT_FALSE(estimator.estimate()); // nothing to compare yet

    auto settled = feed(estimator, reference, 0, 1000, [](std::size_t) { return 37; });
    ASSERT_FALSE(settled.empty());
    EXPECT_NEAR(settled.front(), 0.37, 0.021);
    EXPECT_NEAR(estimator.correlationAt(37).value_or(0), 1.0, 0.05);

    // Another voice over the echo: whatever it happens to follow for a moment, the lag stays.
    const auto voice = levels(6000, 2);
    for (auto& level :
         settled = feed(
             estimator, reference, 1000, 2000, [](std::size_t) { return 37; }, &voice)) {
        EXPECT_NEAR(level, 0.37, 0.021);
    }

    // Estimates a frame or two off leave the lag as it is: a lag that followed each of them
    // would wander off step by step.
    std::size_t from = 3000;
    for (const int off : {35, 39}) {
        for (const auto level :
             feed(estimator, reference, from, 300, [off](std::size_t) { return off; })) {
            EXPECT_NEAR(level, 0.37, 0.001);
        }
        from += 300;
    }

    // A lag that really changed (another output device) is taken after a while.
    settled = feed(estimator, reference, from, 1500, [](std::size_t) { return 120; });
    ASSERT_FALSE(settled.empty());
    EXPECT_NEAR(settled.back(), 1.2, 0.021);

    // An echo later than the lags searched: the best fit at the end of the range is no lag.
    estimator.reset();
    EXPECT_TRUE(feed(estimator, reference, 0, 1000, [](std::size_t) { return 203; }).empty());

    // Silence on the speakers says nothing about the lag.
    const std::vector<double> quiet(6000, -70.0);
    estimator.reset();
    EXPECT_TRUE(feed(estimator, quiet, 0, 1000, [](std::size_t) { return 37; }).empty());
    EXPECT_FALSE(estimator.estimate());
}
