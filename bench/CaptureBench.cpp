// The capture callback path: one second of 4-channel 48 kHz float audio mixed down to mono in
// 20-millisecond buffers, as the microphone delivers it. The time of one iteration is the CPU
// time per second of audio; the target is under 10 ms (1% of a core).
// Also the playback-route query the engine makes for every microphone line while both sources
// run; it needs a sound server (PULSE_SERVER) and says so when there is none.
#include "audio/AudioHardware.h"
#include "audio/MonoMix.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

void MixDownOneSecond(benchmark::State& state) {
    constexpr int channels = 4;
    constexpr std::size_t framesPerBuffer = 960; // 20 ms
    std::vector<float> interleaved(framesPerBuffer * channels);
    for (std::size_t i = 0; i < interleaved.size(); ++i) {
        interleaved[i] = 0.3f * std::sin(static_cast<float>(i) * 0.01f);
    }
    const ambrel::CapturePlan plan{48000, std::vector<int>{0, 1}};
    const ambrel::MonoMix::InputBuffer input{interleaved.data(), interleaved.size() * sizeof(float),
                                             channels};
    for (auto _ : state) {
        for (int buffer = 0; buffer < 50; ++buffer) {
            benchmark::DoNotOptimize(ambrel::MonoMix::mix({&input, 1}, plan));
        }
    }
}
BENCHMARK(MixDownOneSecond)->Unit(benchmark::kMicrosecond);

void EchoRouteQuery(benchmark::State& state) {
    if (!ambrel::AudioHardware::snapshot()) {
        state.SkipWithError("no sound server");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(ambrel::AudioHardware::echoRoute());
    }
}
BENCHMARK(EchoRouteQuery)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
