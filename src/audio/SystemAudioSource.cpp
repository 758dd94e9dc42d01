#include "SystemAudioSource.h"

#include "PulseStream.h"
#include "core/Clocks.h"
#include "core/Log.h"

#include <fmt/format.h>

#include <chrono>

namespace ambrel {

namespace {

// A stream that delivers nothing for this long means the server froze.
constexpr double dataWatchdog = 3.0;

} // namespace

// The capture itself, living on the connection's thread; every member is touched there (or by
// other threads holding the loop's lock).
struct SystemAudioSource::Capture {
    enum class Stage {
        connecting,
        readingFormat,
        unsupported,
        creating,
        attaching,
        starting,
        running
    };

    BufferCallback onBuffer;
    InterruptionCallback onInterruption;
    PulseConnection connection;
    pa_stream* stream = nullptr;
    std::string monitor; // the source being recorded, once running
    Stage stage = Stage::connecting;
    int error = 0;
    bool failed = false;  // the first start failed at `stage`
    bool started = false; // start() returned; later problems are interruptions
    bool interrupted = false;
    bool retargeting = false;
    bool retargetAgain = false;
    double lastData = 0;
    pa_time_event* watchdog = nullptr;
    pa_time_event* retry = nullptr;

    Capture(BufferCallback buffers, InterruptionCallback interruptions)
        : onBuffer(std::move(buffers))
        , onInterruption(std::move(interruptions))
        , connection(
              "system-audio", static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SERVER),
              PulseConnection::Handlers{
                  [this] { connected(); }, [this](int code) { lost(code); },
                  [this](pa_subscription_event_type_t type, std::uint32_t) { event(type); }}) {}

    ~Capture() {
        {
            const auto guard = connection.lock();
            dropStream();
        }
        connection.stop();
    }

    pa_context* context() const { return connection.context(); }

    void connected() {
        if (started) {
            retarget();
        }
    }

    void lost(int code) {
        dropStream();
        retargeting = false;
        interrupt(
            AudioSourceError::withServerError("Lost the connection to the sound server", code));
    }

    void event(pa_subscription_event_type_t type) {
        if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SERVER) {
            retarget(); // the default sink may have changed
        }
    }

    void interrupt(const AudioSourceError& problem) {
        if (interrupted || !started) {
            return;
        }
        interrupted = true;
        core::Log::audio().error(fmt::format("System audio interrupted: {}", problem.message()));
        if (onInterruption) {
            onInterruption(problem);
        }
    }

    // A step failed: during the first start that ends it; later the capture retries shortly.
    void fail(Stage at, int code) {
        retargeting = false;
        if (!started) {
            stage = at;
            error = code;
            failed = true;
            connection.signal();
            return;
        }
        interrupt(AudioSourceError::withServerError("Couldn’t start system audio capture", code));
        if (retry == nullptr) {
            retry = connection.timer(1.0, [this] {
                retry = nullptr;
                retarget();
            });
        }
    }

    void dropStream() {
        PulseStream::release(stream);
        monitor.clear();
    }

    // Makes sure the default sink's monitor is recorded: server info, then the default sink,
    // then its monitor, then (when it is not already recorded) a new stream.
    void retarget() {
        if (!connection.isReady()) {
            return;
        }
        if (retargeting) {
            retargetAgain = true;
            return;
        }
        retargeting = true;
        retargetAgain = false;
        if (!started) {
            stage = Stage::readingFormat;
        }
        run(pa_context_get_server_info(context(), &Capture::serverInfo, this),
            Stage::readingFormat);
    }

    void run(pa_operation* operation, Stage stageIfFailed) {
        if (operation == nullptr) {
            fail(stageIfFailed, pa_context_errno(context()));
            return;
        }
        pa_operation_unref(operation);
    }

    static void serverInfo(pa_context* context, const pa_server_info* info, void* userdata) {
        auto* self = static_cast<Capture*>(userdata);
        if (info == nullptr || info->default_sink_name == nullptr) {
            self->fail(Stage::readingFormat, info ? PA_ERR_NOENTITY : pa_context_errno(context));
            return;
        }
        self->run(pa_context_get_sink_info_by_name(context, info->default_sink_name,
                                                   &Capture::sinkInfo, self),
                  Stage::readingFormat);
    }

    static void sinkInfo(pa_context* context, const pa_sink_info* info, int eol, void* userdata) {
        auto* self = static_cast<Capture*>(userdata);
        if (eol < 0) {
            self->fail(Stage::readingFormat, pa_context_errno(context));
        }
        if (info == nullptr) {
            return;
        }
        // Resolve the monitor by name: a symbolic default monitor may name the microphone.
        self->run(pa_context_get_source_info_by_name(context, info->monitor_source_name,
                                                     &Capture::monitorInfo, self),
                  Stage::readingFormat);
    }

    static void monitorInfo(pa_context* context, const pa_source_info* info, int eol,
                            void* userdata) {
        auto* self = static_cast<Capture*>(userdata);
        if (eol < 0) {
            self->fail(Stage::readingFormat, pa_context_errno(context));
        }
        if (info == nullptr) {
            return;
        }
        if (info->monitor_of_sink == PA_INVALID_INDEX) {
            self->fail(Stage::readingFormat, PA_ERR_NOENTITY);
            return;
        }
        if (self->stream != nullptr && pa_stream_get_state(self->stream) == PA_STREAM_READY &&
            self->monitor == info->name) {
            self->finishRetarget();
            return;
        }
        self->record(*info);
    }

    void record(const pa_source_info& monitorSource) {
        dropStream();
        const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, monitorSource.sample_spec.rate,
                                  monitorSource.sample_spec.channels};
        if (!pa_sample_spec_valid(&spec)) {
            fail(Stage::unsupported, 0);
            return;
        }
        stream = PulseStream::newRecording(context(), streamName, spec, &monitorSource.channel_map);
        if (stream == nullptr) {
            fail(Stage::creating, pa_context_errno(context()));
            return;
        }
        pa_stream_set_read_callback(stream, &Capture::readable, this);
        pa_stream_set_state_callback(stream, &Capture::streamState, this);
        pa_stream_set_moved_callback(stream, &Capture::moved, this);
        const pa_buffer_attr attributes = PulseStream::lowLatency(spec);
        if (!started) {
            stage = Stage::attaching;
        }
        if (pa_stream_connect_record(stream, monitorSource.name, &attributes,
                                     PA_STREAM_ADJUST_LATENCY) < 0) {
            const int code = pa_context_errno(context());
            dropStream();
            fail(Stage::attaching, code);
            return;
        }
        if (!started) {
            stage = Stage::starting;
        }
    }

    void finishRetarget() {
        retargeting = false;
        if (interrupted) {
            interrupted = false;
            core::Log::audio().notice("System audio capture resumed");
            if (onInterruption) {
                onInterruption(std::nullopt);
            }
        }
        if (retargetAgain) {
            retarget();
        }
    }

    static void streamState(pa_stream* stream, void* userdata) {
        auto* self = static_cast<Capture*>(userdata);
        switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY: {
            const char* device = pa_stream_get_device_name(stream);
            self->monitor = device != nullptr ? device : "";
            self->lastData = core::Clocks::monotonic();
            self->stage = Stage::running;
            self->connection.signal();
            self->finishRetarget();
            break;
        }
        case PA_STREAM_FAILED: {
            const int code = pa_context_errno(self->context());
            // Let go of the stream outside its own callback.
            self->connection.timer(0, [self, stream, code] {
                if (self->stream != stream) {
                    return;
                }
                self->dropStream();
                if (self->started && self->stage == Stage::running) {
                    // The recorded sink went away; record the default one.
                    self->retargeting = false;
                    self->retarget();
                } else {
                    self->fail(Stage::starting, code);
                }
            });
            break;
        }
        default:
            break;
        }
    }

    // The server moved the stream, for example because the sink disappeared; it must still
    // record a monitor, never a microphone.
    static void moved(pa_stream* stream, void* userdata) {
        auto* self = static_cast<Capture*>(userdata);
        const char* device = pa_stream_get_device_name(stream);
        if (device == nullptr) {
            self->retarget();
            return;
        }
        self->run(
            pa_context_get_source_info_by_name(self->context(), device, &Capture::movedTo, self),
            Stage::running);
    }

    static void movedTo(pa_context*, const pa_source_info* info, int, void* userdata) {
        auto* self = static_cast<Capture*>(userdata);
        if (info == nullptr) {
            return;
        }
        if (info->monitor_of_sink == PA_INVALID_INDEX) {
            core::Log::audio().error(
                fmt::format("System audio was moved to “{}”, which is not a monitor; following "
                            "the default output instead",
                            info->name));
            self->dropStream();
            self->retargeting = false;
            self->retarget();
        } else {
            self->monitor = info->name;
        }
    }

    static void readable(pa_stream* stream, std::size_t, void* userdata) {
        auto* self = static_cast<Capture*>(userdata);
        PulseStream::readAvailable(
            stream, [self](const float* samples, std::size_t count, const pa_sample_spec& spec) {
                self->lastData = core::Clocks::monotonic();
                if (self->onBuffer && count >= spec.channels) {
                    self->onBuffer(AudioBuffer{static_cast<double>(spec.rate), spec.channels,
                                               std::vector<float>(samples, samples + count)});
                }
            });
    }

    void watch() {
        watchdog = connection.timer(1.0, [this] {
            watchdog = nullptr;
            if (stream != nullptr && pa_stream_get_state(stream) == PA_STREAM_READY &&
                core::Clocks::monotonic() - lastData > dataWatchdog) {
                core::Log::audio().error("The sound server stopped delivering system audio; "
                                         "reconnecting");
                dropStream();
                connection.reconnect();
            }
            watch();
        });
    }
};

SystemAudioSource::SystemAudioSource(std::function<void()> started, bool awaitServer)
    : started_(std::move(started))
    , awaitServer_(awaitServer) {}

SystemAudioSource::~SystemAudioSource() {
    stop();
}

void SystemAudioSource::start(BufferCallback onBuffer, InterruptionCallback onInterruption) {
    stop();
    if (started_) {
        started_();
    }
    capture_ = std::make_unique<Capture>(std::move(onBuffer), std::move(onInterruption));
    if (const int code = capture_->connection.start(3.0); code != 0) {
        if (awaitServer_) {
            // At login the sound server often comes up after the apps: the connection keeps
            // trying, and its first answer starts the capture as after a lost connection.
            const auto guard = capture_->connection.lock();
            capture_->started = true;
            capture_->interrupt(AudioSourceError::withServerError(
                "The sound server is not there yet; waiting for it", code));
            capture_->watch();
            return;
        }
        stop();
        throw AudioSourceError::withServerError(
            "Couldn’t connect to the sound server for system audio", code);
    }
    using Stage = Capture::Stage;
    Stage stage = Stage::connecting;
    int code = 0;
    {
        const auto guard = capture_->connection.lock();
        capture_->retarget();
        capture_->connection.wait(
            [this] { return capture_->stage == Stage::running || capture_->failed; }, 5.0);
        stage = capture_->stage;
        code = capture_->error;
        if (stage == Stage::running) {
            capture_->started = true;
            capture_->watch();
        }
    }
    if (stage == Stage::running) {
        return;
    }
    stop();
    switch (stage) {
    case Stage::connecting:
    case Stage::readingFormat:
        throw AudioSourceError::withServerError("Couldn’t read the system audio format", code);
    case Stage::unsupported:
        throw AudioSourceError("Unsupported system audio format");
    case Stage::creating:
        throw AudioSourceError::withServerError("Couldn’t create the capture device", code);
    case Stage::attaching:
        throw AudioSourceError::withServerError("Couldn’t attach to the capture device", code);
    default:
        throw AudioSourceError::withServerError("Couldn’t start system audio capture",
                                                code != 0 ? code : PA_ERR_TIMEOUT);
    }
}

void SystemAudioSource::stop() {
    capture_.reset();
}

std::optional<std::string> SystemAudioSource::recordedSource() {
    if (!capture_) {
        return std::nullopt;
    }
    const auto guard = capture_->connection.lock();
    if (capture_->monitor.empty()) {
        return std::nullopt;
    }
    return capture_->monitor;
}

} // namespace ambrel
