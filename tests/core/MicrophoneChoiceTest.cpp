#include "core/MicrophoneChoice.h"

#include "core/PlaybackRoute.h"

#include <gtest/gtest.h>

#include <unordered_set>

using namespace ambrel::core;

namespace {

InputDeviceInfo device(std::string uid, std::string name = {}) {
    InputDeviceInfo info;
    info.name = name.empty() ? uid : std::move(name);
    info.uid = std::move(uid);
    return info;
}

std::optional<std::string> chosenUID(const MicrophoneSelection& selection,
                                     const std::vector<InputDeviceInfo>& devices) {
    const auto chosen = MicrophoneChoice::choose(selection, devices);
    return chosen ? std::optional(chosen->uid) : std::nullopt;
}

} // namespace

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

TEST(MicrophoneChoice, ASelectedDeviceWinsWhilePresent) {
    auto builtIn = device("builtin");
    builtIn.isDefault = true;
    builtIn.isBuiltIn = true;
    const std::vector devices{builtIn, device("usb:1")};
    EXPECT_EQ(chosenUID(MicrophoneSelection::device("usb:1"), devices), "usb:1");
    EXPECT_EQ(chosenUID(MicrophoneSelection::device("gone"), devices), "builtin") << "as automatic";
    EXPECT_EQ(chosenUID(MicrophoneSelection::device("USB:1"), devices), "builtin")
        << "exact match only";
    EXPECT_EQ(chosenUID(MicrophoneSelection::device("X"), {}), std::nullopt);
    EXPECT_EQ(chosenUID(MicrophoneSelection::automatic(), {}), std::nullopt);
}

TEST(MicrophoneChoice, PrefersTheMicrophoneAnotherApplicationRecords) {
    auto builtIn = device("builtin");
    builtIn.isDefault = true;
    builtIn.isBuiltIn = true;
    auto headset = device("usb-headset");
    headset.usedByOtherApp = true;
    headset.usedByCallApp = true;
    EXPECT_EQ(chosenUID(MicrophoneSelection::automatic(), {builtIn, headset}), "usb-headset");

    // Evidence that may only be playback loses even against a built-in microphone.
    auto outputOnly = device("interface");
    outputOnly.usedByOtherApp = true;
    outputOnly.mayBeOutputOnly = true;
    auto usedBuiltIn = builtIn;
    usedBuiltIn.usedByOtherApp = true;
    usedBuiltIn.isDefault = false;
    EXPECT_EQ(chosenUID(MicrophoneSelection::automatic(), {outputOnly, usedBuiltIn}), "builtin");

    // Rule by rule: call, default, not virtual, not built in.
    auto recording = device("a");
    recording.usedByOtherApp = true;
    auto inCall = device("b");
    inCall.usedByCallApp = true;
    EXPECT_EQ(chosenUID(MicrophoneSelection::automatic(), {recording, inCall}), "b");
    auto defaultOne = recording;
    defaultOne.uid = "c";
    defaultOne.isDefault = true;
    EXPECT_EQ(chosenUID(MicrophoneSelection::automatic(), {recording, defaultOne}), "c");
    auto loopback = recording;
    loopback.uid = "loopback";
    loopback.isVirtual = true;
    auto builtInUsed = recording;
    builtInUsed.uid = "builtin-used";
    builtInUsed.isBuiltIn = true;
    EXPECT_EQ(chosenUID(MicrophoneSelection::automatic(), {loopback, builtInUsed}), "builtin-used");
    EXPECT_EQ(chosenUID(MicrophoneSelection::automatic(), {builtInUsed, recording}), "a");
}

TEST(MicrophoneChoice, EqualCandidatesGoByNameAsAFileBrowserSortsThem) {
    std::vector<InputDeviceInfo> devices;
    for (const auto& [uid, name] : std::vector<std::pair<std::string, std::string>>{
             {"10", "Mic 10"}, {"2", "mic 2"}, {"first", "Zoom"}, {"second", "zoom"}}) {
        auto info = device(uid, name);
        info.usedByOtherApp = true;
        devices.push_back(info);
    }
    EXPECT_EQ(chosenUID(MicrophoneSelection::automatic(), devices), "2");
    devices.erase(devices.begin(), devices.begin() + 2);
    EXPECT_EQ(chosenUID(MicrophoneSelection::automatic(), devices), "first")
        << "equal names keep their order";
}

TEST(MicrophoneChoice, WithoutCandidatesTakesTheDefaultElseTheFirst) {
    auto second = device("second");
    second.isDefault = true;
    EXPECT_EQ(chosenUID(MicrophoneSelection::automatic(), {device("first"), second}), "second");
    EXPECT_EQ(chosenUID(MicrophoneSelection::automatic(), {device("first"), device("other")}),
              "first");
}

TEST(PlaybackRoute, ClassifiesOutputsByTransportTerminalAndCard) {
    const std::vector<std::string> inputs{"X:2", "usb-combo", "builtin:mic"};
    auto route = [&](std::string_view transport, std::optional<std::string> source,
                     std::uint32_t terminal, std::string_view uid) {
        return PlaybackRoute::classify(transport, source, terminal, uid, inputs);
    };
    EXPECT_EQ(route("bltn", "ispk", 0x0302, "builtin:out"), PlaybackRoute::speakers)
        << "built-in first";
    EXPECT_EQ(route("bltn", std::nullopt, 0, "builtin:out"), PlaybackRoute::speakers);
    EXPECT_EQ(route("bltn", "hdpn", 0, "builtin:out"), PlaybackRoute::headphones);
    EXPECT_EQ(route("blue", std::nullopt, 0x0301, "bt"), PlaybackRoute::speakers)
        << "terminal before Bluetooth";
    EXPECT_EQ(route("blue", std::nullopt, 0, "bt"), PlaybackRoute::headphones);
    EXPECT_EQ(route("blea", std::nullopt, 0, "bt"), PlaybackRoute::headphones);
    EXPECT_EQ(route("virt", std::nullopt, 0x0402, "null"), PlaybackRoute::headphones);
    EXPECT_EQ(route("virt", std::nullopt, PlaybackRoute::fourCC("hdmi"), "null"),
              PlaybackRoute::speakers);
    EXPECT_EQ(route("virt", std::nullopt, 0, "null"), PlaybackRoute::speakers);
    EXPECT_EQ(route("usb ", std::nullopt, 0, "X:1"), PlaybackRoute::headphones)
        << "same card as an input";
    EXPECT_EQ(route("usb ", std::nullopt, 0, "usb-combo"), PlaybackRoute::speakers)
        << "plays and records";
    EXPECT_EQ(route("usb ", std::nullopt, 0, "Y:1"), PlaybackRoute::speakers);
    EXPECT_EQ(route("USB ", std::nullopt, 0, "X:1"), PlaybackRoute::speakers) << "codes are exact";

    EXPECT_EQ(PlaybackRoute::combined({}), PlaybackRoute::headphones);
    const std::vector<PlaybackRoute> both{PlaybackRoute::headphones, PlaybackRoute::speakers};
    EXPECT_EQ(PlaybackRoute::combined(both), PlaybackRoute::speakers);

    EXPECT_EQ(PlaybackRoute::fourCC(""), 0u);
    EXPECT_EQ(PlaybackRoute::fourCC("usb "), 0x75736220u);
    EXPECT_EQ(PlaybackRoute::fourCC("hdph"), 0x68647068u);
    EXPECT_EQ(PlaybackRoute::fourCC("hdphone"), 0x68647068u);
    EXPECT_EQ(PlaybackRoute::fourCC("ab"), 0x6162u);
    EXPECT_EQ(PlaybackRoute::headphoneTerminals().size(), 5u);
    EXPECT_EQ(PlaybackRoute::speakerTerminals().size(), 15u);
}
