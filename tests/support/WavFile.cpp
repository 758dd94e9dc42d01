#include "WavFile.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace ambrel::testing {

namespace {

template <typename T>
T readLittle(const std::string& bytes, std::size_t at) {
    T value{};
    std::memcpy(&value, bytes.data() + at, sizeof(T));
    return value;
}

} // namespace

std::optional<WavFile> WavFile::read(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(stream),
                            std::istreambuf_iterator<char>()};
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
        return std::nullopt;
    }
    WavFile wav;
    int format = 0;
    int bits = 0;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        std::size_t size = readLittle<std::uint32_t>(bytes, at + 4);
        const std::size_t body = at + 8;
        size = std::min(size, bytes.size() - body); // streamed files may leave the size open
        if (id == "fmt " && size >= 16) {
            format = readLittle<std::uint16_t>(bytes, body);
            wav.channels = readLittle<std::uint16_t>(bytes, body + 2);
            wav.sampleRate = readLittle<std::uint32_t>(bytes, body + 4);
            bits = readLittle<std::uint16_t>(bytes, body + 14);
        } else if (id == "data") {
            if (format == 1 && bits == 16) {
                for (std::size_t i = 0; i + 2 <= size; i += 2) {
                    wav.samples.push_back(readLittle<std::int16_t>(bytes, body + i) / 32768.0f);
                }
            } else if (format == 3 && bits == 32) {
                for (std::size_t i = 0; i + 4 <= size; i += 4) {
                    wav.samples.push_back(readLittle<float>(bytes, body + i));
                }
            } else {
                return std::nullopt;
            }
        }
        at = body + size + (size % 2);
    }
    if (wav.channels <= 0 || wav.sampleRate <= 0) {
        return std::nullopt;
    }
    return wav;
}

std::vector<float> WavFile::mono() const {
    std::vector<float> result(samples.size() / static_cast<std::size_t>(channels));
    for (std::size_t f = 0; f < result.size(); ++f) {
        float sum = 0;
        for (int c = 0; c < channels; ++c) {
            sum += samples[f * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)];
        }
        result[f] = sum / static_cast<float>(channels);
    }
    return result;
}

double WavFile::seconds() const {
    return static_cast<double>(samples.size()) / channels / sampleRate;
}

} // namespace ambrel::testing
