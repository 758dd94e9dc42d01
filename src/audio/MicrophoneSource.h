#pragma once

#include "AudioSource.h"
#include "MicrophoneDevices.h"
#include "StreamFormat.h"
#include "core/InputDeviceInfo.h"
#include "core/Instant.h"
#include "core/MicrophoneSelection.h"
#include "core/Scheduler.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ambrel {

// Records "the microphone": whichever input device MicrophoneChoice picks right now. It
// re-evaluates on every change the server reports and every two seconds, switches capture when
// the answer changes, mixes to mono, backs off a failing device for 30 seconds and falls back
// to the device that worked. Its decisions run on the scheduler's thread; buffers arrive on the
// capture thread.
class MicrophoneSource : public AudioSource, public std::enable_shared_from_this<MicrophoneSource> {
public:
    static std::shared_ptr<MicrophoneSource>
    create(core::MicrophoneSelection selection, core::Scheduler& scheduler,
           std::unique_ptr<MicrophoneDevices> devices = MicrophoneDevices::pulse());
    ~MicrophoneSource() override;

    // Never throws: problems are reported through onDeviceChange.
    void start(BufferCallback onBuffer, InterruptionCallback onInterruption = {}) override;
    void stop() override;
    // Its timers and device choice live on the scheduler's thread.
    bool startsOnAnyThread() const override { return false; }
    void setDeviceCallback(DeviceChange callback) override { onDeviceChange = std::move(callback); }
    // Takes the new choice at once, forgetting a failed device's back-off.
    bool switchDevice(const core::MicrophoneSelection& selection) override;

    const core::MicrophoneSelection& selection() const { return selection_; }
    // Takes effect at once while running.
    void setSelection(core::MicrophoneSelection selection);
    // Forgets the back-off of a failed device.
    void clearFailure() { failed_.reset(); }
    // Re-evaluates now (when started); a failure is logged once while it persists.
    void updateQuietly();

    const std::optional<std::string>& deviceName() const { return deviceName_; }
    const std::optional<std::string>& problem() const { return problem_; }
    DeviceChange onDeviceChange;

private:
    struct Failure {
        std::string uid;
        core::Instant until;
    };

    MicrophoneSource(core::MicrophoneSelection selection, core::Scheduler& scheduler,
                     std::unique_ptr<MicrophoneDevices> devices);
    void update();
    void startCapture(const MicrophoneDevices::Target& target);
    void stopCapture();
    void report(const std::optional<std::string>& uid, const std::optional<std::string>& name,
                const std::optional<std::string>& problem);
    void fail(const core::InputDeviceInfo& device, const std::string& message);

    core::MicrophoneSelection selection_;
    core::Scheduler& scheduler_;
    std::unique_ptr<MicrophoneDevices> devices_;
    BufferCallback onBuffer_;
    core::Scheduler::TimerHandle monitor_;
    bool capturing_ = false;
    std::uint32_t device_ = 0;
    std::optional<std::string> deviceUID_;
    std::vector<StreamFormat> deviceFormats_;
    std::optional<std::string> deviceName_;
    std::optional<std::string> problem_;
    std::optional<std::string> lastError_;
    std::optional<Failure> failed_;
    // Bumped by every capture start and stop, so a late "capture ended" is recognised.
    std::uint64_t captureGeneration_ = 0;
};

} // namespace ambrel
