// Session files at realistic sizes: saving and loading a long session, listing a large folder.
#include "TemporaryFolder.h"
#include "core/SessionStore.h"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

using namespace ambrel::core;

namespace {

constexpr double start = 1741939500.0;

SessionRecord longSession(std::string id, int lines) {
    SessionRecord record(std::move(id), start);
    for (int i = 0; i < lines; ++i) {
        record.lines.push_back(
            {Uuid::random(),
             fmt::format("Sentence {} of a long meeting, about as long as people speak in one go.",
                         i),
             start + 3.0 * i, i % 2 == 0 ? SpeechSource::microphone : SpeechSource::systemAudio,
             "en-US"});
        if (i % 500 == 250) {
            record.markers.push_back({MarkerKind::paused, start + 3.0 * i + 1});
            record.markers.push_back({MarkerKind::resumed, start + 3.0 * i + 2});
        }
    }
    record.languages = {"en-US"};
    record.appVersion = "0.1.0";
    record.lastUpdated = start + 3.0 * lines;
    return record;
}

void SaveSession(benchmark::State& state) {
    ambrel::testing::TemporaryFolder folder;
    SessionStore store(folder.path(), TimeZone::named("Europe/Berlin"));
    const auto record = longSession("long", static_cast<int>(state.range(0)));
    for (auto _ : state) {
        store.save(record);
    }
    state.counters["lines"] = static_cast<double>(state.range(0));
}
BENCHMARK(SaveSession)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

void LoadSession(benchmark::State& state) {
    ambrel::testing::TemporaryFolder folder;
    SessionStore store(folder.path(), TimeZone::named("Europe/Berlin"));
    store.save(longSession("long", static_cast<int>(state.range(0))));
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.load("long"));
    }
}
BENCHMARK(LoadSession)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

// 2,000 sessions of range(1) lines each.
void ListSessions(benchmark::State& state) {
    ambrel::testing::TemporaryFolder folder;
    SessionStore store(folder.path(), TimeZone::named("Europe/Berlin"));
    const auto sessions = static_cast<int>(state.range(0));
    for (int i = 0; i < sessions; ++i) {
        auto record =
            longSession(fmt::format("session {:04}", i), static_cast<int>(state.range(1)));
        record.startedAt += i * 3600.0;
        store.save(record);
    }
    for (auto _ : state) {
        const auto summaries = store.listSessions();
        if (summaries.size() != static_cast<std::size_t>(sessions)) {
            state.SkipWithError("not every session was listed");
        }
    }
}
BENCHMARK(ListSessions)
    ->Args({2000, 50})
    ->Args({2000, 200})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
