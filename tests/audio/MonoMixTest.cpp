#include "audio/MonoMix.h"

#include "audio/AudioSourceError.h"

#include <gtest/gtest.h>

using namespace ambrel;

namespace {

std::vector<StreamFormat> formats(std::initializer_list<int> channelsPerStream,
                                  double rate = 48000) {
    std::vector<StreamFormat> result;
    for (int channels : channelsPerStream) {
        result.push_back({rate, true, channels});
    }
    return result;
}

std::string planError(const std::vector<StreamFormat>& list, std::vector<int> preferred = {}) {
    try {
        MonoMix::plan(list, preferred);
    } catch (const AudioSourceError& error) {
        return error.what();
    }
    return "(planned)";
}

std::vector<float> mixed(const std::vector<std::vector<float>>& buffers, std::vector<int> channels,
                         const CapturePlan& plan) {
    std::vector<MonoMix::InputBuffer> inputs;
    for (std::size_t i = 0; i < buffers.size(); ++i) {
        inputs.push_back({buffers[i].empty() ? nullptr : buffers[i].data(),
                          buffers[i].size() * sizeof(float), channels[i]});
    }
    const auto result = MonoMix::mix(inputs, plan);
    return result ? result->samples : std::vector<float>{-99};
}

} // namespace

TEST(MonoMix, PlansWhichChannelsToMix) {
    EXPECT_EQ(MonoMix::plan(formats({2}), {}), (CapturePlan{48000, std::nullopt}));
    EXPECT_EQ(MonoMix::plan(formats({1, 1}), {}), (CapturePlan{48000, std::nullopt}));
    const std::vector<int> thirdAndFourth{3, 4};
    EXPECT_EQ(MonoMix::plan(formats({4}), thirdAndFourth),
              (CapturePlan{48000, std::vector<int>{2, 3}}));
    EXPECT_EQ(MonoMix::plan(formats({4}), {}), (CapturePlan{48000, std::vector<int>{0, 1}}));
    const std::vector<int> beyond{7, 8};
    EXPECT_EQ(MonoMix::plan(formats({4}), beyond), (CapturePlan{48000, std::vector<int>{0, 1}}));
    const std::vector<int> oneInside{0, 2};
    EXPECT_EQ(MonoMix::plan(formats({2, 2}), oneInside), (CapturePlan{48000, std::vector<int>{1}}));

    EXPECT_EQ(planError({}), "Unsupported microphone format");
    EXPECT_EQ(planError(formats({2}, 0)), "Unsupported microphone format");
    EXPECT_EQ(planError({{48000, false, 2}}), "Unsupported microphone format") << "integer samples";
    EXPECT_EQ(planError({{48000, true, 2}, {44100, true, 2}}), "Unsupported microphone format");
}

TEST(MonoMix, AveragesOnlyChannelsThatCarrySound) {
    const CapturePlan all{48000, std::nullopt};
    // Second channel silent: the first comes through at full level.
    EXPECT_EQ(mixed({{0.5f, 0.0f, -0.25f, 0.0005f}}, {2}, all), (std::vector<float>{0.5f, -0.25f}));
    // Both live: their average.
    EXPECT_EQ(mixed({{0.5f, 0.25f, -0.25f, 0.75f}}, {2}, all), (std::vector<float>{0.375f, 0.25f}));
    // All silent: silence.
    EXPECT_EQ(mixed({{0.0f, 0.0f}}, {2}, all), (std::vector<float>{0.0f}));
    // Mono fast path.
    EXPECT_EQ(mixed({{0.1f, 0.2f, 0.3f}}, {1}, all), (std::vector<float>{0.1f, 0.2f, 0.3f}));
    // Four channels, only the planned pair; the others are loud but ignored.
    const CapturePlan pair{48000, std::vector<int>{2, 3}};
    EXPECT_EQ(mixed({{0.9f, 0.9f, 0.2f, 0.4f}}, {4}, pair), (std::vector<float>{0.3f}));
    // Channel numbers run on across buffers; a buffer without data still counts its channels.
    const CapturePlan second{48000, std::vector<int>{3}};
    EXPECT_EQ(mixed({{}, {0.9f, 0.5f, 0.9f, 0.25f}}, {2, 2}, second),
              (std::vector<float>{0.5f, 0.25f}));
    // The shortest buffer decides the frame count; no frames, no buffer.
    EXPECT_EQ(mixed({{0.5f, 0.5f}, {0.1f}}, {1, 1}, all), (std::vector<float>{0.3f}));
    EXPECT_EQ(mixed({{}}, {1}, all), (std::vector<float>{-99}));
    EXPECT_EQ(mixed({{0.5f}}, {2}, all), (std::vector<float>{-99}));
}
