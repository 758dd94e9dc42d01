#include "MonoMix.h"

#include "AudioSourceError.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ambrel::MonoMix {

namespace {
constexpr float silencePeak = 0.001f;
}

CapturePlan plan(std::span<const StreamFormat> formats, std::span<const int> preferredStereo) {
    const AudioSourceError unsupported("Unsupported microphone format");
    if (formats.empty() || !(formats.front().sampleRate > 0)) {
        throw unsupported;
    }
    const double rate = formats.front().sampleRate;
    int total = 0;
    for (const auto& format : formats) {
        if (!format.isFloat32 || format.sampleRate != rate || format.channels < 0) {
            throw unsupported;
        }
        total += format.channels;
    }
    CapturePlan result{rate, std::nullopt};
    if (total < 3) {
        return result;
    }
    std::vector<int> channels;
    for (const int number : preferredStereo) {
        if (number - 1 >= 0 && number - 1 < total) {
            channels.push_back(number - 1);
        }
    }
    result.channels = channels.empty() ? std::vector<int>{0, 1} : channels;
    return result;
}

std::optional<AudioBuffer> mix(std::span<const InputBuffer> buffers, const CapturePlan& plan) {
    std::size_t frames = std::numeric_limits<std::size_t>::max();
    bool any = false;
    for (const auto& buffer : buffers) {
        if (buffer.data != nullptr && buffer.channels > 0) {
            frames = std::min(frames, buffer.byteSize / (static_cast<std::size_t>(buffer.channels) *
                                                         sizeof(float)));
            any = true;
        }
    }
    if (!any || frames == 0) {
        return std::nullopt;
    }
    AudioBuffer output{plan.sampleRate, 1, std::vector<float>(frames, 0.0f)};
    if (buffers.size() == 1 && buffers.front().channels == 1 && buffers.front().data != nullptr) {
        std::copy_n(buffers.front().data, frames, output.samples.begin());
        return output;
    }
    int counted = 0;
    int base = 0;
    for (const auto& buffer : buffers) {
        const int n = buffer.channels;
        if (buffer.data == nullptr) {
            base += n;
            continue;
        }
        for (int c = 0; c < n; ++c) {
            const int global = base + c;
            if (plan.channels && std::find(plan.channels->begin(), plan.channels->end(), global) ==
                                     plan.channels->end()) {
                continue;
            }
            float peak = 0;
            for (std::size_t f = 0; f < frames; ++f) {
                peak = std::max(peak, std::fabs(buffer.data[f * static_cast<std::size_t>(n) + c]));
            }
            if (!(peak > silencePeak)) {
                continue;
            }
            ++counted;
            for (std::size_t f = 0; f < frames; ++f) {
                output.samples[f] += buffer.data[f * static_cast<std::size_t>(n) + c];
            }
        }
        base += n;
    }
    if (counted >= 2) {
        const float scale = 1.0f / static_cast<float>(counted);
        for (auto& sample : output.samples) {
            sample *= scale;
        }
    }
    return output;
}

} // namespace ambrel::MonoMix
