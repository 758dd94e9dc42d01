#include "PlaybackRoute.h"

#include <algorithm>

namespace ambrel::core {

namespace {

// The text before the last ":"; the whole uid when it has none.
std::string_view stem(std::string_view uid) {
    const auto colon = uid.rfind(':');
    return colon == std::string_view::npos ? uid : uid.substr(0, colon);
}

} // namespace

std::uint32_t PlaybackRoute::fourCC(std::string_view text) {
    std::uint32_t code = 0;
    for (std::size_t i = 0; i < std::min<std::size_t>(4, text.size()); ++i) {
        code = code * 256 + static_cast<unsigned char>(text[i]);
    }
    return code;
}

const std::set<std::uint32_t>& PlaybackRoute::headphoneTerminals() {
    static const std::set<std::uint32_t> codes{fourCC("hdph"), 0x0302, 0x0303, 0x0401, 0x0402};
    return codes;
}

const std::set<std::uint32_t>& PlaybackRoute::speakerTerminals() {
    static const std::set<std::uint32_t> codes{
        fourCC("spkr"), fourCC("lfes"), fourCC("line"), fourCC("hdmi"), fourCC("dprt"),
        fourCC("spdf"), 0x0301,         0x0304,         0x0305,         0x0306,
        0x0307,         0x0403,         0x0404,         0x0405,         0x0603};
    return codes;
}

PlaybackRoute PlaybackRoute::classify(std::string_view transport,
                                      const std::optional<std::string>& dataSource,
                                      std::uint32_t terminalType, std::string_view outputUID,
                                      std::span<const std::string> inputUIDs) {
    if (transport == "bltn") {
        return dataSource == "hdpn" ? headphones : speakers;
    }
    if (headphoneTerminals().contains(terminalType)) {
        return headphones;
    }
    if (speakerTerminals().contains(terminalType)) {
        return speakers;
    }
    if (transport == "blue" || transport == "blea") {
        return headphones;
    }
    if (transport != "usb ") {
        return speakers;
    }
    if (std::find(inputUIDs.begin(), inputUIDs.end(), outputUID) != inputUIDs.end()) {
        return speakers; // one device that plays and records: a speakerphone
    }
    const auto outputStem = stem(outputUID);
    const bool sameCard = std::any_of(inputUIDs.begin(), inputUIDs.end(),
                                      [&](const auto& uid) { return stem(uid) == outputStem; });
    return sameCard ? headphones : speakers;
}

PlaybackRoute PlaybackRoute::combined(std::span<const PlaybackRoute> routes) {
    const bool anySpeakers = std::any_of(routes.begin(), routes.end(),
                                         [](PlaybackRoute route) { return route == speakers; });
    return anySpeakers ? speakers : headphones;
}

} // namespace ambrel::core
