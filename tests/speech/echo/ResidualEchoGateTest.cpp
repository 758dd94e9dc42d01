#include "speech/echo/ResidualEchoGate.h"

#include "SyntheticVoice.h"
#include "speech/echo/ComfortNoise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace ambrel;
using namespace ambrel::testing;

namespace {

constexpr std::size_t frame = 160;

// The gate's gain over one frame of ones, first and last sample; `level`: what the microphone
// heard, in dBFS.
std::pair<float, float> pass(ResidualEchoGate& gate, double removed, double level = -30) {
    std::vector<float> ones(frame, 1.0f);
    gate.apply(removed, level, ones);
    return {ones.front(), ones.back()};
}

} // namespace

TEST(ResidualEchoGateTest, ClosesOnEchoHoldsOnWhatTheFilterDoesNotKnowAndOpensSlowly) {
    ResidualEchoGate gate;
    // Someone talks: the filter removes little.
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(pass(gate, 1).second, 1.0f);
    }
    // Echo alone: the filter removes most; the smoothed figure crosses within a few frames, and
    // the gain glides down across the frame instead of jumping.
    int frames = 0;
    while (!gate.isClosed()) {
        ASSERT_LT(++frames, 6);
        pass(gate, 25);
    }
    // While the filter removes little, the gate takes more, so that the echo goes down by
    // 50 dB in all; once it removes more, the gate eases to its usual -26 dB.
    EXPECT_LT(gate.gain(), 0.02);
    for (int i = 0; i < 30; ++i) {
        pass(gate, 40);
    }
    EXPECT_NEAR(gate.gain(), 0.05, 1e-9);
    // A filter that adds tells nothing: the gate stays shut however long it lasts.
    for (int i = 0; i < 50; ++i) {
        pass(gate, -6);
    }
    EXPECT_TRUE(gate.isClosed());
    // Nor does the faint end of the echo's reverberation, which the filter hardly removes.
    for (int i = 0; i < 50; ++i) {
        pass(gate, 0, -55);
    }
    EXPECT_TRUE(gate.isClosed());
    // The user starts talking: it opens only once the smoothed figure has stayed low a while.
    frames = 0;
    std::pair<float, float> opening;
    while (gate.isClosed()) {
        ASSERT_LT(++frames, 20);
        opening = pass(gate, 0);
    }
    EXPECT_GE(frames, 5);
    EXPECT_LT(opening.first, 0.1f);
    EXPECT_EQ(opening.second, 1.0f);

    gate.reset();
    EXPECT_FALSE(gate.isClosed());
    EXPECT_EQ(gate.gain(), 1.0);
}

TEST(ComfortNoiseTest, AFaintFloorAndTheRoomsOwnWhereMuted) {
    const std::size_t second = 100 * frame;
    auto noiseOver = [&](ComfortNoise& noise, double muted) {
        std::vector<float> silence(second, 0.0f);
        for (std::size_t at = 0; at < second; at += frame) {
            noise.addTo(std::span(silence).subspan(at, frame), muted);
        }
        return levelOf(silence, second / 2, second);
    };
    ComfortNoise noise(16000);
    // Over digital silence, just the faint floor, muted or not; it comes in gently.
    std::vector<float> start(frame, 0.0f);
    noise.addTo(start, 0);
    EXPECT_LT(levelOf(start, 0, frame), ComfortNoise::defaultLevel - 20);
    for (double seconds = 0; seconds < ComfortNoise::fadeInSeconds; ++seconds) {
        noiseOver(noise, 0);
    }
    EXPECT_NEAR(noiseOver(noise, 0), ComfortNoise::defaultLevel, 0.5);
    EXPECT_NEAR(noiseOver(noise, 1), ComfortNoise::defaultLevel, 0.5);

    // A room at -50 dBFS with a voice in it: its floor is the hiss, not the voice.
    auto room = syntheticVoice(2, 16000, 9);
    const auto hiss = static_cast<float>(std::pow(10.0, -50.0 / 20) * std::sqrt(3.0));
    for (std::size_t i = 0; i < room.size(); ++i) {
        room[i] += (i * 7919 % 1000 < 500 ? -hiss : hiss) * static_cast<float>(i % 13) / 12.0f;
    }
    for (std::size_t at = 0; at + frame <= room.size(); at += frame) {
        noise.track(std::span<const float>(room).subspan(at, frame));
    }
    const double muted = noiseOver(noise, 1);
    EXPECT_GT(muted, -58);
    EXPECT_LT(muted, -48);
    // Where nothing is muted the microphone's own hiss is there already: only the faint floor.
    EXPECT_NEAR(noiseOver(noise, 0), ComfortNoise::defaultLevel, 1.0);
    noise.reset();
    for (double seconds = 0; seconds < ComfortNoise::fadeInSeconds; ++seconds) {
        noiseOver(noise, 1);
    }
    EXPECT_NEAR(noiseOver(noise, 1), ComfortNoise::defaultLevel, 0.5);
}
