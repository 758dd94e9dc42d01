// Exporting a long session: ten hours of two speakers with 6,000 lines and a few pauses, as SRT,
// WebVTT and plain text.
#include "core/SubtitleRenderer.h"
#include "core/TranscriptRenderer.h"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <array>
#include <string_view>

using namespace ambrel::core;

namespace {

constexpr double start = 1741939500.0;
constexpr int lineCount = 6000;
constexpr double hours = 10;

SessionRecord tenHourSession() {
    static constexpr std::array<std::string_view, 4> sentences = {
        "Let us go through the numbers for the last quarter once more.",
        "Yes.",
        "I think the second option is cheaper, but it takes two more weeks to deliver, and the "
        "team would rather not wait that long.",
        "Could you share your screen?",
    };
    SessionRecord record("ten hours", start);
    const double spacing = hours * 3600 / lineCount;
    for (int i = 0; i < lineCount; ++i) {
        const double at = start + spacing * i + (i % 4) * 0.7;
        record.lines.push_back(
            {Uuid::random(), fmt::format("{} ({})", sentences[i % sentences.size()], i), at,
             i % 3 == 0 ? SpeechSource::microphone : SpeechSource::systemAudio, "en-US"});
        if (i % 500 == 250) {
            record.markers.push_back({MarkerKind::paused, at + 1});
            record.markers.push_back({MarkerKind::resumed, at + spacing - 0.5});
        }
    }
    record.endedAt = start + hours * 3600;
    record.lastUpdated = *record.endedAt;
    record.languages = {"en-US"};
    return record;
}

void ExportSrt(benchmark::State& state) {
    const auto record = tenHourSession();
    for (auto _ : state) {
        benchmark::DoNotOptimize(SubtitleRenderer::srt(record, TranscriptLabels::english()));
    }
    state.counters["lines"] = lineCount;
}
BENCHMARK(ExportSrt)->Unit(benchmark::kMillisecond);

void ExportWebVtt(benchmark::State& state) {
    const auto record = tenHourSession();
    for (auto _ : state) {
        benchmark::DoNotOptimize(SubtitleRenderer::webVtt(record, TranscriptLabels::english()));
    }
    state.counters["lines"] = lineCount;
}
BENCHMARK(ExportWebVtt)->Unit(benchmark::kMillisecond);

void ExportPlainText(benchmark::State& state) {
    const auto record = tenHourSession();
    const auto zone = TimeZone::named("Europe/Berlin");
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            TranscriptRenderer::plainText(record, TranscriptLabels::english(), {}, zone));
    }
    state.counters["lines"] = lineCount;
}
BENCHMARK(ExportPlainText)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
