#include "BufferConverter.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>

namespace ambrel {

struct BufferConverter::Resampler {
    soxr_t handle = nullptr;
    ~Resampler() {
        if (handle != nullptr) {
            soxr_delete(handle);
        }
    }
};

BufferConverter::BufferConverter(StreamFormat target) : target_(target) {}
BufferConverter::~BufferConverter() = default;
BufferConverter::BufferConverter(BufferConverter&&) noexcept = default;
BufferConverter& BufferConverter::operator=(BufferConverter&&) noexcept = default;

std::optional<AudioBuffer> BufferConverter::convert(const AudioBuffer& buffer) {
    const std::size_t frames = buffer.frameCount();
    if (frames == 0 || buffer.sampleRate <= 0) {
        return std::nullopt;
    }
    // Mono, within range: some servers deliver samples beyond 1.0.
    std::vector<float> mono(frames);
    const auto channels = static_cast<std::size_t>(buffer.channels);
    for (std::size_t f = 0; f < frames; ++f) {
        float sum = 0;
        for (std::size_t c = 0; c < channels; ++c) {
            sum += buffer.samples[f * channels + c];
        }
        mono[f] = std::clamp(sum / static_cast<float>(channels), -1.0f, 1.0f);
    }
    if (buffer.sampleRate == target_.sampleRate) {
        return AudioBuffer{target_.sampleRate, 1, std::move(mono)};
    }
    if (!resampler_ || inputRate_ != buffer.sampleRate) {
        resampler_ = std::make_unique<Resampler>();
        inputRate_ = buffer.sampleRate;
        soxr_error_t error = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_MQ, 0);
        resampler_->handle =
            soxr_create(buffer.sampleRate, target_.sampleRate, 1, &error, &io, &quality, nullptr);
        if (error != nullptr || resampler_->handle == nullptr) {
            resampler_.reset();
            return std::nullopt;
        }
    }
    const auto capacity =
        static_cast<std::size_t>(std::ceil(target_.sampleRate / buffer.sampleRate * frames)) + 64;
    std::vector<float> output(capacity);
    std::size_t consumed = 0;
    std::size_t produced = 0;
    if (soxr_process(resampler_->handle, mono.data(), frames, &consumed, output.data(), capacity,
                     &produced) != nullptr ||
        produced == 0) {
        return std::nullopt;
    }
    output.resize(produced);
    return AudioBuffer{target_.sampleRate, 1, std::move(output)};
}

} // namespace ambrel
