#pragma once

#include "audio/AudioSourceError.h"
#include "audio/MicrophoneDevices.h"

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ambrel::testing {

// A scripted sound server: sources the test adds and removes, captures that can be made to fail.
class ScriptedMicrophoneDevices : public MicrophoneDevices {
public:
    struct State {
        AudioSnapshot snapshot;
        bool reachable = true;
        std::set<std::string> failingSources;
        std::optional<std::string> capturing; // source name
        std::vector<std::string> attempts;
        std::function<void(Change)> onChange;
        std::function<void()> onEnded;
        AudioSource::BufferCallback onBuffer;
    };

    explicit ScriptedMicrophoneDevices(std::shared_ptr<State> state) : state_(std::move(state)) {}

    void watch(std::function<void(Change)> onChange) override {
        state_->onChange = std::move(onChange);
    }
    void unwatch() override { state_->onChange = nullptr; }
    std::optional<AudioSnapshot> snapshot() override {
        return state_->reachable ? std::optional(state_->snapshot) : std::nullopt;
    }
    std::int64_t ownProcessID() const override { return 1; }
    void startCapture(const Target& target, AudioSource::BufferCallback onBuffer,
                      std::function<void()> onEnded) override {
        state_->attempts.push_back(target.name);
        if (state_->failingSources.contains(target.name)) {
            throw AudioSourceError(
                "Couldn’t start the microphone (PulseAudio error 3: Access denied)");
        }
        state_->capturing = target.name;
        state_->onBuffer = std::move(onBuffer);
        state_->onEnded = std::move(onEnded);
    }
    void stopCapture() override {
        state_->capturing.reset();
        state_->onEnded = nullptr;
    }

private:
    std::shared_ptr<State> state_;
};

// An input device as the server describes it: mono at 48 kHz.
inline AudioSnapshot::Device inputDevice(std::uint32_t index, std::string name,
                                         std::string description) {
    AudioSnapshot::Device device;
    device.index = index;
    device.name = std::move(name);
    device.description = std::move(description);
    device.sampleRate = 48000;
    device.channels = 1;
    return device;
}

} // namespace ambrel::testing
