#include "core/MicrophoneSelection.h"

#include <gtest/gtest.h>

#include <unordered_set>

using namespace ambrel::core;

TEST(MicrophoneSelection, StorageValuesRoundTripAndNeverFail) {
    EXPECT_TRUE(MicrophoneSelection::fromStorageValue(std::nullopt).isAutomatic());
    EXPECT_TRUE(MicrophoneSelection::fromStorageValue("automatic").isAutomatic());
    EXPECT_TRUE(MicrophoneSelection::fromStorageValue("device:").isAutomatic());
    EXPECT_TRUE(MicrophoneSelection::fromStorageValue("Device:X").isAutomatic());
    EXPECT_TRUE(MicrophoneSelection::fromStorageValue("microphone").isAutomatic());
    EXPECT_EQ(MicrophoneSelection::fromStorageValue("device:X"), MicrophoneSelection::device("X"));
    EXPECT_EQ(MicrophoneSelection::fromStorageValue("device:a:b").uid(), "a:b");
    EXPECT_EQ(MicrophoneSelection::fromStorageValue("device: spaced ").uid(), " spaced ");
    const auto stored = MicrophoneSelection::device("a:b");
    EXPECT_EQ(stored.storageValue(), "device:a:b");
    EXPECT_EQ(MicrophoneSelection::fromStorageValue(stored.storageValue()), stored);
    EXPECT_EQ(MicrophoneSelection::automatic().storageValue(), "automatic");

    const std::unordered_set<MicrophoneSelection> set{
        MicrophoneSelection::automatic(), MicrophoneSelection::device("x"),
        MicrophoneSelection::device("x"), MicrophoneSelection::automatic()};
    EXPECT_EQ(set.size(), 2u);
}
