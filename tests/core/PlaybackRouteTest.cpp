#include "core/PlaybackRoute.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace ambrel::core;

TEST(PlaybackRoute, ClassifiesOutputsByConnectionPortAndCard) {
    using Connection = PlaybackRoute::Output::Connection;
    using Port = PlaybackRoute::Output::Port;
    const std::vector<std::string> inputs{"X:2", "usb-combo", "builtin:mic"};
    auto route = [&](Connection connection, Port port, std::string uid) {
        return PlaybackRoute::classify({connection, port, std::move(uid)}, inputs);
    };
    EXPECT_EQ(route(Connection::builtIn, Port::speaker, "builtin:out"), PlaybackRoute::speakers);
    EXPECT_EQ(route(Connection::builtIn, Port::unknown, "builtin:out"), PlaybackRoute::speakers);
    EXPECT_EQ(route(Connection::builtIn, Port::headphones, "builtin:out"),
              PlaybackRoute::headphones);
    EXPECT_EQ(route(Connection::builtIn, Port::headset, "builtin:out"), PlaybackRoute::speakers)
        << "a built-in card plays into headphones through its headphone port only";
    EXPECT_EQ(route(Connection::bluetooth, Port::speaker, "bt"), PlaybackRoute::speakers)
        << "the port before the connection";
    EXPECT_EQ(route(Connection::bluetooth, Port::unknown, "bt"), PlaybackRoute::headphones);
    EXPECT_EQ(route(Connection::virtualDevice, Port::headset, "null"), PlaybackRoute::headphones);
    EXPECT_EQ(route(Connection::virtualDevice, Port::hdmi, "null"), PlaybackRoute::speakers);
    EXPECT_EQ(route(Connection::virtualDevice, Port::unknown, "null"), PlaybackRoute::speakers);
    EXPECT_EQ(route(Connection::other, Port::unknown, "firewire:out"), PlaybackRoute::speakers);
    EXPECT_EQ(route(Connection::usb, Port::unknown, "X:1"), PlaybackRoute::headphones)
        << "same card as an input";
    EXPECT_EQ(route(Connection::usb, Port::unknown, "usb-combo"), PlaybackRoute::speakers)
        << "plays and records";
    EXPECT_EQ(route(Connection::usb, Port::unknown, "Y:1"), PlaybackRoute::speakers);

    EXPECT_EQ(PlaybackRoute::combined({}), PlaybackRoute::headphones);
    const std::vector<PlaybackRoute> both{PlaybackRoute::headphones, PlaybackRoute::speakers};
    EXPECT_EQ(PlaybackRoute::combined(both), PlaybackRoute::speakers);
}
