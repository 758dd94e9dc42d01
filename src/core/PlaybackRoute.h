#pragma once

#include <span>
#include <string>
#include <string_view>

namespace ambrel::core {

// Where system sound comes out: into headphones, or into speakers the microphone can overhear.
class PlaybackRoute {
public:
    enum Value { headphones, speakers };

    // One output device, as the sound server describes it.
    struct Output {
        // How the device is attached.
        enum class Connection { builtIn, usb, bluetooth, virtualDevice, other };
        // Its active port, when the server tells.
        enum class Port { unknown, headphones, headset, handset, speaker, line, hdmi, spdif };

        Connection connection = Connection::other;
        Port port = Port::unknown;
        std::string uid; // "<card>:<device>" on a card, else the device's name
    };

    constexpr PlaybackRoute(Value value) : value_(value) {}
    constexpr operator Value() const { return value_; }

    // A built-in device plays into headphones only through its headphone port; otherwise the
    // port decides when it says something, then the connection (Bluetooth: headphones); a USB
    // device is a headset when an input of the same card exists, unless it is itself an input
    // (a speakerphone). `inputUIDs` are the uids of all current input devices.
    static PlaybackRoute classify(const Output& output, std::span<const std::string> inputUIDs);

    // Speakers when any route is; headphones otherwise (also for none).
    static PlaybackRoute combined(std::span<const PlaybackRoute> routes);

private:
    Value value_;
};

} // namespace ambrel::core
