// The echo cancellation of one microphone: a minute of 48 kHz audio in 20 ms buffers, the
// speakers' (stereo, as the monitor delivers it) and the microphone's (mono, with the echo), cut
// into 10 ms frames, handed over and cancelled. "real_time_fraction" is the CPU time spent per
// second of audio: the share of one core it takes. The target is under 0.05.
#include "../tests/speech/echo/SyntheticVoice.h"
#include "speech/echo/EchoCancellation.h"
#include "speech/echo/SpeexEchoCanceller.h"

#include <benchmark/benchmark.h>

#include <ctime>

namespace {

using namespace ambrel;

constexpr int rate = 48000;
constexpr double seconds = 60;
constexpr std::size_t step = rate / 50;

void CancelOneMinute(benchmark::State& state) {
    const auto far = testing::syntheticVoice(seconds, rate, 11);
    const auto heard = testing::delayedEcho(far, rate, 0.12, 9);
    double cpu = 0;
    for (auto _ : state) {
        double now = 0;
        EchoCancellation echo(
            std::make_unique<SpeexEchoCanceller>(), [&now] { return now; }, true);
        const std::clock_t began = std::clock();
        for (std::size_t at = 0; at + step <= far.size(); at += step) {
            now += 0.02;
            AudioBuffer speakers{rate, 2, std::vector<float>(2 * step)};
            for (std::size_t i = 0; i < step; ++i) {
                speakers.samples[2 * i] = speakers.samples[2 * i + 1] = far[at + i];
            }
            echo.reference(speakers);
            AudioBuffer microphone{
                rate, 1,
                std::vector<float>(heard.begin() + static_cast<long>(at),
                                   heard.begin() + static_cast<long>(at + step))};
            benchmark::DoNotOptimize(echo.microphone(std::move(microphone)));
        }
        cpu += static_cast<double>(std::clock() - began) / CLOCKS_PER_SEC;
    }
    state.counters["real_time_fraction"] =
        cpu / (seconds * static_cast<double>(state.iterations()));
}
BENCHMARK(CancelOneMinute)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
