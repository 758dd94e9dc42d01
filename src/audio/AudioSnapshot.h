#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ambrel {

// What the sound server knows at one moment: cards, sinks and sources with their active
// ports, and the streams of every client. Read in one go so that the decisions made from it
// see a consistent picture.
struct AudioSnapshot {
    enum class PortType {
        unknown,
        speaker,
        headphones,
        headset,
        handset,
        line,
        hdmi,
        spdif,
        other
    };

    struct Card {
        std::uint32_t index = 0;
        std::string name;
        std::string formFactor; // "internal", "headset", ... (device.form_factor)
        std::string bus;        // "pci", "usb", "bluetooth", ... (device.bus)
    };

    struct Device {
        std::uint32_t index = 0;
        std::string name;        // the server's name, used to connect streams
        std::string description; // the name people see
        std::optional<std::uint32_t> card;
        std::string formFactor; // the device's own properties, for devices without a card entry
        std::string bus;
        bool isMonitor = false;        // a source that records a sink's output
        std::string monitorSourceName; // sinks: their monitor source
        std::optional<PortType> activePort;
        std::string activePortName;
        double sampleRate = 0;
        int channels = 0;
        std::string channelMap; // the server's text form: "front-left,front-right", "aux0,aux1"
    };

    struct Stream {
        std::uint32_t index = 0;
        std::uint32_t device = 0; // sink of a playback stream, source of a recording stream
        std::optional<std::int64_t> processID;
        std::uint32_t client = 0;
        bool corked = false; // paused by its client
    };

    std::string defaultSinkName;
    std::string defaultSourceName;
    std::vector<Card> cards;
    std::vector<Device> sinks;
    std::vector<Device> sources;
    std::vector<Stream> sinkInputs;    // playback streams
    std::vector<Stream> sourceOutputs; // recording streams
};

} // namespace ambrel
