#pragma once

#include <pulse/pulseaudio.h>

#include <cstddef>
#include <functional>

// The recording-stream chores shared by the sources: creating one with our properties, reading
// what is available, and letting go of it. Call with the loop's lock held.
namespace ambrel::PulseStream {

// A float stream named `name` (shown in the sound settings), asking for small fragments.
pa_stream* newRecording(pa_context* context, const char* name, const pa_sample_spec& spec,
                        const pa_channel_map* map);
pa_buffer_attr lowLatency(const pa_sample_spec& spec);

// Hands every complete fragment to `consume` (holes in the data are skipped).
void readAvailable(pa_stream* stream,
                   const std::function<void(const float* samples, std::size_t count,
                                            const pa_sample_spec& spec)>& consume);

// Detaches the callbacks, disconnects and releases; leaves nullptr behind.
void release(pa_stream*& stream);

} // namespace ambrel::PulseStream
