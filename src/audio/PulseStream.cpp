#include "PulseStream.h"

#include <cstdint>

namespace ambrel::PulseStream {

namespace {
// Short fragments keep the delay between speech and its recognition small.
constexpr double fragmentSeconds = 0.02;
} // namespace

pa_stream* newRecording(pa_context* context, const char* name, const pa_sample_spec& spec,
                        const pa_channel_map* map) {
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, name);
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "org.ambrel.Ambrel");
    pa_stream* stream = pa_stream_new_with_proplist(context, name, &spec, map, properties);
    pa_proplist_free(properties);
    return stream;
}

pa_buffer_attr lowLatency(const pa_sample_spec& spec) {
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(
        pa_usec_to_bytes(static_cast<pa_usec_t>(fragmentSeconds * PA_USEC_PER_SEC), &spec));
    return attributes;
}

void readAvailable(
    pa_stream* stream,
    const std::function<void(const float*, std::size_t, const pa_sample_spec&)>& consume) {
    const pa_sample_spec* spec = pa_stream_get_sample_spec(stream);
    while (pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) {
            return;
        }
        if (data != nullptr && spec != nullptr && spec->channels > 0) {
            try {
                consume(static_cast<const float*>(data), bytes / sizeof(float), *spec);
            } catch (...) {
                // The consumer's failures must not unwind through the server's callback.
            }
        }
        pa_stream_drop(stream);
    }
}

void release(pa_stream*& stream) {
    if (stream == nullptr) {
        return;
    }
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_moved_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    stream = nullptr;
}

} // namespace ambrel::PulseStream
