#include "MicrophoneSource.h"

#include "AudioHardware.h"
#include "core/Log.h"
#include "core/MicrophoneChoice.h"

#include <fmt/format.h>

#include <atomic>

namespace ambrel {

namespace {
constexpr double reevaluationInterval = 2.0;
constexpr double failureBackOff = 30.0;
} // namespace

std::shared_ptr<MicrophoneSource>
MicrophoneSource::create(core::MicrophoneSelection selection, core::Scheduler& scheduler,
                         std::unique_ptr<MicrophoneDevices> devices) {
    return std::shared_ptr<MicrophoneSource>(
        new MicrophoneSource(std::move(selection), scheduler, std::move(devices)));
}

MicrophoneSource::MicrophoneSource(core::MicrophoneSelection selection, core::Scheduler& scheduler,
                                   std::unique_ptr<MicrophoneDevices> devices)
    : selection_(std::move(selection))
    , scheduler_(scheduler)
    , devices_(std::move(devices)) {}

MicrophoneSource::~MicrophoneSource() {
    stop();
}

void MicrophoneSource::start(BufferCallback onBuffer, InterruptionCallback) {
    stop();
    onBuffer_ = std::move(onBuffer);
    std::weak_ptr<MicrophoneSource> weak = weak_from_this();
    monitor_ = scheduler_.every(reevaluationInterval, [weak] {
        if (const auto source = weak.lock()) {
            source->updateQuietly();
        }
    });
    // Server notices come in bursts from the capture thread; one re-evaluation answers a burst.
    // Only a change of devices ends a failing device's back-off: streams come and go all the
    // time, our own among them whenever capture moves to another device.
    struct Pending {
        std::atomic<bool> look{false};
        std::atomic<bool> devices{false};
    };
    auto pending = std::make_shared<Pending>();
    devices_->watch([weak, pending, &scheduler = scheduler_](MicrophoneDevices::Change change) {
        if (change == MicrophoneDevices::Change::devices) {
            pending->devices = true;
        }
        if (pending->look.exchange(true)) {
            return;
        }
        scheduler.post([weak, pending] {
            pending->look = false;
            const bool devicesChanged = pending->devices.exchange(false);
            if (const auto source = weak.lock()) {
                if (devicesChanged) {
                    source->clearFailure();
                }
                source->updateQuietly();
            }
        });
    });
    updateQuietly();
    if (!deviceName_ && onDeviceChange) {
        onDeviceChange(std::nullopt, problem_);
    }
}

void MicrophoneSource::stop() {
    onBuffer_ = nullptr;
    monitor_.reset();
    devices_->unwatch();
    stopCapture();
    deviceUID_.reset();
    deviceName_.reset();
    problem_.reset();
    lastError_.reset();
    failed_.reset();
}

void MicrophoneSource::setSelection(core::MicrophoneSelection selection) {
    selection_ = std::move(selection);
    failed_.reset();
    updateQuietly();
}

bool MicrophoneSource::switchDevice(const core::MicrophoneSelection& selection) {
    setSelection(selection);
    clearFailure();
    updateQuietly();
    return true;
}

void MicrophoneSource::updateQuietly() {
    if (!onBuffer_) {
        return;
    }
    try {
        update();
        lastError_.reset();
    } catch (const AudioSourceError& error) {
        const std::string message = error.message();
        if (message != lastError_) {
            core::Log::audio().error(fmt::format("Microphone unavailable: {}", message));
        }
        lastError_ = message;
    }
}

void MicrophoneSource::update() {
    const auto snapshot = devices_->snapshot();
    const auto devices = snapshot ? AudioHardware::inputDevices(*snapshot, devices_->ownProcessID())
                                  : std::vector<core::InputDeviceInfo>{};
    const auto chosen = core::MicrophoneChoice::choose(selection_, devices);
    const auto id = chosen ? AudioHardware::deviceID(*snapshot, chosen->uid) : std::nullopt;
    if (!chosen || !id) {
        if (capturing_) {
            stopCapture();
        }
        report(std::nullopt, std::nullopt, std::nullopt);
        throw AudioSourceError("No microphone available");
    }
    const auto formats = AudioHardware::inputFormats(*snapshot, *id);
    if (capturing_ && device_ == *id && deviceUID_ == chosen->uid && formats == deviceFormats_) {
        return;
    }
    if (failed_ && failed_->uid == chosen->uid && scheduler_.now() < failed_->until) {
        return;
    }
    auto targetFor = [&](std::uint32_t device) {
        const auto* info = AudioHardware::inputDevice(*snapshot, device);
        const auto deviceFormats = AudioHardware::inputFormats(*snapshot, device);
        const auto plan =
            MonoMix::plan(deviceFormats, AudioHardware::preferredStereoChannels(*snapshot, device));
        return MicrophoneDevices::Target{device, info ? info->name : "", deviceFormats.front(),
                                         plan, info ? info->channelMap : ""};
    };
    MicrophoneDevices::Target target;
    try {
        target = targetFor(*id);
    } catch (const AudioSourceError& error) {
        fail(*chosen, error.message());
        throw;
    }
    std::optional<std::pair<std::uint32_t, std::optional<std::string>>> previous;
    if (capturing_) {
        previous = std::pair(device_, deviceUID_);
    }
    stopCapture();
    try {
        startCapture(target);
    } catch (const AudioSourceError& error) {
        if (previous && previous->second && previous->first != *id &&
            AudioHardware::isAlive(*snapshot, previous->first)) {
            try {
                startCapture(targetFor(previous->first));
                deviceUID_ = previous->second;
            } catch (const AudioSourceError&) {
                // The old device failed too; the error of the new one is what counts.
            }
        }
        fail(*chosen, error.message());
        throw;
    }
    failed_.reset();
    core::Log::audio().notice(fmt::format("Recording microphone “{}” ({}; in a call: {})",
                                          chosen->name, selection_.storageValue(),
                                          chosen->usedByCallApp ? 1 : 0));
    report(chosen->uid, chosen->name, std::nullopt);
}

void MicrophoneSource::startCapture(const MicrophoneDevices::Target& target) {
    const std::uint64_t generation = ++captureGeneration_;
    std::weak_ptr<MicrophoneSource> weak = weak_from_this();
    devices_->startCapture(target, onBuffer_, [weak, generation, &scheduler = scheduler_] {
        scheduler.post([weak, generation] {
            const auto source = weak.lock();
            if (!source || source->captureGeneration_ != generation || !source->capturing_) {
                return;
            }
            // The device or the server went away: look again at once.
            source->capturing_ = false;
            source->device_ = 0;
            source->deviceFormats_.clear();
            source->failed_.reset();
            source->updateQuietly();
        });
    });
    capturing_ = true;
    device_ = target.id;
    deviceFormats_ = {target.format};
}

void MicrophoneSource::stopCapture() {
    ++captureGeneration_;
    devices_->stopCapture();
    capturing_ = false;
    device_ = 0;
    deviceFormats_.clear();
}

void MicrophoneSource::report(const std::optional<std::string>& uid,
                              const std::optional<std::string>& name,
                              const std::optional<std::string>& problem) {
    deviceUID_ = uid;
    if (name == deviceName_ && problem == problem_) {
        return;
    }
    deviceName_ = name;
    problem_ = problem;
    if (onDeviceChange) {
        onDeviceChange(name, problem);
    }
}

void MicrophoneSource::fail(const core::InputDeviceInfo& device, const std::string& message) {
    failed_ = Failure{device.uid, scheduler_.now() + failureBackOff};
    if (!capturing_) {
        report(std::nullopt, std::nullopt, message);
    }
}

} // namespace ambrel
