// WAVE files come from anywhere, through a file or a pipe: any bytes must open or be refused,
// never crash or allocate beyond their size, and a file must read the same both ways.
#include "FuzzFailure.h"
#include "audio/WavFile.h"

#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

struct Reading {
    double rate = 0;
    int channels = 0;
    std::uint64_t frames = 0;
    std::vector<float> samples;
};

using ambrel::fuzz::fail;

// Reads in pieces of changing size, as a file run does.
std::optional<Reading> readAll(const std::string& path, std::size_t size) {
    try {
        ambrel::WavFile wav(path);
        Reading reading{wav.sampleRate(), wav.channels(), 0, {}};
        for (std::size_t frames = 1;; frames = frames * 3 % 1000 + 1) {
            const auto piece = wav.read(frames);
            if (piece.empty()) {
                break;
            }
            if (piece.size() > frames * static_cast<std::size_t>(wav.channels()) ||
                piece.size() % static_cast<std::size_t>(wav.channels()) != 0) {
                fail("a read gave other than whole frames, or more than asked for");
            }
            reading.samples.insert(reading.samples.end(), piece.begin(), piece.end());
            if (reading.samples.size() > size) {
                fail("more samples than the file has bytes");
            }
        }
        reading.frames = wav.frames();
        return reading;
    } catch (const ambrel::WavFile::Error&) {
        return std::nullopt;
    }
}

bool same(const Reading& a, const Reading& b) {
    return a.rate == b.rate && a.channels == b.channels && a.frames == b.frames &&
           a.samples.size() == b.samples.size() &&
           std::memcmp(a.samples.data(), b.samples.data(), a.samples.size() * sizeof(float)) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The bytes as a file (in memory) and as a pipe that holds them all.
    const int file = ::memfd_create("wav", MFD_CLOEXEC);
    int pipe[2];
    if (file < 0 || ::pipe2(pipe, O_CLOEXEC) != 0 ||
        ::write(file, data, size) != static_cast<ssize_t>(size) ||
        ::write(pipe[1], data, size) != static_cast<ssize_t>(size)) {
        fail("cannot set up the input");
    }
    ::close(pipe[1]);
    const auto fromFile = readAll("/proc/self/fd/" + std::to_string(file), size);
    const auto fromPipe = readAll("/proc/self/fd/" + std::to_string(pipe[0]), size);
    ::close(file);
    ::close(pipe[0]);
    if (fromFile.has_value() != fromPipe.has_value()) {
        fail(fromFile ? "a pipe refuses what a file gives" : "a file refuses what a pipe gives");
    }
    if (fromFile && !same(*fromFile, *fromPipe)) {
        fail("a file and a pipe of the same bytes read differently");
    }
    if (fromFile && fromFile->frames * static_cast<std::uint64_t>(fromFile->channels) !=
                        fromFile->samples.size()) {
        fail("frames() disagrees with what was read");
    }
    return 0;
}
