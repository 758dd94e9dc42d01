// The decisions made on every final line: echo check, language arbitration, repeated beginnings.
#include "core/EchoFilter.h"
#include "core/LanguageArbiter.h"
#include "core/TextSimilarity.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace ambrel::core;

namespace {

const std::vector<std::string> vocabulary = {
    "the",   "meeting", "starts",  "at",     "nine",   "we",        "will",    "review",
    "every", "open",    "ticket",  "before", "lunch",  "and",       "then",    "decide",
    "which", "release", "goes",    "out",    "first",  "customers", "asked",   "about",
    "the",   "numbers", "quarter", "looked", "better", "than",      "expected"};

std::string sentence(std::mt19937& random, std::size_t characters) {
    std::uniform_int_distribution<std::size_t> pick(0, vocabulary.size() - 1);
    std::string text;
    while (text.size() < characters) {
        text += (text.empty() ? "" : " ") + vocabulary[pick(random)];
    }
    text.resize(characters);
    return text;
}

// One microphone line against a full window: 50 system lines of 200 characters in 10 seconds,
// none matching, so every entry goes through the similarity check.
void EchoCheckFullWindow(benchmark::State& state) {
    std::mt19937 random(1);
    EchoFilter prepared(10, 0.7);
    for (int i = 0; i < 50; ++i) {
        prepared.check(
            {Uuid::random(), sentence(random, 200), 0, SpeechSource::systemAudio, std::nullopt},
            100 + i * 0.2);
    }
    const TranscriptLine line{Uuid::random(), sentence(random, 200), 0, SpeechSource::microphone,
                              std::nullopt};
    for (auto _ : state) {
        state.PauseTiming();
        EchoFilter filter = prepared;
        state.ResumeTiming();
        benchmark::DoNotOptimize(filter.check(line, 110));
    }
}
BENCHMARK(EchoCheckFullWindow)->Unit(benchmark::kMicrosecond);

RecognizedSegment segment(std::mt19937& random, const std::string& locale, double start,
                          int words) {
    std::uniform_int_distribution<std::size_t> pick(0, vocabulary.size() - 1);
    std::uniform_real_distribution<double> confidence(0.6, 0.95);
    std::vector<RecognizedSegment::Word> list;
    for (int i = 0; i < words; ++i) {
        list.push_back({" " + vocabulary[pick(random)], start + i * 0.3, start + i * 0.3 + 0.28,
                        confidence(random)});
    }
    return RecognizedSegment(locale, std::move(list));
}

// Five languages each finish the same 40-word stretch; the last final decides it.
void ArbiterFiveLocales(benchmark::State& state) {
    const std::vector<std::string> locales{"en-US", "de-DE", "fr-FR", "es-ES", "it-IT"};
    std::mt19937 random(2);
    std::vector<RecognizedSegment> finals;
    for (const auto& locale : locales) {
        finals.push_back(segment(random, locale, 1.0, 40));
    }
    for (auto _ : state) {
        LanguageArbiter arbiter(locales);
        std::size_t decided = 0;
        for (std::size_t i = 0; i < finals.size(); ++i) {
            decided += arbiter.addFinal(finals[i], 20.0 + i * 0.1).size();
            decided += arbiter.tick(20.05 + i * 0.1).size();
        }
        if (decided == 0) {
            state.SkipWithError("nothing was decided");
        }
    }
}
BENCHMARK(ArbiterFiveLocales)->Unit(benchmark::kMicrosecond);

// A volatile text that repeats 599 characters already decided, then goes on.
void RepeatedPrefix599(benchmark::State& state) {
    std::mt19937 random(3);
    const auto decided = sentence(random, 599);
    const auto text = decided + " and then a few new words arrive";
    for (auto _ : state) {
        benchmark::DoNotOptimize(TextSimilarity::endOfRepeatedPrefix(text, decided, 0.6));
    }
}
BENCHMARK(RepeatedPrefix599)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
