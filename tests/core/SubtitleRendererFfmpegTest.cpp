// The subtitles as a reader that was not written here sees them: ffmpeg reads each file and writes
// it out again, and its cues must be ours. ffmpeg re-times some outputs to hundredths of a second,
// so times agree within 10 ms.
#include "SessionExamples.h"
#include "Subprocess.h"
#include "TemporaryFolder.h"
#include "core/SubtitleRenderer.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <stdexcept>

using namespace ambrel::core;
using ambrel::testing::march14;
using ambrel::testing::Subprocess;
using ambrel::testing::TemporaryFolder;

namespace {

constexpr std::int64_t tolerance = 10; // milliseconds

struct Timing {
    std::int64_t start = 0;
    std::int64_t end = 0;
    auto operator<=>(const Timing&) const = default;
};

bool haveFfmpeg() {
    try {
        return Subprocess::run({"ffmpeg", "-hide_banner", "-version"}) == 0;
    } catch (const std::runtime_error&) {
        return false;
    }
}

// "01:02:03,456", "01:02:03.456" or "02:03.456" in milliseconds.
std::optional<std::int64_t> parseTime(std::string_view text) {
    std::array<std::int64_t, 4> fields{};
    std::size_t count = 0;
    std::size_t digits = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            fields[count] = fields[count] * 10 + (c - '0');
            ++digits;
        } else if ((c == ':' || c == ',' || c == '.') && digits > 0 && count + 1 < fields.size()) {
            ++count;
            digits = 0;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0 || (count != 2 && count != 3)) {
        return std::nullopt;
    }
    const auto hours = count == 3 ? fields[0] : 0;
    const auto minutes = fields[count - 2];
    const auto seconds = fields[count - 1];
    return ((hours * 60 + minutes) * 60 + seconds) * 1000 + fields[count];
}

// The times of every cue in ffmpeg's output, in order of start. ffmpeg writes cue text without
// escapes, so the timing is looked for only where a cue block has it: first, or after a number.
std::vector<Timing> timings(const std::string& output) {
    std::vector<Timing> result;
    std::istringstream lines(output);
    std::vector<std::string> block;
    auto takeBlock = [&] {
        if (block.empty() || block.front() == "WEBVTT") {
            return;
        }
        const auto& line = block.front().find(" --> ") == std::string::npos && block.size() > 1
                               ? block[1]
                               : block.front();
        std::optional<std::int64_t> start;
        std::optional<std::int64_t> end;
        if (const auto arrow = line.find(" --> "); arrow != std::string::npos) {
            start = parseTime(line.substr(0, arrow));
            // WebVTT may follow the end time with cue settings.
            const auto endTime = line.substr(arrow + 5);
            end = parseTime(endTime.substr(0, endTime.find(' ')));
        }
        EXPECT_TRUE(start && end) << line;
        if (start && end) {
            result.push_back({*start, *end});
        }
    };
    for (std::string line; std::getline(lines, line);) {
        if (line.empty()) {
            takeBlock();
            block.clear();
        } else {
            block.push_back(line);
        }
    }
    takeBlock();
    std::sort(result.begin(), result.end());
    return result;
}

std::vector<Timing> expectedTimings(const SessionRecord& record) {
    std::vector<Timing> result;
    for (const auto& cue : SubtitleRenderer::cues(record)) {
        result.push_back({cue.start, cue.end});
    }
    std::sort(result.begin(), result.end());
    return result;
}

// ffmpeg reads `path` and writes it again as `format` to its standard output.
std::string throughFfmpeg(const std::filesystem::path& path, const std::string& format) {
    Subprocess ffmpeg(
        {"ffmpeg", "-hide_banner", "-loglevel", "error", "-i", path.string(), "-f", format, "-"});
    const int status = ffmpeg.wait();
    EXPECT_EQ(status, 0) << path << ": " << ffmpeg.errors();
    return ffmpeg.output();
}

void expectFfmpegAgrees(const SessionRecord& record, const std::string& name) {
    TemporaryFolder folder;
    folder.write(name + ".srt", SubtitleRenderer::srt(record, TranscriptLabels::english()));
    folder.write(name + ".vtt", SubtitleRenderer::webVtt(record, TranscriptLabels::english()));
    const auto expected = expectedTimings(record);
    ASSERT_FALSE(expected.empty());
    for (const auto& [extension, format] : {std::pair{".srt", "srt"}, {".vtt", "webvtt"}}) {
        const auto read = timings(throughFfmpeg(folder / (name + extension), format));
        ASSERT_EQ(read.size(), expected.size()) << name << extension;
        for (std::size_t i = 0; i < read.size(); ++i) {
            EXPECT_NEAR(read[i].start, expected[i].start, tolerance) << name << extension << i;
            EXPECT_NEAR(read[i].end, expected[i].end, tolerance) << name << extension << i;
        }
    }
}

// Ten hours of two speakers with everything the renderers treat specially: lines that start
// together, lines out of order, pauses, text with arrows, tags, line breaks and right-to-left
// script.
SessionRecord tenHours() {
    const std::array<std::string, 8> texts = {
        "Good morning, everyone.",
        "a --> b, and --->",
        "Use <b>bold</b> & <i>italics</i> sparingly.",
        "first line\nsecond line\r\n\nthird line",
        "\u05E9\u05DC\u05D5\u05DD \u05E2\u05D5\u05DC\u05DD, \u0645\u0631\u062D\u0628\u0627",
        "A rather long sentence that goes on and on, far longer than anyone can read in the "
        "few seconds a subtitle stays up on the screen.",
        "Yes.",
        "1\n00:00:01,000 --> 00:00:02,000",
    };
    SessionRecord record("ten hours", march14);
    double start = 0.5;
    for (int i = 0; i < 1200; ++i) {
        const auto source = i % 3 == 0 ? SpeechSource::microphone : SpeechSource::systemAudio;
        record.lines.push_back({Uuid::random(), texts[static_cast<std::size_t>(i) % texts.size()],
                                march14 + start, source, "en-US"});
        if (i % 50 == 25) {
            record.markers.push_back({MarkerKind::paused, march14 + start + 1.25});
            record.markers.push_back({MarkerKind::resumed, march14 + start + 20});
        }
        // Gaps from none (the next line starts together) to well past the reading time.
        start += (i % 11) * 6.517;
    }
    std::swap(record.lines[10], record.lines[11]);
    record.endedAt = march14 + start + 2.5;
    record.lastUpdated = *record.endedAt;
    return record;
}

} // namespace

TEST(SubtitleRendererFfmpeg, FfmpegReadsTheSameCues) {
    if (!haveFfmpeg()) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    const auto longSession = tenHours();
    ASSERT_GT(SubtitleRenderer::cues(longSession).back().start, 10 * 3600 * 1000);
    expectFfmpegAgrees(longSession, "ten hours");

    // Still being recorded: the last cue lasts its reading time.
    const auto live = ambrel::testing::makeRecord("live", march14, 40);
    ASSERT_TRUE(live.isLive());
    expectFfmpegAgrees(live, "live");

    // One speaker, so nothing comes before text that looks like a cue's timing.
    SessionRecord single("single", march14);
    for (const auto* text :
         {"Only me.", "00:00:05,000 --> 00:00:06,000", "00:00:05.000 --> 00:00:06.000"}) {
        single.lines.push_back({Uuid::random(),
                                text,
                                march14 + 3.5 * static_cast<double>(single.lines.size() + 1),
                                SpeechSource::microphone,
                                {}});
    }
    expectFfmpegAgrees(single, "single");
}
