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

PlaybackRoute PlaybackRoute::classify(const Output& output,
                                      std::span<const std::string> inputUIDs) {
    using Connection = Output::Connection;
    using Port = Output::Port;
    if (output.connection == Connection::builtIn) {
        return output.port == Port::headphones ? headphones : speakers;
    }
    switch (output.port) {
    case Port::headphones:
    case Port::headset:
    case Port::handset:
        return headphones;
    case Port::speaker:
    case Port::line:
    case Port::hdmi:
    case Port::spdif:
        return speakers;
    case Port::unknown:
        break;
    }
    if (output.connection == Connection::bluetooth) {
        return headphones;
    }
    if (output.connection != Connection::usb) {
        return speakers;
    }
    if (std::find(inputUIDs.begin(), inputUIDs.end(), output.uid) != inputUIDs.end()) {
        return speakers; // one device that plays and records: a speakerphone
    }
    const auto outputStem = stem(output.uid);
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
