#pragma once

#include <filesystem>
#include <optional>
#include <vector>

namespace ambrel::testing {

// A RIFF WAVE file of 16-bit or 32-bit float PCM, read as float samples.
struct WavFile {
    double sampleRate = 0;
    int channels = 0;
    std::vector<float> samples; // interleaved

    static std::optional<WavFile> read(const std::filesystem::path& path);
    // The channels averaged.
    std::vector<float> mono() const;
    double seconds() const;
};

} // namespace ambrel::testing
