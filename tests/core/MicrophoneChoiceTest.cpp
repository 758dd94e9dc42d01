#include "core/MicrophoneChoice.h"

#include <gtest/gtest.h>

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
