#pragma once

#include "AudioSnapshot.h"
#include "AudioSource.h"
#include "MonoMix.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ambrel {

// The sound server as the microphone source sees it: facts, change notices, and one capture at
// a time. The real one talks to PulseAudio; tests put scripted devices in its place.
class MicrophoneDevices {
public:
    // The device to record and how.
    struct Target {
        std::uint32_t id = 0;
        std::string name; // the server's source name
        StreamFormat format;
        CapturePlan plan;
        std::string channelMap; // the device's own, so the server does not remap its channels
    };

    virtual ~MicrophoneDevices() = default;

    enum class Change {
        devices, // devices came, went or changed, or the default did (or the server came back)
        streams, // some program started or stopped recording or playing
    };
    // Starts telling `onChange` (from any thread) that the devices or their use changed.
    virtual void watch(std::function<void(Change)> onChange) = 0;
    virtual void unwatch() = 0;

    // The facts now; absent when the server cannot be reached.
    virtual std::optional<AudioSnapshot> snapshot() = 0;
    virtual std::int64_t ownProcessID() const = 0;

    // Records the target, mixed to mono; buffers and the end of capture (the device went away,
    // the server was lost) are reported from the capture thread. Throws AudioSourceError.
    virtual void startCapture(const Target& target, AudioSource::BufferCallback onBuffer,
                              std::function<void()> onEnded) = 0;
    virtual void stopCapture() = 0;

    // The real server.
    static std::unique_ptr<MicrophoneDevices> pulse();
};

} // namespace ambrel
