#include "AudioHardware.h"

#include "PulseSnapshotReader.h"
#include "SoundServerWatch.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <unistd.h>

namespace ambrel::AudioHardware {

using core::PlaybackRoute;

namespace {

std::string sourceKey(std::uint32_t index) {
    return "source:" + std::to_string(index);
}
std::string sinkKey(std::uint32_t index) {
    return "sink:" + std::to_string(index);
}

const AudioSnapshot::Card* cardOf(const AudioSnapshot& snapshot,
                                  const AudioSnapshot::Device& device) {
    if (!device.card) {
        return nullptr;
    }
    const auto card = std::find_if(snapshot.cards.begin(), snapshot.cards.end(),
                                   [&](const auto& c) { return c.index == *device.card; });
    return card == snapshot.cards.end() ? nullptr : &*card;
}

PlaybackRoute::Output::Port portOf(std::optional<AudioSnapshot::PortType> port) {
    using From = AudioSnapshot::PortType;
    using To = PlaybackRoute::Output::Port;
    switch (port.value_or(From::unknown)) {
    case From::headphones:
        return To::headphones;
    case From::headset:
        return To::headset;
    case From::handset:
        return To::handset;
    case From::speaker:
        return To::speaker;
    case From::line:
        return To::line;
    case From::hdmi:
        return To::hdmi;
    case From::spdif:
        return To::spdif;
    default:
        return To::unknown;
    }
}

bool isInput(const AudioSnapshot::Device& source) {
    return !source.isMonitor;
}

} // namespace

Usage usage(const std::vector<ProcessAudio>& processes) {
    Usage result;
    for (const auto& process : processes) {
        if (!process.recording) {
            continue;
        }
        std::set<std::string> remaining;
        std::set_difference(process.inputs.begin(), process.inputs.end(), process.outputs.begin(),
                            process.outputs.end(), std::inserter(remaining, remaining.end()));
        const auto& devices = remaining.empty() ? process.inputs : remaining;
        (remaining.empty() ? result.shared : result.used).insert(devices.begin(), devices.end());
        if (process.playing) {
            result.call.insert(devices.begin(), devices.end());
        }
    }
    return result;
}

std::vector<ProcessAudio> otherProcesses(const AudioSnapshot& snapshot, std::int64_t ownProcessID) {
    std::map<std::string, ProcessAudio> byProcess;
    auto processKey = [](const AudioSnapshot::Stream& stream) {
        return stream.processID ? "pid:" + std::to_string(*stream.processID)
                                : "client:" + std::to_string(stream.client);
    };
    for (const auto& stream : snapshot.sourceOutputs) {
        if (stream.processID == ownProcessID) {
            continue;
        }
        auto& process = byProcess[processKey(stream)];
        process.recording = process.recording || !stream.corked;
        process.inputs.insert(sourceKey(stream.device));
    }
    for (const auto& stream : snapshot.sinkInputs) {
        if (stream.processID == ownProcessID) {
            continue;
        }
        auto& process = byProcess[processKey(stream)];
        process.playing = process.playing || !stream.corked;
        process.outputs.insert(sinkKey(stream.device));
    }
    std::vector<ProcessAudio> processes;
    for (auto& [key, process] : byProcess) {
        processes.push_back(std::move(process));
    }
    return processes;
}

std::string uid(const AudioSnapshot& snapshot, const AudioSnapshot::Device& device) {
    if (const auto* card = cardOf(snapshot, device)) {
        return card->name + ":" + device.name;
    }
    return device.name;
}

Connection connection(const AudioSnapshot& snapshot, const AudioSnapshot::Device& device) {
    const auto* card = cardOf(snapshot, device);
    if (card == nullptr && !device.card) {
        return Connection::virtualDevice; // null sinks, remaps, loopbacks
    }
    const std::string& formFactor =
        card && !card->formFactor.empty() ? card->formFactor : device.formFactor;
    const std::string& bus = card && !card->bus.empty() ? card->bus : device.bus;
    if (formFactor == "internal" || bus == "pci" || bus == "platform") {
        return Connection::builtIn;
    }
    if (bus == "usb") {
        return Connection::usb;
    }
    if (bus == "bluetooth") {
        return Connection::bluetooth;
    }
    return Connection::other;
}

std::vector<core::InputDeviceInfo> inputDevices(const AudioSnapshot& snapshot,
                                                std::int64_t ownProcessID) {
    const auto sets = usage(otherProcesses(snapshot, ownProcessID));
    std::vector<core::InputDeviceInfo> devices;
    for (const auto& source : snapshot.sources) {
        if (!isInput(source)) {
            continue;
        }
        const std::string key = sourceKey(source.index);
        const Connection kind = connection(snapshot, source);
        core::InputDeviceInfo info;
        info.uid = uid(snapshot, source);
        info.name = source.description.empty() ? info.uid : source.description;
        info.isDefault = source.name == snapshot.defaultSourceName;
        info.isBuiltIn = kind == Connection::builtIn;
        info.isVirtual = kind == Connection::virtualDevice;
        info.usedByOtherApp = sets.used.contains(key) || sets.shared.contains(key);
        info.usedByCallApp = sets.call.contains(key);
        info.mayBeOutputOnly = !sets.used.contains(key) && sets.shared.contains(key);
        devices.push_back(std::move(info));
    }
    return devices;
}

PlaybackRoute echoRoute(const AudioSnapshot& snapshot, std::int64_t ownProcessID) {
    std::set<std::string> outputs;
    for (const auto& process : otherProcesses(snapshot, ownProcessID)) {
        if (process.playing) {
            outputs.insert(process.outputs.begin(), process.outputs.end());
        }
    }
    std::vector<const AudioSnapshot::Device*> sinks;
    for (const auto& sink : snapshot.sinks) {
        if (outputs.empty() ? sink.name == snapshot.defaultSinkName
                            : outputs.contains(sinkKey(sink.index))) {
            sinks.push_back(&sink);
        }
    }
    std::vector<std::string> inputUIDs;
    for (const auto& source : snapshot.sources) {
        if (isInput(source)) {
            inputUIDs.push_back(uid(snapshot, source));
        }
    }
    std::vector<PlaybackRoute> routes;
    for (const auto* sink : sinks) {
        routes.push_back(PlaybackRoute::classify(
            {connection(snapshot, *sink), portOf(sink->activePort), uid(snapshot, *sink)},
            inputUIDs));
    }
    return routes.empty() ? PlaybackRoute(PlaybackRoute::speakers)
                          : PlaybackRoute::combined(routes);
}

const AudioSnapshot::Device* inputDevice(const AudioSnapshot& snapshot, std::uint32_t id) {
    const auto source = std::find_if(snapshot.sources.begin(), snapshot.sources.end(),
                                     [&](const auto& s) { return s.index == id && isInput(s); });
    return source == snapshot.sources.end() ? nullptr : &*source;
}

std::optional<std::uint32_t> deviceID(const AudioSnapshot& snapshot, std::string_view wanted) {
    for (const auto& source : snapshot.sources) {
        if (isInput(source) && uid(snapshot, source) == wanted) {
            return source.index;
        }
    }
    return std::nullopt;
}

std::vector<StreamFormat> inputFormats(const AudioSnapshot& snapshot, std::uint32_t id) {
    // Recording streams ask for 32-bit float at the source's own rate and channels.
    if (const auto* source = inputDevice(snapshot, id)) {
        return {StreamFormat{source->sampleRate, true, source->channels}};
    }
    return {};
}

std::vector<int> preferredStereoChannels(const AudioSnapshot&, std::uint32_t) {
    return {};
}

bool isAlive(const AudioSnapshot& snapshot, std::uint32_t id) {
    return inputDevice(snapshot, id) != nullptr;
}

namespace {
// Left alive at exit on purpose: its threads must not be torn down by static destructors.
std::atomic<SoundServerWatch*> watch{nullptr};
} // namespace

void keepCurrent(std::function<void()> onChange) {
    if (watch.load() != nullptr) {
        return;
    }
    auto* made = new SoundServerWatch([] { return PulseSnapshotReader::shared().read(1.0); });
    made->start(std::move(onChange));
    watch = made;
    made->changed();
}

namespace {
// What the questions asked from windows use: memory when kept current, never a wait.
std::optional<AudioSnapshot> knownSnapshot() {
    if (const auto* current = watch.load()) {
        return current->latest();
    }
    return PulseSnapshotReader::shared().read(1.0);
}
} // namespace

std::optional<AudioSnapshot> snapshot() {
    if (const auto* current = watch.load()) {
        if (auto known = current->latest()) {
            return known;
        }
    }
    // Nothing read yet (a start right at launch): ask, since capture cannot start without it.
    return PulseSnapshotReader::shared().read(1.0);
}

std::vector<core::InputDeviceInfo> inputDevices() {
    const auto facts = knownSnapshot();
    return facts ? inputDevices(*facts, ::getpid()) : std::vector<core::InputDeviceInfo>{};
}

core::PlaybackRoute echoRoute() {
    const auto facts = knownSnapshot();
    return facts ? echoRoute(*facts, ::getpid()) : PlaybackRoute(PlaybackRoute::speakers);
}

} // namespace ambrel::AudioHardware
