#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace ambrel {

// A RIFF WAVE file read a piece at a time, from start to end without seeking, so that a pipe
// serves as well as a file: integer PCM of 8, 16, 24 or 32 bits or float of 32 or 64 bits (also
// as WAVE_FORMAT_EXTENSIBLE), 1 to 32 channels at 8 to 384 kHz, as float samples in -1...1.
class WavFile {
public:
    struct Error : std::runtime_error {
        using std::runtime_error::runtime_error;
    };

    static constexpr int maximumChannels = 32;
    static constexpr std::uint32_t minimumRate = 8000;
    static constexpr std::uint32_t maximumRate = 384000;

    // Throws Error naming the file when it cannot be opened or is no WAVE file we can read. Only
    // files and pipes are opened, and neither is waited for: a pipe that nobody writes to fails
    // at once.
    explicit WavFile(const std::filesystem::path& path);
    ~WavFile();
    WavFile(const WavFile&) = delete;
    WavFile& operator=(const WavFile&) = delete;

    double sampleRate() const { return sampleRate_; }
    int channels() const { return channels_; }
    // The frames of the file. A stream that does not announce its length (its data size left at
    // 0 or 0xFFFFFFFF), or ends before what it announced, counts the frames read so far.
    std::uint64_t frames() const { return frames_; }
    double seconds() const { return static_cast<double>(frames_) / sampleRate_; }

    // Up to `frames` more frames, interleaved; empty at the end. Throws Error when reading fails.
    std::vector<float> read(std::size_t frames);
    // The rest of the file.
    std::vector<float> readAll();

private:
    void open(const std::filesystem::path& path);
    void readHeader();
    // Reads up to `size` bytes, fewer only at the end of the input.
    std::size_t take(unsigned char* bytes, std::size_t size);
    // Passes over `size` bytes; false when the input ends first.
    bool skip(std::uint64_t size);
    void convert(const unsigned char* bytes, std::size_t samples, std::vector<float>& out) const;
    [[noreturn]] void fail(const std::string& why) const;

    std::string name_;
    int fd_ = -1;
    bool isRegular_ = false;
    std::uint64_t fileSize_ = 0;        // of a regular file
    std::uint64_t position_ = 0;        // bytes taken so far
    std::vector<unsigned char> peeked_; // read from a pipe to see whether anybody writes to it

    double sampleRate_ = 0;
    int channels_ = 0;
    int bits_ = 0;
    bool isFloat_ = false;
    std::size_t frameSize_ = 0;
    std::uint64_t frames_ = 0;
    std::uint64_t framesRead_ = 0;
    bool lengthKnown_ = false;
    bool ended_ = false;
    // Raw bytes pass through this one buffer of a fixed size, whatever the channel count.
    std::vector<unsigned char> buffer_;
};

} // namespace ambrel
