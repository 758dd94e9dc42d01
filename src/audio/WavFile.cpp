#include "WavFile.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ambrel {

namespace {

constexpr std::size_t bufferSize = 65536;
// The format chunk's fields that matter end here (WAVE_FORMAT_EXTENSIBLE's sub-format GUID).
constexpr std::size_t formatBytesRead = 40;

constexpr int formatPcm = 1;
constexpr int formatFloat = 3;
constexpr int formatExtensible = 0xFFFE;
// The sub-format GUID of WAVE_FORMAT_EXTENSIBLE past its first two bytes, which hold the format.
constexpr unsigned char extensibleGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                  0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint32_t little32(const unsigned char* bytes) {
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

std::uint16_t little16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

bool readable(mode_t mode) {
    return S_ISREG(mode) || S_ISFIFO(mode);
}

} // namespace

WavFile::WavFile(const std::filesystem::path& path) : name_(path.string()), buffer_(bufferSize) {
    open(path);
    try {
        readHeader();
    } catch (...) {
        ::close(fd_);
        throw;
    }
}

WavFile::~WavFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void WavFile::fail(const std::string& why) const {
    throw Error(fmt::format("“{}” {}", name_, why));
}

void WavFile::open(const std::filesystem::path& path) {
    // Look before opening: opening a device can have effects of its own.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        fail(fmt::format("cannot be opened ({})", std::strerror(errno)));
    }
    if (!readable(info.st_mode)) {
        fail("is neither a file nor a pipe");
    }
    // A pipe opened for reading would wait for a writer; without blocking it opens at once.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
        fail(fmt::format("cannot be opened ({})", std::strerror(errno)));
    }
    const auto refuse = [this](const std::string& why) {
        ::close(fd_);
        fd_ = -1;
        fail(why);
    };
    if (::fstat(fd_, &info) != 0 || !readable(info.st_mode)) {
        refuse("is neither a file nor a pipe");
    }
    isRegular_ = S_ISREG(info.st_mode);
    fileSize_ = isRegular_ ? static_cast<std::uint64_t>(info.st_size) : 0;
    if (!isRegular_) {
        // Nobody writing gives the end at once; a writer that has not written yet gives EAGAIN.
        peeked_.resize(12);
        ssize_t count = -1;
        do {
            count = ::read(fd_, peeked_.data(), peeked_.size());
        } while (count < 0 && errno == EINTR);
        if (count == 0) {
            refuse("is a pipe with nothing written to it");
        }
        if (count < 0 && errno != EAGAIN) {
            refuse(fmt::format("cannot be read ({})", std::strerror(errno)));
        }
        peeked_.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    }
    // From here on, wait for a slow writer like any reader of a pipe.
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        refuse(fmt::format("cannot be read ({})", std::strerror(errno)));
    }
}

std::size_t WavFile::take(unsigned char* bytes, std::size_t size) {
    std::size_t filled = std::min(size, peeked_.size());
    std::copy_n(peeked_.begin(), filled, bytes);
    peeked_.erase(peeked_.begin(), peeked_.begin() + static_cast<std::ptrdiff_t>(filled));
    while (filled < size) {
        const ssize_t count = ::read(fd_, bytes + filled, size - filled);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(fmt::format("cannot be read ({})", std::strerror(errno)));
        }
        if (count == 0) {
            break;
        }
        filled += static_cast<std::size_t>(count);
    }
    position_ += filled;
    return filled;
}

bool WavFile::skip(std::uint64_t size) {
    while (size > 0) {
        const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer_.size()));
        if (take(buffer_.data(), step) < step) {
            return false;
        }
        size -= step;
    }
    return true;
}

void WavFile::readHeader() {
    unsigned char header[12];
    if (take(header, 12) < 12 || std::memcmp(header, "RIFF", 4) != 0 ||
        std::memcmp(header + 8, "WAVE", 4) != 0) {
        fail("is not a WAVE file");
    }
    int format = 0;
    int blockAlign = 0;
    std::uint32_t rate = 0;
    bool haveFormat = false;
    while (true) {
        unsigned char chunk[8];
        if (take(chunk, 8) < 8) {
            fail("has no audio data");
        }
        const std::uint32_t size = little32(chunk + 4);
        const bool isData = std::memcmp(chunk, "data", 4) == 0;
        // Sizes are checked against what the file holds before anything is read by them.
        if (!isData && isRegular_ && size > fileSize_ - std::min(fileSize_, position_)) {
            fail("is damaged: a part of it claims more bytes than the file holds");
        }
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            unsigned char body[formatBytesRead] = {};
            const std::size_t wanted = std::min<std::size_t>(size, formatBytesRead);
            if (size < 16 || take(body, wanted) < wanted || !skip(size - wanted + size % 2)) {
                fail("has a broken format description");
            }
            format = little16(body);
            channels_ = little16(body + 2);
            rate = little32(body + 4);
            blockAlign = little16(body + 12);
            bits_ = little16(body + 14);
            if (format == formatExtensible) {
                if (size < formatBytesRead || little16(body + 16) < 22 ||
                    std::memcmp(body + 26, extensibleGuidTail, sizeof extensibleGuidTail) != 0) {
                    fail("has a broken format description");
                }
                format = little16(body + 24);
            }
            haveFormat = true;
        } else if (isData) {
            if (!haveFormat) {
                fail("has audio data before its format");
            }
            const bool supported = (format == formatPcm &&
                                    (bits_ == 8 || bits_ == 16 || bits_ == 24 || bits_ == 32)) ||
                                   (format == formatFloat && (bits_ == 32 || bits_ == 64));
            if (!supported) {
                fail(fmt::format(
                    "has an audio format Ambrel cannot read (format {}, {} bits, {} channels)",
                    format, bits_, channels_));
            }
            if (channels_ < 1 || channels_ > maximumChannels) {
                fail(fmt::format("has {} channels; Ambrel reads 1 to {}", channels_,
                                 maximumChannels));
            }
            if (rate < minimumRate || rate > maximumRate) {
                fail(fmt::format("has a sample rate of {} Hz; Ambrel reads {} to {} Hz", rate,
                                 minimumRate, maximumRate));
            }
            frameSize_ = static_cast<std::size_t>(channels_) * static_cast<std::size_t>(bits_ / 8);
            if (static_cast<std::size_t>(blockAlign) != frameSize_) {
                fail("has a broken format description");
            }
            sampleRate_ = rate;
            isFloat_ = format == formatFloat;
            // Streamed recordings may leave the size at 0 or at its maximum: read to the end. A
            // file holding less than it announces is read as far as it goes.
            const bool streamed = size == 0 || size == 0xFFFFFFFFu;
            std::uint64_t bytes = size;
            if (isRegular_) {
                const std::uint64_t present = fileSize_ - std::min(fileSize_, position_);
                bytes = streamed ? present : std::min<std::uint64_t>(size, present);
            }
            lengthKnown_ = isRegular_ || !streamed;
            frames_ = lengthKnown_ ? bytes / frameSize_ : 0;
            return;
        } else if (!skip(std::uint64_t{size} + size % 2)) {
            fail("has no audio data");
        }
    }
}

void WavFile::convert(const unsigned char* bytes, std::size_t samples,
                      std::vector<float>& out) const {
    const auto bytesPerSample = static_cast<std::size_t>(bits_ / 8);
    for (std::size_t i = 0; i < samples; ++i) {
        const unsigned char* p = bytes + i * bytesPerSample;
        float sample = 0;
        if (isFloat_) {
            if (bits_ == 32) {
                std::memcpy(&sample, p, 4);
            } else {
                double value;
                std::memcpy(&value, p, 8);
                sample = static_cast<float>(value);
            }
        } else {
            switch (bits_) {
            case 8:
                sample = (static_cast<int>(p[0]) - 128) / 128.0f;
                break;
            case 16:
                sample = static_cast<std::int16_t>(little16(p)) / 32768.0f;
                break;
            case 24: {
                std::int32_t value = p[0] | (p[1] << 8) | (p[2] << 16);
                if (value & 0x800000) {
                    value -= 0x1000000;
                }
                sample = static_cast<float>(value) / 8388608.0f;
                break;
            }
            default:
                sample = static_cast<float>(static_cast<std::int32_t>(little32(p)) / 2147483648.0);
                break;
            }
        }
        out.push_back(sample);
    }
}

std::vector<float> WavFile::read(std::size_t frames) {
    std::vector<float> out;
    if (ended_ || frameSize_ == 0) {
        return out;
    }
    std::uint64_t wanted = frames;
    if (lengthKnown_) {
        wanted = std::min(wanted, frames_ - framesRead_);
    }
    const std::size_t framesPerPass = buffer_.size() / frameSize_;
    const auto channels = static_cast<std::size_t>(channels_);
    // Room for what a file surely holds; from a pipe, whatever it announced, as audio comes.
    out.reserve(static_cast<std::size_t>(
                    isRegular_ ? wanted : std::min<std::uint64_t>(wanted, framesPerPass)) *
                channels);
    while (wanted > 0) {
        const auto pass = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, framesPerPass));
        const std::size_t got = take(buffer_.data(), pass * frameSize_);
        const std::size_t whole = got / frameSize_; // a cut-off last frame is dropped
        convert(buffer_.data(), whole * channels, out);
        framesRead_ += whole;
        wanted -= whole;
        if (got < pass * frameSize_) {
            ended_ = true;
            frames_ = framesRead_;
            break;
        }
    }
    if (lengthKnown_ && framesRead_ == frames_) {
        ended_ = true;
    } else if (!lengthKnown_) {
        frames_ = framesRead_;
    }
    return out;
}

std::vector<float> WavFile::readAll() {
    std::vector<float> all;
    if (isRegular_) {
        all.reserve(static_cast<std::size_t>(frames_ - framesRead_) *
                    static_cast<std::size_t>(channels_));
    }
    for (auto piece = read(buffer_.size()); !piece.empty(); piece = read(buffer_.size())) {
        all.insert(all.end(), piece.begin(), piece.end());
    }
    return all;
}

} // namespace ambrel
