// Measures the dictation engine: CPU per second of audio with one, two and four recognisers at
// once, memory per recogniser, and how long after a word is spoken its text shows (volatile
// and final), with audio fed at its real pace. Prints a table; takes no options.
#include "audio/WavFile.h"
#include "speech/BufferConverter.h"
#include "speech/PocketsphinxRecognizer.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace ambrel;
using Clock = std::chrono::steady_clock;

namespace {

double processSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

// "VmRSS" now or "VmHWM" at the peak, from the kernel's account of this process.
double megabytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stod(line.substr(field.size() + 1)) / 1024.0;
        }
    }
    return 0;
}

std::vector<float> audioAt16k(const std::string& path) {
    WavFile wav(path);
    BufferConverter converter({16000, true, 1});
    auto converted =
        converter.convert(AudioBuffer{wav.sampleRate(), wav.channels(), wav.readAll()});
    return converted ? converted->samples : std::vector<float>{};
}

// Runs recognisers over the audio as fast as they go; returns the results of the first.
struct Outcome {
    std::vector<std::pair<double, RecognizerResult>> results; // arrival (s after start), result
};

std::vector<Outcome> recognize(const PocketsphinxModel& model, const std::vector<float>& audio,
                               int count, bool realTime) {
    std::vector<std::unique_ptr<PocketsphinxRecognizer>> recognizers;
    std::vector<Outcome> outcomes(static_cast<std::size_t>(count));
    std::mutex mutex;
    std::condition_variable done;
    int finished = 0;
    for (int i = 0; i < count; ++i) {
        recognizers.push_back(std::make_unique<PocketsphinxRecognizer>(model));
    }
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        recognizers[static_cast<std::size_t>(i)]->start(
            {[&, i](RecognizerResult result) {
                 const std::lock_guard lock(mutex);
                 outcomes[static_cast<std::size_t>(i)].results.emplace_back(
                     std::chrono::duration<double>(Clock::now() - start).count(),
                     std::move(result));
             },
             [](const std::string&) {},
             [&] {
                 const std::lock_guard lock(mutex);
                 ++finished;
                 done.notify_all();
             }});
    }
    constexpr std::size_t chunk = 320; // 20 ms
    for (std::size_t at = 0; at < audio.size(); at += chunk) {
        const auto end = std::min(audio.size(), at + chunk);
        for (auto& recognizer : recognizers) {
            recognizer->feed(
                AudioBuffer{16000, 1,
                            std::vector<float>(audio.begin() + static_cast<long>(at),
                                               audio.begin() + static_cast<long>(end))},
                static_cast<std::int64_t>(at));
        }
        if (realTime) {
            std::this_thread::sleep_until(
                start + std::chrono::duration<double>(static_cast<double>(end) / 16000));
        }
    }
    for (auto& recognizer : recognizers) {
        recognizer->finish();
    }
    std::unique_lock lock(mutex);
    done.wait(lock, [&] { return finished == count; });
    return outcomes;
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream stream(text);
    std::vector<std::string> list;
    for (std::string word; stream >> word;) {
        list.push_back(word);
    }
    return list;
}

} // namespace

int main() {
    const auto models = PocketsphinxModels::installed();
    const auto english = std::find_if(models.begin(), models.end(),
                                      [](const auto& m) { return m.locale == "en-US"; });
    if (english == models.end()) {
        std::fprintf(stderr, "no en-US dictation model\n");
        return 1;
    }
    // Half a minute of human speech.
    std::vector<float> audio;
    const std::string folder = "/usr/share/pocketsphinx/test/data/librivox/";
    for (const char* id : {"0870", "0880", "0890", "0920", "0930"}) {
        const auto part =
            audioAt16k(folder + "sense_and_sensibility_01_austen_64kb-" + id + ".wav");
        audio.insert(audio.end(), part.begin(), part.end());
        audio.insert(audio.end(), 8000, 0.0f);
    }
    const double seconds = static_cast<double>(audio.size()) / 16000;
    const double baseline = megabytes("VmRSS");
    std::printf("audio: %.1f s of speech\n\n", seconds);
    std::printf("recognisers  CPU per audio second  wall per audio second\n");
    for (int count : {1, 2, 4}) {
        const double cpu = processSeconds();
        const auto wall = Clock::now();
        recognize(*english, audio, count, false);
        const double cpuUsed = processSeconds() - cpu;
        const double wallUsed = std::chrono::duration<double>(Clock::now() - wall).count();
        std::printf("%11d  %20.3f  %21.3f\n", count, cpuUsed / seconds, wallUsed / seconds);
    }

    // The peak came with four recognisers at work.
    std::printf("\nresident memory per recogniser: %.0f MB\n", (megabytes("VmHWM") - baseline) / 4);

    // Latency at the real pace: one sentence with silence after it.
    std::vector<float> sentence =
        audioAt16k(folder + "sense_and_sensibility_01_austen_64kb-0880.wav");
    sentence.insert(sentence.end(), 32000, 0.0f);
    const auto outcome = recognize(*english, sentence, 1, true).front();
    const auto final = std::find_if(outcome.results.begin(), outcome.results.end(),
                                    [](const auto& r) { return r.second.isFinal; });
    if (final == outcome.results.end()) {
        std::printf("no final result\n");
        return 1;
    }
    std::vector<double> partialDelays;
    const auto& runs = final->second.runs;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        // The first volatile text that has every word up to this one right.
        const auto expected = words(final->second.text());
        for (const auto& [arrival, result] : outcome.results) {
            const auto heard = words(result.text());
            if (result.isFinal || heard.size() <= i) {
                continue;
            }
            if (std::equal(expected.begin(), expected.begin() + static_cast<long>(i + 1),
                           heard.begin())) {
                partialDelays.push_back(arrival - runs[i].time->second);
                break;
            }
        }
    }
    std::sort(partialDelays.begin(), partialDelays.end());
    if (!partialDelays.empty()) {
        std::printf(
            "volatile text after a word ends: median %.2f s, worst %.2f s (%zu of %zu words)\n",
            partialDelays[partialDelays.size() / 2], partialDelays.back(), partialDelays.size(),
            runs.size());
    }
    std::printf("final line after the sentence ends: %.2f s\n",
                final->first - runs.back().time->second);
    return 0;
}
