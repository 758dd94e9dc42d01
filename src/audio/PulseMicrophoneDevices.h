#pragma once

#include "MicrophoneDevices.h"
#include "PulseConnection.h"

namespace ambrel {

// The microphone's view of a PulseAudio (or PipeWire) server: one connection on the
// ".microphone" thread for change notices and the recording stream.
class PulseMicrophoneDevices : public MicrophoneDevices {
public:
    PulseMicrophoneDevices();
    ~PulseMicrophoneDevices() override;

    void watch(std::function<void(Change)> onChange) override;
    void unwatch() override;
    std::optional<AudioSnapshot> snapshot() override;
    std::int64_t ownProcessID() const override;
    void startCapture(const Target& target, AudioSource::BufferCallback onBuffer,
                      std::function<void()> onEnded) override;
    void stopCapture() override;

private:
    void dropStream();
    void ended();
    static void streamState(pa_stream* stream, void* userdata);
    static void readable(pa_stream* stream, std::size_t, void* userdata);

    std::unique_ptr<PulseConnection> connection_;
    std::function<void(Change)> onChange_;
    pa_stream* stream_ = nullptr;
    CapturePlan plan_;
    AudioSource::BufferCallback onBuffer_;
    std::function<void()> onEnded_;
    bool ready_ = false;
    bool failedToStart_ = false;
};

} // namespace ambrel
