#include "PulseSnapshotReader.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <string_view>

namespace ambrel {

namespace {

using PortType = AudioSnapshot::PortType;

std::string property(const pa_proplist* properties, const char* key) {
    const char* value = properties != nullptr ? pa_proplist_gets(properties, key) : nullptr;
    return value != nullptr ? value : "";
}

std::optional<std::int64_t> processID(const pa_proplist* properties) {
    const std::string text = property(properties, PA_PROP_APPLICATION_PROCESS_ID);
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    return end != nullptr && *end == '\0' ? std::optional<std::int64_t>(value) : std::nullopt;
}

// The port's type, or a guess from its name when the server does not say.
PortType portType(std::uint32_t type, std::string_view name) {
    switch (type) {
    case PA_DEVICE_PORT_TYPE_SPEAKER:
        return PortType::speaker;
    case PA_DEVICE_PORT_TYPE_HEADPHONES:
        return PortType::headphones;
    case PA_DEVICE_PORT_TYPE_HEADSET:
        return PortType::headset;
    case PA_DEVICE_PORT_TYPE_HANDSET:
    case PA_DEVICE_PORT_TYPE_EARPIECE:
        return PortType::handset;
    case PA_DEVICE_PORT_TYPE_LINE:
        return PortType::line;
    case PA_DEVICE_PORT_TYPE_HDMI:
        return PortType::hdmi;
    case PA_DEVICE_PORT_TYPE_SPDIF:
        return PortType::spdif;
    case PA_DEVICE_PORT_TYPE_UNKNOWN:
        break;
    default:
        return PortType::other;
    }
    const std::array<std::pair<std::string_view, PortType>, 7> hints{
        {{"headphone", PortType::headphones},
         {"headset", PortType::headset},
         {"speaker", PortType::speaker},
         {"hdmi", PortType::hdmi},
         {"iec958", PortType::spdif},
         {"spdif", PortType::spdif},
         {"line", PortType::line}}};
    for (const auto& [hint, guess] : hints) {
        if (name.find(hint) != std::string_view::npos) {
            return guess;
        }
    }
    return PortType::unknown;
}

template <typename Info>
AudioSnapshot::Device device(const Info* info) {
    AudioSnapshot::Device device;
    device.index = info->index;
    device.name = info->name != nullptr ? info->name : "";
    device.description = info->description != nullptr ? info->description : "";
    if (info->card != PA_INVALID_INDEX) {
        device.card = info->card;
    }
    device.formFactor = property(info->proplist, PA_PROP_DEVICE_FORM_FACTOR);
    device.bus = property(info->proplist, PA_PROP_DEVICE_BUS);
    if (info->active_port != nullptr) {
        const std::string_view name =
            info->active_port->name != nullptr ? info->active_port->name : "";
        device.activePortName = std::string(name);
        device.activePort = portType(info->active_port->type, name);
    }
    device.sampleRate = info->sample_spec.rate;
    device.channels = info->sample_spec.channels;
    char map[PA_CHANNEL_MAP_SNPRINT_MAX];
    device.channelMap = pa_channel_map_snprint(map, sizeof map, &info->channel_map);
    return device;
}

template <typename Info>
AudioSnapshot::Stream stream(const Info* info, std::uint32_t device) {
    return AudioSnapshot::Stream{info->index, device, processID(info->proplist), info->client,
                                 info->corked != 0};
}

// The answers of one read, filled by the server's callbacks on the loop thread.
struct Reading {
    PulseConnection* connection = nullptr;
    AudioSnapshot snapshot;
    int pending = 0;
    bool failed = false;

    void finished(int eol) {
        if (eol < 0) {
            failed = true;
        }
        --pending;
        connection->signal();
    }
};

void serverInfo(pa_context*, const pa_server_info* info, void* userdata) {
    auto* reading = static_cast<Reading*>(userdata);
    if (info != nullptr) {
        reading->snapshot.defaultSinkName = info->default_sink_name ? info->default_sink_name : "";
        reading->snapshot.defaultSourceName =
            info->default_source_name ? info->default_source_name : "";
    }
    reading->finished(info != nullptr ? 1 : -1);
}

void cardInfo(pa_context*, const pa_card_info* info, int eol, void* userdata) {
    auto* reading = static_cast<Reading*>(userdata);
    if (eol != 0) {
        reading->finished(eol);
        return;
    }
    reading->snapshot.cards.push_back({info->index, info->name ? info->name : "",
                                       property(info->proplist, PA_PROP_DEVICE_FORM_FACTOR),
                                       property(info->proplist, PA_PROP_DEVICE_BUS)});
}

void sinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* reading = static_cast<Reading*>(userdata);
    if (eol != 0) {
        reading->finished(eol);
        return;
    }
    auto sink = device(info);
    sink.monitorSourceName = info->monitor_source_name ? info->monitor_source_name : "";
    reading->snapshot.sinks.push_back(std::move(sink));
}

void sourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* reading = static_cast<Reading*>(userdata);
    if (eol != 0) {
        reading->finished(eol);
        return;
    }
    auto source = device(info);
    source.isMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
    reading->snapshot.sources.push_back(std::move(source));
}

void sinkInputInfo(pa_context*, const pa_sink_input_info* info, int eol, void* userdata) {
    auto* reading = static_cast<Reading*>(userdata);
    if (eol != 0) {
        reading->finished(eol);
        return;
    }
    reading->snapshot.sinkInputs.push_back(stream(info, info->sink));
}

void sourceOutputInfo(pa_context*, const pa_source_output_info* info, int eol, void* userdata) {
    auto* reading = static_cast<Reading*>(userdata);
    if (eol != 0) {
        reading->finished(eol);
        return;
    }
    reading->snapshot.sourceOutputs.push_back(stream(info, info->source));
}

} // namespace

PulseSnapshotReader& PulseSnapshotReader::shared() {
    // Never destroyed: the thread that keeps the app's facts current may still be reading
    // while the process ends, and must not find the connection torn down under it.
    static auto* reader = new PulseSnapshotReader;
    return *reader;
}

std::optional<AudioSnapshot> PulseSnapshotReader::read(double timeoutSeconds) {
    const std::lock_guard serial(mutex_);
    // One budget for connecting and asking.
    const auto started = std::chrono::steady_clock::now();
    auto remaining = [&] {
        return timeoutSeconds -
               std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    if (!connection_) {
        connection_ = std::make_unique<PulseConnection>("audio-query", PA_SUBSCRIPTION_MASK_NULL,
                                                        PulseConnection::Handlers{});
        if (connection_->start(timeoutSeconds) != 0) {
            return std::nullopt; // it keeps trying in the background
        }
    }
    const auto guard = connection_->lock();
    if (!connection_->isReady()) {
        return std::nullopt;
    }
    pa_context* context = connection_->context();
    Reading reading;
    reading.connection = connection_.get();
    std::vector<pa_operation*> operations{
        pa_context_get_server_info(context, serverInfo, &reading),
        pa_context_get_card_info_list(context, cardInfo, &reading),
        pa_context_get_sink_info_list(context, sinkInfo, &reading),
        pa_context_get_source_info_list(context, sourceInfo, &reading),
        pa_context_get_sink_input_info_list(context, sinkInputInfo, &reading),
        pa_context_get_source_output_info_list(context, sourceOutputInfo, &reading),
    };
    for (auto* operation : operations) {
        if (operation == nullptr) {
            reading.failed = true;
        } else {
            ++reading.pending;
        }
    }
    const bool answered =
        connection_->wait([&] { return reading.pending == 0; }, std::max(remaining(), 0.0));
    for (auto* operation : operations) {
        if (operation != nullptr) {
            // Unanswered requests must not call back into `reading` later.
            if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
                pa_operation_cancel(operation);
            }
            pa_operation_unref(operation);
        }
    }
    if (!answered || reading.failed) {
        return std::nullopt;
    }
    return std::move(reading.snapshot);
}

} // namespace ambrel
