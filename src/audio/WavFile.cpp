#include "WavFile.h"

#include <fmt/format.h>

#include <cstring>

namespace ambrel {

namespace {

std::uint32_t little32(const unsigned char* bytes) {
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

std::uint16_t little16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

} // namespace

WavFile::WavFile(const std::filesystem::path& path) : stream_(path, std::ios::binary) {
    auto fail = [&](const std::string& why) {
        return Error(fmt::format("“{}” {}", path.string(), why));
    };
    if (!stream_) {
        throw fail("cannot be opened");
    }
    unsigned char header[12];
    if (!stream_.read(reinterpret_cast<char*>(header), 12) || std::memcmp(header, "RIFF", 4) != 0 ||
        std::memcmp(header + 8, "WAVE", 4) != 0) {
        throw fail("is not a WAVE file");
    }
    int format = 0;
    bool haveFormat = false;
    while (true) {
        unsigned char chunk[8];
        if (!stream_.read(reinterpret_cast<char*>(chunk), 8)) {
            throw fail("has no audio data");
        }
        const std::uint32_t size = little32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            std::vector<unsigned char> body(size);
            if (size < 16 || !stream_.read(reinterpret_cast<char*>(body.data()), size)) {
                throw fail("has a broken format description");
            }
            format = little16(body.data());
            channels_ = little16(body.data() + 2);
            sampleRate_ = little32(body.data() + 4);
            bits_ = little16(body.data() + 14);
            if (format == 0xFFFE && size >= 26) {
                format = little16(body.data() + 24); // the sub-format of WAVE_FORMAT_EXTENSIBLE
            }
            haveFormat = true;
            if (size % 2 != 0) {
                stream_.ignore(1);
            }
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) {
                throw fail("has audio data before its format");
            }
            isFloat_ = format == 3;
            const bool supported =
                (format == 1 && (bits_ == 8 || bits_ == 16 || bits_ == 24 || bits_ == 32)) ||
                (format == 3 && (bits_ == 32 || bits_ == 64));
            if (!supported || channels_ <= 0 || !(sampleRate_ > 0)) {
                throw fail(fmt::format(
                    "has an audio format Ambrel cannot read (format {}, {} bits, {} channels)",
                    format, bits_, channels_));
            }
            const std::uint64_t frameSize = static_cast<std::uint64_t>(channels_) * (bits_ / 8);
            // Streamed recordings may leave the size at 0 or at its maximum: read to the end.
            std::uint64_t dataSize = size;
            if (size == 0 || size == 0xFFFFFFFFu) {
                const auto here = stream_.tellg();
                stream_.seekg(0, std::ios::end);
                dataSize = static_cast<std::uint64_t>(stream_.tellg() - here);
                stream_.seekg(here);
            }
            frames_ = framesLeft_ = dataSize / frameSize;
            return;
        } else {
            stream_.ignore(size + (size % 2));
        }
    }
}

std::vector<float> WavFile::read(std::size_t frames) {
    const std::size_t count =
        static_cast<std::size_t>(std::min<std::uint64_t>(frames, framesLeft_));
    const std::size_t bytesPerSample = static_cast<std::size_t>(bits_ / 8);
    const std::size_t samples = count * static_cast<std::size_t>(channels_);
    std::vector<unsigned char> raw(samples * bytesPerSample);
    stream_.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size()));
    const std::size_t got = static_cast<std::size_t>(stream_.gcount()) / bytesPerSample;
    framesLeft_ = got < samples ? 0 : framesLeft_ - count;
    std::vector<float> out(got - got % static_cast<std::size_t>(channels_));
    for (std::size_t i = 0; i < out.size(); ++i) {
        const unsigned char* p = raw.data() + i * bytesPerSample;
        if (isFloat_) {
            if (bits_ == 32) {
                float value;
                std::memcpy(&value, p, 4);
                out[i] = value;
            } else {
                double value;
                std::memcpy(&value, p, 8);
                out[i] = static_cast<float>(value);
            }
            continue;
        }
        switch (bits_) {
        case 8:
            out[i] = (static_cast<int>(p[0]) - 128) / 128.0f;
            break;
        case 16:
            out[i] = static_cast<std::int16_t>(little16(p)) / 32768.0f;
            break;
        case 24: {
            std::int32_t value = p[0] | (p[1] << 8) | (p[2] << 16);
            if (value & 0x800000) {
                value -= 0x1000000;
            }
            out[i] = static_cast<float>(value) / 8388608.0f;
            break;
        }
        default:
            out[i] = static_cast<float>(static_cast<std::int32_t>(little32(p)) / 2147483648.0);
            break;
        }
    }
    return out;
}

std::vector<float> WavFile::readAll() {
    return read(static_cast<std::size_t>(framesLeft_));
}

} // namespace ambrel
