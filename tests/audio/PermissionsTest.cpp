#include "audio/Permissions.h"

#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sys/stat.h>

using namespace ambrel;
using Permissions::State;

TEST(Permissions, ReadsTheHelpersLine) {
    using Current = Permissions::Current;
    EXPECT_EQ(Permissions::parse("systemAudio=allowed microphone=allowed", true),
              (Current{State::allowed, State::allowed}));
    EXPECT_EQ(Permissions::parse("systemAudio=denied microphone=notAsked", false),
              (Current{State::notAsked, State::notAsked}))
        << "never asked: not denied yet";
    EXPECT_EQ(Permissions::parse("systemAudio=denied microphone=notAsked", true),
              (Current{State::denied, State::notAsked}));
    EXPECT_EQ(Permissions::parse("systemAudio=unknown microphone=denied", true),
              (Current{std::nullopt, State::denied}));
    EXPECT_EQ(Permissions::parse("", true), (Current{std::nullopt, State::notAsked}));
    EXPECT_EQ(Permissions::parse("  systemAudio=allowed   microphone=denied  ", true),
              (Current{State::allowed, State::denied}));
    EXPECT_EQ(Permissions::parse("systemAudio=allowed=x microphone==denied", true),
              (Current{std::nullopt, State::notAsked}))
        << "a second equals sign stays in the value";
    EXPECT_EQ(Permissions::parse("systemAudio=denied systemAudio=allowed =x y= z", false),
              (Current{State::allowed, State::notAsked}))
        << "the later value wins";
    EXPECT_EQ(Permissions::parse("systemaudio=allowed microphone=Allowed", true),
              (Current{std::nullopt, State::notAsked}))
        << "words and keys are exact";
}

TEST(Permissions, RunsTheHelperAndKillsOneThatHangs) {
    ambrel::testing::TemporaryFolder folder;
    auto script = [&](const std::string& name, const std::string& body) {
        folder.write(name, "#!/bin/sh\n" + body + "\n");
        ::chmod((folder / name).c_str(), 0755);
        return folder / name;
    };
    EXPECT_EQ(Permissions::runHelper(
                  script("good", "echo ' systemAudio=allowed microphone=denied'; echo noise >&2")),
              "systemAudio=allowed microphone=denied");
    EXPECT_EQ(Permissions::runHelper(folder / "missing"), "");
    folder.write("not-executable", "echo hi");
    EXPECT_EQ(Permissions::runHelper(folder / "not-executable"), "");

    const auto hanging = script("hanging", "printf 'systemAudio=allowed'; exec sleep 30");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Permissions::runHelper(hanging, 0.3), "systemAudio=allowed")
        << "what came before counts";
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));

    // One that closes its output and then does not end is not waited for either.
    const auto lingering =
        script("lingering", "echo 'microphone=allowed'; exec >&-; exec sleep 30");
    const auto again = std::chrono::steady_clock::now();
    EXPECT_EQ(Permissions::runHelper(lingering, 0.3), "microphone=allowed");
    EXPECT_LT(std::chrono::steady_clock::now() - again, std::chrono::seconds(5));
}
