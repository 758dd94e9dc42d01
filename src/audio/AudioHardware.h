#pragma once

#include "AudioSnapshot.h"
#include "StreamFormat.h"
#include "core/InputDeviceInfo.h"
#include "core/PlaybackRoute.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// The one place that turns the sound server's facts into what the microphone choice and the
// echo check need. The functions taking a snapshot are pure; the others read the server afresh
// and degrade to empty results when it cannot answer within a second.
namespace ambrel::AudioHardware {

// What one other process does with audio; devices are keys that never mix inputs and outputs.
struct ProcessAudio {
    bool recording = false;
    bool playing = false;
    std::set<std::string> inputs;
    std::set<std::string> outputs;
};

// Devices recorded by other processes: input-only use, use through a device the process
// also plays to, and use by a process that records and plays at once (a call).
struct Usage {
    std::set<std::string> used;
    std::set<std::string> shared;
    std::set<std::string> call;
};
Usage usage(const std::vector<ProcessAudio>& processes);

// The other processes' streams, grouped by process (or by client when no process is known).
std::vector<ProcessAudio> otherProcesses(const AudioSnapshot& snapshot, std::int64_t ownProcessID);

// "<card name>:<device name>" for a device on a card, else the device name.
std::string uid(const AudioSnapshot& snapshot, const AudioSnapshot::Device& device);
using Connection = core::PlaybackRoute::Output::Connection;
// How a device is attached, from its card's form factor and bus; a device without a card is
// virtual (a null sink, a remap, a loopback).
Connection connection(const AudioSnapshot& snapshot, const AudioSnapshot::Device& device);

std::vector<core::InputDeviceInfo> inputDevices(const AudioSnapshot& snapshot,
                                                std::int64_t ownProcessID);
core::PlaybackRoute echoRoute(const AudioSnapshot& snapshot, std::int64_t ownProcessID);
std::optional<std::uint32_t> deviceID(const AudioSnapshot& snapshot, std::string_view uid);
const AudioSnapshot::Device* inputDevice(const AudioSnapshot& snapshot, std::uint32_t id);
std::vector<StreamFormat> inputFormats(const AudioSnapshot& snapshot, std::uint32_t id);
// The server reports no preferred stereo pair.
std::vector<int> preferredStereoChannels(const AudioSnapshot& snapshot, std::uint32_t id);
bool isAlive(const AudioSnapshot& snapshot, std::uint32_t id);

// From now on the server's facts are followed from its events and the questions below are
// answered from memory, never waiting (for the desktop app, whose window thread asks them).
// `onChange` hears of each new reading, on a thread of its own. Once per process.
void keepCurrent(std::function<void()> onChange);

// The server's facts now: as last read when kept current, else read afresh; absent when the
// server cannot be reached within a second.
std::optional<AudioSnapshot> snapshot();

// The same questions, asked of the server now, or of memory when kept current (the server's
// answer not known yet: no devices, and the route is taken for speakers).
std::vector<core::InputDeviceInfo> inputDevices();
core::PlaybackRoute echoRoute();

} // namespace ambrel::AudioHardware
