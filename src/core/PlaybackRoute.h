#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>

namespace ambrel::core {

// Where system sound comes out: into headphones, or into speakers the microphone can overhear.
class PlaybackRoute {
public:
    enum Value { headphones, speakers };

    constexpr PlaybackRoute(Value value) : value_(value) {}
    constexpr operator Value() const { return value_; }

    // One output device. `transport` and `dataSource` are four-letter codes ("bltn", "usb ",
    // "blue", "hdpn"); `terminalType` is the terminal type of its first output stream (0 when
    // unknown); `inputUIDs` are the uids of all current input devices.
    static PlaybackRoute classify(std::string_view transport,
                                  const std::optional<std::string>& dataSource,
                                  std::uint32_t terminalType, std::string_view outputUID,
                                  std::span<const std::string> inputUIDs);

    // Speakers when any route is; headphones otherwise (also for none).
    static PlaybackRoute combined(std::span<const PlaybackRoute> routes);

    // The first up to four bytes of the text, first byte most significant ("hdph" is 0x68647068).
    static std::uint32_t fourCC(std::string_view text);

    static const std::set<std::uint32_t>& headphoneTerminals();
    static const std::set<std::uint32_t>& speakerTerminals();

private:
    Value value_;
};

} // namespace ambrel::core
