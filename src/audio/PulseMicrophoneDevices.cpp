#include "PulseMicrophoneDevices.h"

#include "AudioHardware.h"
#include "PulseStream.h"

#include <unistd.h>

namespace ambrel {

std::unique_ptr<MicrophoneDevices> MicrophoneDevices::pulse() {
    return std::make_unique<PulseMicrophoneDevices>();
}

PulseMicrophoneDevices::PulseMicrophoneDevices() = default;

PulseMicrophoneDevices::~PulseMicrophoneDevices() {
    unwatch();
}

void PulseMicrophoneDevices::watch(std::function<void(Change)> onChange) {
    unwatch();
    onChange_ = std::move(onChange);
    const auto mask = static_cast<pa_subscription_mask_t>(
        PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER | PA_SUBSCRIPTION_MASK_CARD |
        PA_SUBSCRIPTION_MASK_SOURCE_OUTPUT | PA_SUBSCRIPTION_MASK_SINK_INPUT);
    connection_ = std::make_unique<PulseConnection>(
        "microphone", mask,
        PulseConnection::Handlers{
            [this] {
                if (onChange_) {
                    onChange_(Change::devices); // connected (again): worth a fresh look
                }
            },
            [this](int) {
                if (stream_ != nullptr) {
                    dropStream();
                    ended();
                }
            },
            [this](pa_subscription_event_type_t type, std::uint32_t index) {
                const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
                const bool ourStream = facility == PA_SUBSCRIPTION_EVENT_SOURCE_OUTPUT &&
                                       stream_ != nullptr && pa_stream_get_index(stream_) == index;
                const bool streams = facility == PA_SUBSCRIPTION_EVENT_SOURCE_OUTPUT ||
                                     facility == PA_SUBSCRIPTION_EVENT_SINK_INPUT;
                if (!ourStream && onChange_) {
                    onChange_(streams ? Change::streams : Change::devices);
                }
            }});
    // Connects in the background when the server is not there yet.
    connection_->start(1.0);
}

void PulseMicrophoneDevices::unwatch() {
    if (!connection_) {
        return;
    }
    stopCapture();
    connection_->stop();
    connection_.reset();
    onChange_ = nullptr;
}

std::optional<AudioSnapshot> PulseMicrophoneDevices::snapshot() {
    return AudioHardware::snapshot();
}

std::int64_t PulseMicrophoneDevices::ownProcessID() const {
    return ::getpid();
}

void PulseMicrophoneDevices::startCapture(const Target& target,
                                          AudioSource::BufferCallback onBuffer,
                                          std::function<void()> onEnded) {
    if (!connection_) {
        throw AudioSourceError("Couldn’t attach to the microphone");
    }
    const auto guard = connection_->lock();
    dropStream();
    if (!connection_->isReady()) {
        throw AudioSourceError::withServerError("Couldn’t attach to the microphone",
                                                PA_ERR_CONNECTIONREFUSED);
    }
    pa_context* context = connection_->context();
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE,
                              static_cast<std::uint32_t>(target.format.sampleRate),
                              static_cast<std::uint8_t>(target.format.channels)};
    if (!pa_sample_spec_valid(&spec)) {
        throw AudioSourceError("Unsupported microphone format");
    }
    // The device's own channel map: with the default one the server would remap the channels,
    // and the capture plan picks channels by their place on the device.
    pa_channel_map map{};
    const bool ownMap = !target.channelMap.empty() &&
                        pa_channel_map_parse(&map, target.channelMap.c_str()) != nullptr &&
                        pa_channel_map_compatible(&map, &spec) != 0;
    stream_ =
        PulseStream::newRecording(context, "Ambrel Microphone", spec, ownMap ? &map : nullptr);
    if (stream_ == nullptr) {
        throw AudioSourceError::withServerError("Couldn’t attach to the microphone",
                                                pa_context_errno(context));
    }
    plan_ = target.plan;
    onBuffer_ = std::move(onBuffer);
    onEnded_ = std::move(onEnded);
    ready_ = false;
    failedToStart_ = false;
    pa_stream_set_state_callback(stream_, &PulseMicrophoneDevices::streamState, this);
    pa_stream_set_read_callback(stream_, &PulseMicrophoneDevices::readable, this);
    const pa_buffer_attr attributes = PulseStream::lowLatency(spec);
    // We choose the device ourselves: the server must not move the stream elsewhere.
    if (pa_stream_connect_record(
            stream_, target.name.c_str(), &attributes,
            static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE)) < 0) {
        const int code = pa_context_errno(context);
        dropStream();
        throw AudioSourceError::withServerError("Couldn’t attach to the microphone", code);
    }
    connection_->wait([this] { return ready_ || failedToStart_; }, 3.0);
    if (!ready_) {
        const int code = failedToStart_ ? pa_context_errno(context) : PA_ERR_TIMEOUT;
        dropStream();
        throw AudioSourceError::withServerError("Couldn’t start the microphone", code);
    }
}

void PulseMicrophoneDevices::stopCapture() {
    if (!connection_) {
        return;
    }
    const auto guard = connection_->lock();
    dropStream();
}

void PulseMicrophoneDevices::dropStream() {
    if (stream_ == nullptr) {
        return;
    }
    PulseStream::release(stream_);
    ready_ = false;
}

void PulseMicrophoneDevices::ended() {
    auto onEnded = std::move(onEnded_);
    onEnded_ = nullptr;
    onBuffer_ = nullptr;
    if (onEnded) {
        onEnded();
    }
}

void PulseMicrophoneDevices::streamState(pa_stream* stream, void* userdata) {
    auto* self = static_cast<PulseMicrophoneDevices*>(userdata);
    switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
        self->ready_ = true;
        self->connection_->signal();
        break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        if (!self->ready_) {
            self->failedToStart_ = true;
            self->connection_->signal();
            return;
        }
        // The device went away under us; let go of the stream outside its own callback.
        self->connection_->timer(0, [self, stream] {
            if (self->stream_ == stream) {
                self->dropStream();
                self->ended();
            }
        });
        break;
    default:
        break;
    }
}

void PulseMicrophoneDevices::readable(pa_stream* stream, std::size_t, void* userdata) {
    auto* self = static_cast<PulseMicrophoneDevices*>(userdata);
    PulseStream::readAvailable(
        stream, [self](const float* samples, std::size_t count, const pa_sample_spec& spec) {
            const MonoMix::InputBuffer input{samples, count * sizeof(float), spec.channels};
            if (auto mono = MonoMix::mix({&input, 1}, self->plan_); mono && self->onBuffer_) {
                self->onBuffer_(std::move(*mono));
            }
        });
}

} // namespace ambrel
