#include "audio/WavFile.h"

#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace ambrel;
using ambrel::testing::TemporaryFolder;

namespace {

std::string le16(std::uint32_t value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

std::string le32(std::uint32_t value) {
    return le16(value & 0xFFFF) + le16(value >> 16);
}

std::string chunk(const std::string& id, const std::string& body,
                  std::optional<std::uint32_t> size = std::nullopt) {
    return id + le32(size.value_or(static_cast<std::uint32_t>(body.size()))) + body +
           (body.size() % 2 != 0 ? std::string(1, '\0') : std::string());
}

struct Format {
    int tag;
    int channels;
    std::uint32_t rate;
    int bits;
    bool extensible;
    std::optional<int> blockAlign;

    Format(int tag = 1, int channels = 1, std::uint32_t rate = 16000, int bits = 16,
           bool extensible = false, std::optional<int> blockAlign = std::nullopt)
        : tag(tag)
        , channels(channels)
        , rate(rate)
        , bits(bits)
        , extensible(extensible)
        , blockAlign(blockAlign) {}

    std::string body() const {
        const int align = blockAlign.value_or(channels * bits / 8);
        std::string text = le16(extensible ? 0xFFFE : tag) + le16(channels) + le32(rate) +
                           le32(rate * static_cast<std::uint32_t>(align)) + le16(align) +
                           le16(bits);
        if (extensible) {
            text += le16(22) + le16(bits) + le32(0) + le16(tag) +
                    std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
        }
        return text;
    }
};

// A whole file: RIFF header, `before`, the format, the data chunk (its size as given), `after`.
std::string wave(const Format& format, const std::string& data,
                 std::optional<std::uint32_t> dataSize = std::nullopt,
                 const std::string& before = {}, const std::string& after = {}) {
    const std::string chunks =
        before + chunk("fmt ", format.body()) + chunk("data", data, dataSize) + after;
    return "RIFF" + le32(static_cast<std::uint32_t>(4 + chunks.size())) + "WAVE" + chunks;
}

std::string pcm16(std::initializer_list<int> samples) {
    std::string bytes;
    for (const int sample : samples) {
        bytes += le16(static_cast<std::uint16_t>(sample));
    }
    return bytes;
}

std::string errorOf(const std::filesystem::path& file) {
    try {
        WavFile wav(file);
    } catch (const WavFile::Error& error) {
        return error.what();
    }
    return "(opened)";
}

} // namespace

TEST(WavFile, ReadsEverySampleFormat) {
    TemporaryFolder folder;
    const auto float32 = [](float value) {
        std::string bytes(4, '\0');
        std::memcpy(bytes.data(), &value, 4);
        return bytes;
    };
    const auto float64 = [](double value) {
        std::string bytes(8, '\0');
        std::memcpy(bytes.data(), &value, 8);
        return bytes;
    };
    struct Case {
        const char* name;
        Format format;
        std::string data;
        std::vector<float> samples;
    };
    const std::vector<Case> cases = {
        {"8-bit", {1, 1, 8000, 8}, std::string("\x80\x00\xC0", 3), {0.0f, -1.0f, 0.5f}},
        {"16-bit stereo", {1, 2, 48000, 16}, pcm16({0x4000, 0x8000}), {0.5f, -1.0f}},
        {"24-bit",
         {1, 1, 44100, 24},
         std::string("\x00\x00\x40\xFF\xFF\xFF", 6),
         {0.5f, -1.0f / 8388608.0f}},
        {"32-bit", {1, 1, 16000, 32}, le32(0xC0000000u), {-0.5f}},
        {"float", {3, 1, 16000, 32}, float32(0.25f) + float32(-2.0f), {0.25f, -2.0f}},
        {"double", {3, 1, 384000, 64}, float64(-0.125), {-0.125f}},
        {"extensible 24-bit", {1, 1, 16000, 24, true}, std::string("\x00\x00\xC0", 3), {-0.5f}},
        {"extensible float", {3, 2, 16000, 32, true}, float32(1.0f) + float32(0.5f), {1.0f, 0.5f}},
    };
    for (const auto& [name, format, data, samples] : cases) {
        SCOPED_TRACE(name);
        folder.write("a.wav", wave(format, data));
        WavFile wav(folder / "a.wav");
        EXPECT_EQ(wav.sampleRate(), format.rate);
        EXPECT_EQ(wav.channels(), format.channels);
        EXPECT_EQ(wav.frames(), samples.size() / static_cast<std::size_t>(format.channels));
        EXPECT_EQ(wav.readAll(), samples);
        EXPECT_TRUE(wav.read(10).empty());
    }
}

TEST(WavFile, ReadsTheAudioOfOddlyLaidOutFiles) {
    TemporaryFolder folder;
    const std::string data = pcm16({1000, -1000, 2000, -2000});
    const std::vector<float> samples = {1000 / 32768.0f, -1000 / 32768.0f, 2000 / 32768.0f,
                                        -2000 / 32768.0f};
    const std::string odd = chunk("LIST", "abc"); // padded to an even length
    const std::string trailing = chunk("LIST", "INFOtrailing");
    struct Case {
        const char* name;
        std::string file;
        std::vector<float> samples;
    };
    const std::vector<Case> cases = {
        {"odd chunk before, chunk after", wave({}, data, std::nullopt, odd, trailing), samples},
        {"streamed: size 0xFFFFFFFF", wave({}, data, 0xFFFFFFFFu), samples},
        {"streamed: size 0", wave({}, data, 0), samples},
        {"announcing more than there is", wave({}, data, 1000000), samples},
        {"a cut-off last frame", wave({}, data, 0xFFFFFFFFu) + "\x01", samples},
        {"announcing less than there is", wave({}, data, 4), {samples[0], samples[1]}},
    };
    for (const auto& [name, file, expected] : cases) {
        SCOPED_TRACE(name);
        folder.write("a.wav", file);
        WavFile wav(folder / "a.wav");
        EXPECT_EQ(wav.frames(), expected.size());
        std::vector<float> read;
        for (auto piece = wav.read(3); !piece.empty(); piece = wav.read(3)) {
            EXPECT_LE(piece.size(), 3u);
            read.insert(read.end(), piece.begin(), piece.end());
        }
        EXPECT_EQ(read, expected);
    }
}

TEST(WavFile, RefusesBrokenAndOutlandishFilesBeforeReadingThem) {
    TemporaryFolder folder;
    const std::string data = pcm16({1, 2});
    const auto hugeFormat =
        "RIFF" + le32(28) + "WAVE" + "fmt " + le32(0xFFFFFFF0u) + Format{}.body().substr(0, 8);
    const auto withFormat = [&](Format format) { return wave(format, data); };
    Format badGuid{3, 1, 16000, 32, true};
    auto badGuidFile = withFormat(badGuid);
    badGuidFile[12 + 8 + 24 + 2] = 'x'; // inside the sub-format GUID
    struct Case {
        const char* name;
        std::string file;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"a format chunk claiming 4 GB", hugeFormat, "claims more bytes than the file holds"},
        {"a chunk claiming more than there is",
         wave({}, data, std::nullopt, chunk("LIST", "x", 5000)),
         "claims more bytes than the file holds"},
        {"65535 channels of float64 at 4 GHz",
         withFormat({3, 65535, 0xFFFFFFFFu, 64, false, 0xFFF8}), "65535 channels"},
        {"33 channels", withFormat({1, 33, 16000, 16}), "33 channels; Ambrel reads 1 to 32"},
        {"no channels", withFormat({1, 0, 16000, 16}), "0 channels"},
        {"1 Hz", withFormat({1, 1, 1, 16}), "1 Hz; Ambrel reads 8000 to 384000 Hz"},
        {"7999 Hz", withFormat({1, 1, 7999, 16}), "7999 Hz"},
        {"384001 Hz", withFormat({1, 1, 384001, 16}), "384001 Hz"},
        {"12-bit", withFormat({1, 1, 16000, 12, false, 2}), "format 1, 12 bits"},
        {"64-bit integers", withFormat({1, 1, 16000, 64}), "format 1, 64 bits"},
        {"A-law", withFormat({6, 1, 8000, 8}), "format 6"},
        {"a frame size that does not fit", withFormat({1, 2, 16000, 16, false, 2}),
         "broken format description"},
        {"an extensible format without its GUID", badGuidFile, "broken format description"},
        {"a short format", "RIFF" + le32(20) + "WAVE" + chunk("fmt ", "\x01\x00\x01\x00"),
         "broken format description"},
        {"data before the format", "RIFF" + le32(16) + "WAVE" + chunk("data", data),
         "audio data before its format"},
        {"no data", "RIFF" + le32(28) + "WAVE" + chunk("fmt ", Format{}.body()),
         "has no audio data"},
        {"no RIFF", "RIFX" + wave({}, data).substr(4), "is not a WAVE file"},
        {"empty", "", "is not a WAVE file"},
    };
    for (const auto& [name, file, reason] : cases) {
        SCOPED_TRACE(name);
        folder.write("a.wav", file);
        const auto message = errorOf(folder / "a.wav");
        EXPECT_NE(message.find(reason), std::string::npos) << message;
        EXPECT_NE(message.find((folder / "a.wav").string()), std::string::npos) << message;
    }
    std::filesystem::create_directory(folder / "folder.wav");
    EXPECT_NE(errorOf(folder / "folder.wav").find("neither a file nor a pipe"), std::string::npos);
    EXPECT_NE(errorOf("/dev/zero").find("neither a file nor a pipe"), std::string::npos);
    EXPECT_NE(errorOf(folder / "missing.wav").find("cannot be opened"), std::string::npos);
}

TEST(WavFile, ReadsAStreamFromAPipeAndNeverWaitsForAMissingWriter) {
    TemporaryFolder folder;
    // A named pipe that nobody writes to fails at once.
    ASSERT_EQ(::mkfifo((folder / "fifo.wav").c_str(), 0600), 0);
    EXPECT_NE(errorOf(folder / "fifo.wav").find("a pipe with nothing written to it"),
              std::string::npos);

    // As with "cat speech.wav | ambrel transcribe /dev/stdin": a streamed file, larger than the
    // pipe holds at once, arriving while it is read.
    std::string data;
    for (int i = 0; i < 100000; ++i) {
        data += le16(static_cast<std::uint16_t>(i));
    }
    const std::string file = wave({1, 2, 16000, 16}, data, 0xFFFFFFFFu);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    std::thread writer([&] {
        for (std::size_t at = 0; at < file.size();) {
            const auto written = ::write(ends[1], file.data() + at, file.size() - at);
            if (written <= 0) {
                break;
            }
            at += static_cast<std::size_t>(written);
        }
        ::close(ends[1]);
    });
    {
        WavFile wav("/proc/self/fd/" + std::to_string(ends[0]));
        EXPECT_EQ(wav.channels(), 2);
        std::size_t samples = 0;
        bool ordered = true;
        for (auto piece = wav.read(1000); !piece.empty(); piece = wav.read(1000)) {
            for (const float sample : piece) {
                const auto expected = static_cast<std::int16_t>(samples++);
                ordered = ordered && sample == expected / 32768.0f;
            }
        }
        EXPECT_TRUE(ordered);
        EXPECT_EQ(samples, 100000u);
        EXPECT_EQ(wav.frames(), 50000u);
    }
    writer.join();
    ::close(ends[0]);
}
