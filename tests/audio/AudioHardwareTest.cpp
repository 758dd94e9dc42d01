#include "audio/AudioHardware.h"

#include <gtest/gtest.h>

using namespace ambrel;
using core::PlaybackRoute;
using Port = AudioSnapshot::PortType;

namespace {

constexpr std::int64_t me = 100;

AudioSnapshot::Device device(std::uint32_t index, std::string name,
                             std::optional<std::uint32_t> card = {},
                             std::optional<Port> port = {}) {
    AudioSnapshot::Device d;
    d.index = index;
    d.name = std::move(name);
    d.description = "Device " + std::to_string(index);
    d.card = card;
    d.activePort = port;
    d.sampleRate = 48000;
    d.channels = 2;
    return d;
}

// A laptop with a USB headset: built-in card 0 (mic, speakers), USB card 1 (headset mic and out).
AudioSnapshot laptop() {
    AudioSnapshot s;
    s.cards = {{0, "alsa_card.pci-0000_00_1f.3", "internal", "pci"},
               {1, "alsa_card.usb-Headset", "headset", "usb"}};
    auto monitor = device(10, "builtin-speakers.monitor", 0);
    monitor.isMonitor = true;
    s.sources = {monitor, device(11, "builtin-mic", 0), device(12, "usb-mic", 1)};
    s.sinks = {device(20, "builtin-speakers", 0, Port::speaker),
               device(21, "usb-out", 1, Port::headset)};
    s.defaultSourceName = "builtin-mic";
    s.defaultSinkName = "builtin-speakers";
    return s;
}

core::InputDeviceInfo find(const std::vector<core::InputDeviceInfo>& devices,
                           const std::string& uid) {
    for (const auto& d : devices) {
        if (d.uid == uid) {
            return d;
        }
    }
    ADD_FAILURE() << "no device " << uid;
    return {};
}

} // namespace

TEST(AudioHardware, UsageSetsFollowWhatEachProcessRecordsAndPlays) {
    using Process = AudioHardware::ProcessAudio;
    // Records from a headset it also plays to: shared and call, so "may be output only".
    const Process headsetCall{true, true, {"headset"}, {"headset"}};
    // Records the built-in mic and plays to the speakers: used and call.
    const Process laptopCall{true, true, {"mic"}, {"speakers"}};
    const Process idle{false, true, {"other"}, {"speakers"}};
    auto sets = AudioHardware::usage({headsetCall, laptopCall, idle});
    EXPECT_EQ(sets.used, (std::set<std::string>{"mic"}));
    EXPECT_EQ(sets.shared, (std::set<std::string>{"headset"}));
    EXPECT_EQ(sets.call, (std::set<std::string>{"headset", "mic"}));
    // A device in both sets through two processes.
    const Process recorder{true, false, {"headset"}, {}};
    sets = AudioHardware::usage({headsetCall, recorder});
    EXPECT_TRUE(sets.used.contains("headset"));
    EXPECT_TRUE(sets.shared.contains("headset"));
}

TEST(AudioHardware, InputDevicesComeFromTheServersSourcesAndStreams) {
    auto s = laptop();
    // Another process in a call on the USB headset; our own stream does not count.
    s.sourceOutputs = {{1, 12, 4242, 7, false}, {2, 11, me, 8, false}};
    s.sinkInputs = {{3, 21, 4242, 7, false}};
    const auto devices = AudioHardware::inputDevices(s, me);
    ASSERT_EQ(devices.size(), 2u) << "monitors are no microphones";
    const auto builtIn = find(devices, "alsa_card.pci-0000_00_1f.3:builtin-mic");
    EXPECT_TRUE(builtIn.isDefault);
    EXPECT_TRUE(builtIn.isBuiltIn);
    EXPECT_FALSE(builtIn.usedByOtherApp) << "only this app records it";
    const auto headset = find(devices, "alsa_card.usb-Headset:usb-mic");
    EXPECT_TRUE(headset.usedByOtherApp);
    EXPECT_TRUE(headset.usedByCallApp);
    EXPECT_FALSE(headset.mayBeOutputOnly) << "the server tells recording from playing";
    EXPECT_FALSE(headset.isBuiltIn);
    EXPECT_EQ(headset.name, "Device 12");

    // Paused recording is no use; streams without a process group by client.
    s.sourceOutputs = {{1, 12, std::nullopt, 9, true}};
    EXPECT_FALSE(
        find(AudioHardware::inputDevices(s, me), "alsa_card.usb-Headset:usb-mic").usedByOtherApp);

    // A virtual source without card or description.
    auto remap = device(13, "virtmic");
    remap.description.clear();
    s.sources.push_back(remap);
    const auto virtual_ = find(AudioHardware::inputDevices(s, me), "virtmic");
    EXPECT_EQ(virtual_.name, "virtmic");
    EXPECT_TRUE(virtual_.isVirtual);

    EXPECT_EQ(AudioHardware::deviceID(s, "virtmic"), 13u);
    EXPECT_EQ(AudioHardware::deviceID(s, "builtin-speakers.monitor"), std::nullopt);
    EXPECT_EQ(AudioHardware::inputFormats(s, 12), (std::vector<StreamFormat>{{48000, true, 2}}));
    EXPECT_TRUE(AudioHardware::inputFormats(s, 99).empty());
    EXPECT_TRUE(AudioHardware::isAlive(s, 11));
    EXPECT_FALSE(AudioHardware::isAlive(s, 10));
    EXPECT_TRUE(AudioHardware::preferredStereoChannels(s, 11).empty());
}

TEST(AudioHardware, ConnectionsAndUidsFollowTheCard) {
    auto s = laptop();
    s.cards.push_back({2, "bluez_card.00_11", "headset", "bluetooth"});
    s.cards.push_back({3, "firewire", "", "firewire"});
    using Connection = AudioHardware::Connection;
    EXPECT_EQ(AudioHardware::connection(s, device(1, "x", 0)), Connection::builtIn);
    EXPECT_EQ(AudioHardware::connection(s, device(1, "x", 1)), Connection::usb);
    EXPECT_EQ(AudioHardware::connection(s, device(1, "x", 2)), Connection::bluetooth);
    EXPECT_EQ(AudioHardware::connection(s, device(1, "x", 3)), Connection::other);
    EXPECT_EQ(AudioHardware::connection(s, device(1, "x")), Connection::virtualDevice);
    EXPECT_EQ(AudioHardware::uid(s, device(1, "x", 2)), "bluez_card.00_11:x");
    EXPECT_EQ(AudioHardware::uid(s, device(1, "x")), "x");
}

TEST(AudioHardware, EchoRouteLooksAtWhereSoundIsPlayed) {
    auto s = laptop();
    EXPECT_EQ(AudioHardware::echoRoute(s, me), PlaybackRoute::speakers)
        << "built-in speakers by default";
    s.sinks[0].activePort = Port::headphones;
    EXPECT_EQ(AudioHardware::echoRoute(s, me), PlaybackRoute::headphones) << "the headphone jack";

    // Someone plays to the USB headset, whose card also records: headphones.
    s.sinks[0].activePort = Port::speaker;
    s.sinkInputs = {{1, 21, 4242, 1, false}};
    EXPECT_EQ(AudioHardware::echoRoute(s, me), PlaybackRoute::headphones);
    // Playing to both: the speakers win.
    s.sinkInputs.push_back({2, 20, 4343, 2, false});
    EXPECT_EQ(AudioHardware::echoRoute(s, me), PlaybackRoute::speakers);
    // Only our own playback: the default sink decides.
    s.sinkInputs = {{1, 21, me, 1, false}};
    EXPECT_EQ(AudioHardware::echoRoute(s, me), PlaybackRoute::speakers);

    AudioSnapshot empty;
    EXPECT_EQ(AudioHardware::echoRoute(empty, me), PlaybackRoute::speakers)
        << "nothing known: assume speakers";
}
