#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <vector>

namespace ambrel {

// A RIFF WAVE file read a piece at a time: integer PCM of 8 to 32 bits or float of 32 or 64
// bits, any rate and channel count, as float samples in -1...1.
class WavFile {
public:
    struct Error : std::runtime_error {
        using std::runtime_error::runtime_error;
    };

    // Throws Error naming the file when it cannot be opened or is no WAVE file we can read.
    explicit WavFile(const std::filesystem::path& path);

    double sampleRate() const { return sampleRate_; }
    int channels() const { return channels_; }
    std::uint64_t frames() const { return frames_; }
    double seconds() const { return static_cast<double>(frames_) / sampleRate_; }

    // Up to `frames` more frames, interleaved; empty at the end.
    std::vector<float> read(std::size_t frames);
    // The rest of the file.
    std::vector<float> readAll();

private:
    std::ifstream stream_;
    double sampleRate_ = 0;
    int channels_ = 0;
    int bits_ = 0;
    bool isFloat_ = false;
    std::uint64_t frames_ = 0;
    std::uint64_t framesLeft_ = 0;
};

} // namespace ambrel
