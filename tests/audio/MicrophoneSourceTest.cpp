#include "audio/MicrophoneSource.h"

#include "ScriptedMicrophoneDevices.h"
#include "core/Log.h"
#include "core/VirtualScheduler.h"

#include <gtest/gtest.h>

using namespace ambrel;

namespace {

using ScriptedDevices = ambrel::testing::ScriptedMicrophoneDevices;

class MicrophoneSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        core::Log::setSink(
            [this](std::string_view, core::LogLevel level, std::string_view message) {
                if (level >= core::LogLevel::error) {
                    errors.emplace_back(message);
                }
            });
        microphone = MicrophoneSource::create(core::MicrophoneSelection::automatic(), scheduler,
                                              std::make_unique<ScriptedDevices>(server));
        microphone->onDeviceChange = [this](const auto& name, const auto& problem) {
            changes.emplace_back(name.value_or("-"), problem.value_or("-"));
        };
    }
    void TearDown() override { core::Log::setSink({}); }

    void start() {
        microphone->start(
            [this](AudioBuffer buffer) { buffers += static_cast<int>(buffer.frameCount()); });
    }
    void plug(std::uint32_t index, const std::string& name, const std::string& description,
              bool isDefault = false) {
        server->snapshot.sources.push_back(ambrel::testing::inputDevice(index, name, description));
        if (isDefault) {
            server->snapshot.defaultSourceName = name;
        }
    }
    // The server ends the capture (device gone, connection lost).
    void endCapture() {
        auto ended = server->onEnded;
        server->capturing.reset();
        server->onEnded = nullptr;
        ended();
    }
    void unplug(const std::string& name) {
        std::erase_if(server->snapshot.sources, [&](const auto& s) { return s.name == name; });
    }

    core::VirtualScheduler scheduler;
    std::shared_ptr<ScriptedDevices::State> server = std::make_shared<ScriptedDevices::State>();
    std::shared_ptr<MicrophoneSource> microphone;
    std::vector<std::pair<std::string, std::string>> changes;
    std::vector<std::string> errors;
    int buffers = 0;
};

using Changes = std::vector<std::pair<std::string, std::string>>;

} // namespace

TEST_F(MicrophoneSourceTest, WithoutADeviceItReportsNothingAndLogsOnce) {
    start();
    EXPECT_EQ(changes, (Changes{{"-", "-"}}));
    EXPECT_FALSE(server->capturing);
    scheduler.advance(30);
    EXPECT_EQ(errors, std::vector<std::string>{"Microphone unavailable: No microphone available"});

    // A device is plugged in: the next look finds it.
    plug(5, "usb-mic", "USB Microphone");
    server->onChange(MicrophoneDevices::Change::devices);
    scheduler.runPending();
    EXPECT_EQ(server->capturing, "usb-mic");
    EXPECT_EQ(changes.back(), (std::pair<std::string, std::string>{"USB Microphone", "-"}));
    EXPECT_EQ(microphone->deviceName(), "USB Microphone");
}

TEST_F(MicrophoneSourceTest, FollowsTheDefaultAndTheSelection) {
    plug(1, "builtin", "Built-in", true);
    plug(2, "usb-mic", "USB Microphone");
    start();
    EXPECT_EQ(server->capturing, "builtin");
    server->snapshot.defaultSourceName = "usb-mic";
    scheduler.advance(2); // the two-second look
    EXPECT_EQ(server->capturing, "usb-mic");

    microphone->setSelection(core::MicrophoneSelection::device("builtin"));
    EXPECT_EQ(server->capturing, "builtin");
    // The selected device is unplugged: automatic choice, without waiting for the timer.
    unplug("builtin");
    endCapture();
    scheduler.runPending();
    EXPECT_EQ(server->capturing, "usb-mic");

    // Nothing changed: no restart.
    const auto attempts = server->attempts.size();
    scheduler.advance(10);
    EXPECT_EQ(server->attempts.size(), attempts);
    // Same device, new sample rate: capture restarts.
    server->snapshot.sources.back().sampleRate = 16000;
    scheduler.advance(2);
    EXPECT_EQ(server->attempts.size(), attempts + 1);
}

TEST_F(MicrophoneSourceTest, AFailedSwitchFallsBackAndBacksOff) {
    plug(1, "headset", "Headset", true);
    start();
    ASSERT_EQ(server->capturing, "headset");
    plug(2, "new-mic", "New Microphone", true);
    server->snapshot.defaultSourceName = "new-mic";
    server->failingSources = {"new-mic"};
    scheduler.advance(2);
    EXPECT_EQ(server->capturing, "headset") << "back to the device that worked";
    EXPECT_EQ(microphone->deviceName(), "Headset");
    EXPECT_FALSE(microphone->problem()) << "a failure is not shown while something records";
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("Couldn’t start the microphone"), std::string::npos);

    // Backed off for 30 seconds: not retried on the timer, nor when streams come and go (the
    // end of our own stream on the failed device among them) ...
    const auto attempts = server->attempts.size();
    server->onChange(MicrophoneDevices::Change::streams);
    scheduler.advance(20);
    EXPECT_EQ(server->attempts.size(), attempts);
    // ... until the back-off ends.
    server->failingSources.clear();
    scheduler.advance(12);
    EXPECT_EQ(server->capturing, "new-mic");
}

TEST_F(MicrophoneSourceTest, ANotificationClearsTheBackOffAndAnUnusableDeviceIsReported) {
    plug(1, "broken", "Broken", true);
    server->failingSources = {"broken"};
    start();
    EXPECT_EQ(microphone->problem(),
              "Couldn’t start the microphone (PulseAudio error 3: Access denied)");
    EXPECT_EQ(changes.back().second, *microphone->problem());
    server->failingSources.clear();
    scheduler.advance(4);
    EXPECT_FALSE(server->capturing) << "backed off";
    server->onChange(MicrophoneDevices::Change::devices);
    scheduler.runPending();
    EXPECT_EQ(server->capturing, "broken");
    EXPECT_FALSE(microphone->problem());
}

TEST_F(MicrophoneSourceTest, AnUnreachableServerStopsCaptureUntilItIsBack) {
    plug(1, "mic", "Microphone", true);
    start();
    server->reachable = false;
    endCapture();
    scheduler.runPending();
    EXPECT_FALSE(server->capturing);
    EXPECT_EQ(changes.back(), (std::pair<std::string, std::string>{"-", "-"}));
    server->reachable = true;
    scheduler.advance(2);
    EXPECT_EQ(server->capturing, "mic");
}

TEST_F(MicrophoneSourceTest, NothingHappensAfterStop) {
    plug(1, "mic", "Microphone", true);
    start();
    auto lateEnd = server->onEnded;
    microphone->stop();
    EXPECT_FALSE(server->capturing);
    EXPECT_FALSE(server->onChange) << "no more notices";
    lateEnd();
    scheduler.advance(10);
    EXPECT_FALSE(server->capturing);
    EXPECT_FALSE(microphone->deviceName());

    // A notice that arrives after the source is gone does nothing either.
    start();
    auto lateChange = server->onChange;
    microphone.reset();
    lateChange(MicrophoneDevices::Change::devices);
    scheduler.runPending();
}
