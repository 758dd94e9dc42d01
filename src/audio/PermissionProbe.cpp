#include "PermissionProbe.h"

#include "PulseStream.h"
#include "core/Clocks.h"

#include <pulse/pulseaudio.h>

#include <chrono>
#include <string>

namespace ambrel::PermissionProbe {

namespace {

// One trial recording stream; its outcome is the word.
struct Trial {
    pa_stream* stream = nullptr;
    bool done = false;
    bool accepted = false;
    int error = 0;
};

struct Probe {
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = nullptr;
    std::string monitor;
    std::string defaultSource;
    bool serverKnown = false;
    bool serverFailed = false;
    Trial systemAudio;
    Trial microphone;

    ~Probe() {
        for (auto* trial : {&systemAudio, &microphone}) {
            PulseStream::release(trial->stream);
        }
        if (context != nullptr) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        pa_mainloop_free(loop);
    }

    // Runs the loop until `done` holds or the deadline passes.
    bool runUntil(const auto& done, double deadline) {
        while (!done()) {
            const double remaining = deadline - core::Clocks::monotonic();
            if (remaining <= 0) {
                return false;
            }
            if (pa_mainloop_prepare(loop, static_cast<int>(remaining * 1e6)) < 0 ||
                pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0) {
                return false;
            }
        }
        return true;
    }

    void tryRecording(Trial& trial, const std::string& source) {
        const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, 48000, 1};
        trial.stream = pa_stream_new(context, "Ambrel Permission Probe", &spec, nullptr);
        if (trial.stream == nullptr) {
            trial.done = true;
            trial.error = pa_context_errno(context);
            return;
        }
        pa_stream_set_state_callback(trial.stream, &Probe::streamState, &trial);
        if (pa_stream_connect_record(trial.stream, source.c_str(), nullptr, PA_STREAM_DONT_MOVE) <
            0) {
            trial.done = true;
            trial.error = pa_context_errno(context);
        }
    }

    static void streamState(pa_stream* stream, void* userdata) {
        auto* trial = static_cast<Trial*>(userdata);
        switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY:
            trial->done = true;
            trial->accepted = true;
            break;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED:
            trial->done = true;
            trial->error = pa_context_errno(pa_stream_get_context(stream));
            break;
        default:
            break;
        }
    }

    static void serverInfo(pa_context* context, const pa_server_info* info, void* userdata) {
        auto* self = static_cast<Probe*>(userdata);
        if (info == nullptr) {
            self->serverFailed = true;
            return;
        }
        self->defaultSource = info->default_source_name ? info->default_source_name : "";
        if (info->default_sink_name == nullptr) {
            self->serverKnown = true;
            return;
        }
        pa_operation* operation = pa_context_get_sink_info_by_name(context, info->default_sink_name,
                                                                   &Probe::sinkInfo, self);
        if (operation == nullptr) {
            self->serverKnown = true;
        } else {
            pa_operation_unref(operation);
        }
    }

    static void sinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
        auto* self = static_cast<Probe*>(userdata);
        if (info != nullptr && info->monitor_source_name != nullptr) {
            self->monitor = info->monitor_source_name;
        }
        if (eol != 0) {
            self->serverKnown = true;
        }
    }
};

std::string word(const Trial& trial, const char* otherwise) {
    if (trial.accepted) {
        return "allowed";
    }
    if (trial.done && trial.error == PA_ERR_ACCESS) {
        return "denied";
    }
    return otherwise;
}

} // namespace

Answer probe(double timeoutSeconds) {
    const double deadline = core::Clocks::monotonic() + timeoutSeconds;
    Probe probe;
    Answer answer;
    if (probe.loop == nullptr) {
        return answer;
    }
    probe.context = pa_context_new(pa_mainloop_get_api(probe.loop), "Ambrel Permission Probe");
    if (probe.context == nullptr ||
        pa_context_connect(probe.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        return answer;
    }
    const bool connected = probe.runUntil(
        [&] {
            const auto state = pa_context_get_state(probe.context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        deadline);
    if (!connected || pa_context_get_state(probe.context) != PA_CONTEXT_READY) {
        // Refused for access by a sandbox that hides the server: that is a "no".
        if (pa_context_errno(probe.context) == PA_ERR_ACCESS) {
            return Answer{"denied", "denied"};
        }
        return answer;
    }
    if (pa_operation* operation =
            pa_context_get_server_info(probe.context, &Probe::serverInfo, &probe)) {
        pa_operation_unref(operation);
    }
    probe.runUntil([&] { return probe.serverKnown || probe.serverFailed; }, deadline);
    if (!probe.monitor.empty()) {
        probe.tryRecording(probe.systemAudio, probe.monitor);
    }
    if (!probe.defaultSource.empty()) {
        probe.tryRecording(probe.microphone, probe.defaultSource);
    }
    probe.runUntil(
        [&] {
            return (probe.monitor.empty() || probe.systemAudio.done) &&
                   (probe.defaultSource.empty() || probe.microphone.done);
        },
        deadline);
    answer.systemAudio = word(probe.systemAudio, "unknown");
    answer.microphone = word(probe.microphone, "notAsked");
    return answer;
}

std::string line(const Answer& answer) {
    return "systemAudio=" + answer.systemAudio + " microphone=" + answer.microphone;
}

} // namespace ambrel::PermissionProbe
