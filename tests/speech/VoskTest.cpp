#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"
#include "core/Log.h"
#include "speech/VoskLibrary.h"
#include "speech/VoskModel.h"
#include "speech/VoskRecognizer.h"
#include "speech/VoskResultReader.h"
#include "speech/VoskTimeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <mutex>

using namespace ambrel;
using ambrel::testing::ScopedEnvironment;
using ambrel::testing::TemporaryFolder;
using TextRun = RecognizerResult::Run;

// libvosk leaks a little when a model fails to load; that is its own, not ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libvosk.so\n";
}

namespace {

constexpr const char* buildLibrary = AMBREL_TEST_VOSK_LIBRARY;
constexpr double rate = VoskRecognizer::sampleRate;

std::int64_t at(double seconds) {
    return static_cast<std::int64_t>(seconds * rate);
}

std::size_t frames(double seconds) {
    return static_cast<std::size_t>(at(seconds));
}

AudioBuffer audio(double seconds, float value = 0.25f) {
    return AudioBuffer{rate, 1, std::vector<float>(frames(seconds), value)};
}

// A sentence of Vosk words: text, start, end, conf (as it writes them).
std::string finalJson(const std::vector<std::tuple<std::string, double, double>>& words) {
    std::string list;
    std::string text;
    for (const auto& [word, start, end] : words) {
        list += (list.empty() ? "" : ",") + std::string("{\"conf\": 0.9, \"end\": ") +
                std::to_string(end) + ", \"start\": " + std::to_string(start) + ", \"word\": \"" +
                word + "\"}";
        text += (text.empty() ? "" : " ") + word;
    }
    return "{\"result\": [" + list + "], \"text\": \"" + text + "\"}";
}

void expectTimes(const RecognizerResult& result,
                 const std::vector<std::pair<double, double>>& times) {
    ASSERT_EQ(result.runs.size(), times.size()) << result.text();
    for (std::size_t i = 0; i < times.size(); ++i) {
        ASSERT_TRUE(result.runs[i].time) << i;
        EXPECT_NEAR(result.runs[i].time->first, times[i].first, 1e-3) << i;
        EXPECT_NEAR(result.runs[i].time->second, times[i].second, 1e-3) << i;
    }
}

// --- what libvosk says, turned into results -------------------------------------------------

TEST(VoskResultReaderTest, PartialIsOneRunWithTheWholeTextAndNoTimeOrConfidence) {
    const auto result = VoskResultReader::readPartial(R"({"partial" : "hello wor"})", {2, 3.5});
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->isFinal);
    EXPECT_EQ(result->runs, (std::vector<TextRun>{{"hello wor", std::nullopt, std::nullopt}}));
    EXPECT_EQ(result->range, std::pair(2.0, 3.5));

    const auto empty = VoskResultReader::readPartial(R"({"partial" : "  "})", {0, 1});
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->runs.empty());
}

TEST(VoskResultReaderTest, FinalHasOneTimedRunPerWordMovedOntoTheTimeLine) {
    const auto result = VoskResultReader::readFinal(R"({
        "result" : [
            {"conf" : 1.000000, "end" : 1.02, "start" : 0.60, "word" : "hello"},
            {"conf" : 0.874321, "end" : 1.50, "start" : 1.02, "word" : "world"}
        ],
        "text" : "hello world"
    })",
                                                    10, {0, 0});
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->isFinal);
    EXPECT_EQ(result->text(), "hello world");
    ASSERT_EQ(result->runs.size(), 2u);
    EXPECT_EQ(result->runs[0].text, "hello");
    EXPECT_EQ(result->runs[1].text, " world");
    expectTimes(*result, {{10.60, 11.02}, {11.02, 11.50}});
    EXPECT_DOUBLE_EQ(*result->runs[0].confidence, 1.0);
    EXPECT_DOUBLE_EQ(*result->runs[1].confidence, 0.874321);
    EXPECT_NEAR(result->range.first, 10.60, 1e-9);
    EXPECT_NEAR(result->range.second, 11.50, 1e-9);
}

TEST(VoskResultReaderTest, ConfidenceIsKeptWithinZeroToOneAndLeftOutWhenUnusable) {
    const auto result = VoskResultReader::readFinal(R"({"text": "a b c d", "result": [
        {"word": "a", "start": 0, "end": 1, "conf": 1.7},
        {"word": "b", "start": 1, "end": 2, "conf": -0.2},
        {"word": "c", "start": 2, "end": 3},
        {"word": "d", "start": 3, "end": 4, "conf": "high"}]})",
                                                    0, {0, 0});
    ASSERT_TRUE(result);
    ASSERT_EQ(result->runs.size(), 4u);
    EXPECT_EQ(result->runs[0].confidence, 1.0);
    EXPECT_EQ(result->runs[1].confidence, 0.0);
    EXPECT_EQ(result->runs[2].confidence, std::nullopt);
    EXPECT_EQ(result->runs[3].confidence, std::nullopt);
}

TEST(VoskResultReaderTest, FinalWithoutUsableWordsIsItsTextOverTheUtterance) {
    const RecognizerResult untimed{{{"hello world", std::nullopt, std::nullopt}}, {4, 6}, true};
    for (const char* json : {
             R"({"text": "hello world"})",
             R"({"text": "hello world", "result": []})",
             R"({"text": "hello world", "result": {"word": "hello"}})",
             R"({"text": "hello world", "result": [{"word": "hello", "start": "0", "end": 1}]})",
             R"({"text": "hello world", "result": [{"word": "hello", "start": 0, "end": 1},
                                                  {"word": 7, "start": 1, "end": 2}]})",
             R"({"text": "hello world", "result": [{"word": "hello", "start": 2, "end": 1}]})",
             R"({"text": "hello world", "result": [{"word": "", "start": 0, "end": 1}]})",
             R"({"text": "hello world", "result": [null]})",
         }) {
        EXPECT_EQ(VoskResultReader::readFinal(json, 100, {4, 6}), untimed) << json;
    }
}

TEST(VoskResultReaderTest, EmptyOrMalformedTextGivesNothing) {
    for (const char* json : {
             "",
             "not json",
             "{",
             "[1, 2]",
             "null",
             R"({"text": ""})",
             R"({"text" : "  "})",
             R"({"text": 5})",
             R"({"text": null, "result": [{"word": "a", "start": 0, "end": 1}]})",
             R"({"partial": "hello"})",
             "{\"text\": \"\xff\xfe\"}",
         }) {
        EXPECT_EQ(VoskResultReader::readFinal(json, 0, {0, 1}), std::nullopt) << json;
    }
    for (const char* json : {"", "{}", R"({"partial": 3})", R"({"partial": null})",
                             R"({"text": "hello"})", "[\"partial\"]"}) {
        EXPECT_EQ(VoskResultReader::readPartial(json, {0, 1}), std::nullopt) << json;
    }
}

// --- the recogniser's clock against the time line -------------------------------------------

TEST(VoskTimelineTest, FirstBufferBeginsAStreamTimedFromItsSample) {
    VoskTimeline timeline(rate);
    EXPECT_FALSE(timeline.started());
    EXPECT_FALSE(timeline.breaks(at(10)));
    EXPECT_EQ(timeline.place(at(10), 1600), (VoskTimeline::Placement{true, 0, 0}));
    timeline.fed(1600);
    EXPECT_DOUBLE_EQ(timeline.offset(), 10.0);
    EXPECT_DOUBLE_EQ(timeline.now(), 10.1);
}

TEST(VoskTimelineTest, SmallGapsAreFilledAndOverlapsSkipped) {
    VoskTimeline timeline(rate);
    timeline.place(0, 1600);
    timeline.fed(1600);

    EXPECT_FALSE(timeline.breaks(1700));
    EXPECT_EQ(timeline.place(1700, 1600), (VoskTimeline::Placement{false, 100, 0}));
    timeline.fed(100 + 1600);
    EXPECT_DOUBLE_EQ(timeline.now(), 3300 / rate);

    EXPECT_EQ(timeline.place(3200, 1600), (VoskTimeline::Placement{false, 0, 100}));
    timeline.fed(1500);
    EXPECT_EQ(timeline.place(4000, 500), (VoskTimeline::Placement{false, 0, 500}));
    EXPECT_DOUBLE_EQ(timeline.now(), 4800 / rate);
    EXPECT_DOUBLE_EQ(timeline.offset(), 0.0);
}

TEST(VoskTimelineTest, GapBeyondATenthOfASecondBeginsANewStream) {
    VoskTimeline timeline(rate);
    timeline.place(0, 1600);
    timeline.fed(1600);
    EXPECT_FALSE(timeline.breaks(1600 + 1600));
    EXPECT_TRUE(timeline.breaks(1600 + 1601));
    EXPECT_TRUE(timeline.breaks(at(60)));
    EXPECT_TRUE(timeline.breaks(-1601 + 1600)); // back in time as well

    // Vosk keeps counting across the new stream: 0.1 s was fed, so its 0.6 s is 0.5 s in.
    EXPECT_EQ(timeline.place(at(60), 1600), (VoskTimeline::Placement{true, 0, 0}));
    EXPECT_DOUBLE_EQ(0.6 + timeline.offset(), 60.5);
    timeline.fed(1600);
    EXPECT_DOUBLE_EQ(timeline.now(), 60.1);
}

// --- finding and opening libvosk.so ---------------------------------------------------------

TEST(VoskLibraryTest, LooksInTheNamedFileThenBesideTheExecutableThenTheSystem) {
    EXPECT_EQ(VoskLibrary::searchPaths("/opt/vosk/libvosk.so", "/usr/local/bin"),
              (std::vector<std::string>{"/opt/vosk/libvosk.so", "/usr/local/lib/ambrel/libvosk.so",
                                        "/usr/local/lib/libvosk.so", "libvosk.so"}));
    EXPECT_EQ(VoskLibrary::searchPaths("", "/x/build/bin"),
              (std::vector<std::string>{"/x/build/lib/ambrel/libvosk.so", "/x/build/lib/libvosk.so",
                                        "libvosk.so"}));
    EXPECT_EQ(VoskLibrary::searchPaths("", ""), (std::vector<std::string>{"libvosk.so"}));
}

TEST(VoskLibraryTest, OpeningFailsWithTheReasonForEachPlace) {
    const TemporaryFolder folder;
    folder.write("libvosk.so", "not a library");
    try {
        VoskLibrary::open(
            {"/nonexistent/libvosk.so", (folder / "libvosk.so").string(), "libm.so.6"});
        FAIL() << "opened";
    } catch (const std::runtime_error& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("/nonexistent/libvosk.so"), std::string::npos) << message;
        EXPECT_NE(message.find((folder / "libvosk.so").string()), std::string::npos) << message;
        EXPECT_NE(message.find("libm.so.6: lacks vosk_model_new"), std::string::npos) << message;
    }
    EXPECT_THROW(VoskLibrary::open({}), std::runtime_error);
}

TEST(VoskLibraryTest, SharedIsAbsentAndSaysSoWhenNoLibraryLoads) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const ScopedEnvironment variable("AMBREL_VOSK_LIBRARY", "/nonexistent/libvosk.so");
            std::string notices;
            core::Log::setSink(
                [&notices](std::string_view, core::LogLevel level, std::string_view message) {
                    if (level == core::LogLevel::notice) {
                        notices += message;
                    }
                });
            const bool absent = VoskLibrary::shared() == nullptr;
            const bool said = notices.find("not available") != std::string::npos &&
                              notices.find("/nonexistent/libvosk.so") != std::string::npos;
            std::_Exit(absent && said ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// With the libvosk.so the build fetched.
class VoskBuildLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(buildLibrary)) {
            GTEST_SKIP() << buildLibrary << " is absent; scripts/lib/fetch-vosk puts it there";
        }
        static const auto opened = VoskLibrary::open({buildLibrary});
        library = opened.get();
    }

    const VoskLibrary* library = nullptr;
};

TEST_F(VoskBuildLibraryTest, OpensWithEveryEntryPoint) {
    EXPECT_EQ(library->path(), buildLibrary);
    EXPECT_NE(library->modelNew, nullptr);
    EXPECT_NE(library->modelFree, nullptr);
    EXPECT_NE(library->recognizerNew, nullptr);
    EXPECT_NE(library->recognizerFree, nullptr);
    EXPECT_NE(library->recognizerSetWords, nullptr);
    EXPECT_NE(library->recognizerAcceptWaveformF, nullptr);
    EXPECT_NE(library->recognizerResult, nullptr);
    EXPECT_NE(library->recognizerPartialResult, nullptr);
    EXPECT_NE(library->recognizerFinalResult, nullptr);
    EXPECT_NE(library->recognizerReset, nullptr);
    EXPECT_NE(library->setLogLevel, nullptr);
}

TEST_F(VoskBuildLibraryTest, SharedOpensTheFileNamedInTheEnvironment) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const ScopedEnvironment variable("AMBREL_VOSK_LIBRARY", buildLibrary);
            const auto* shared = VoskLibrary::shared();
            std::_Exit(shared != nullptr && shared->path() == buildLibrary ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(VoskBuildLibraryTest, FolderWithoutAModelIsAClearErrorNamingIt) {
    const TemporaryFolder folder;
    const auto empty = folder / "empty";
    std::filesystem::create_directory(empty);
    // Looks like a model at first sight, and is not one.
    const auto fake = folder / "fake";
    std::filesystem::create_directories(fake / "am");
    std::filesystem::create_directories(fake / "conf");
    std::filesystem::create_directories(fake / "graph");
    folder.write("fake/am/final.mdl", "garbage");
    folder.write("fake/conf/mfcc.conf", "--sample-frequency=16000\n");
    folder.write("fake/conf/model.conf", "--min-active=200\n");
    folder.write("fake/graph/HCLG.fst", "junk");
    folder.write("fake/graph/words.txt", "a 1\n");

    for (const auto& path : {empty, fake, folder / "missing"}) {
        ::testing::internal::CaptureStderr();
        try {
            VoskModel::shared(*library, path);
            ADD_FAILURE() << "loaded " << path;
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find(path.string()), std::string::npos)
                << error.what();
        }
        // The library's own complaints stay out of the app's output.
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << path;
        EXPECT_THROW(VoskRecognizer(library, path, "en-US"), std::runtime_error) << path;
    }
}

// --- a stand-in library the tests script ----------------------------------------------------

// Plays a native recogniser: records what it is given and answers from a script.
struct FakeRecognizer {
    std::mutex mutex;
    std::vector<float> fed;
    int resets = 0;
    int finalCalls = 0;
    bool words = false;
    // An utterance ends once this many samples have been fed; result() gives the next text.
    std::deque<std::size_t> endpoints;
    std::deque<std::string> results;
    // The partial text once at least that many samples have been fed.
    std::map<std::size_t, std::string> partials;
    std::string finalResult = R"({"text": ""})";
    int status = 0; // -1 to fail
    std::function<void()> onAccept;
    std::string returned; // keeps the last answer alive, as the library does
};

struct FakeModels {
    std::atomic<int> loads = 0;
    FakeRecognizer* next = nullptr;
};

FakeModels& fakeModels() {
    static FakeModels models;
    return models;
}

FakeRecognizer& fakeOf(VoskLibrary::NativeRecognizer* native) {
    return *reinterpret_cast<FakeRecognizer*>(native);
}

const char* answer(FakeRecognizer& fake, std::string text) {
    fake.returned = std::move(text);
    return fake.returned.c_str();
}

// Models are folders holding a file named "fake-model".
const VoskLibrary& fakeLibrary() {
    static const VoskLibrary* const library = [] {
        auto* made = new VoskLibrary;
        static int model = 0;
        made->modelNew = [](const char* path) -> VoskLibrary::NativeModel* {
            if (!std::filesystem::exists(std::filesystem::path(path) / "fake-model")) {
                return nullptr;
            }
            ++fakeModels().loads;
            return reinterpret_cast<VoskLibrary::NativeModel*>(&model);
        };
        made->modelFree = [](VoskLibrary::NativeModel*) {};
        made->recognizerNew = [](VoskLibrary::NativeModel*, float sampleRate) {
            EXPECT_EQ(sampleRate, 16000.0f);
            return reinterpret_cast<VoskLibrary::NativeRecognizer*>(fakeModels().next);
        };
        made->recognizerFree = [](VoskLibrary::NativeRecognizer*) {};
        made->recognizerSetWords = [](VoskLibrary::NativeRecognizer* native, int words) {
            fakeOf(native).words = words != 0;
        };
        made->recognizerAcceptWaveformF = [](VoskLibrary::NativeRecognizer* native,
                                             const float* data, int length) {
            auto& fake = fakeOf(native);
            if (fake.onAccept) {
                fake.onAccept();
            }
            const std::lock_guard lock(fake.mutex);
            fake.fed.insert(fake.fed.end(), data, data + length);
            if (fake.status != 0) {
                return fake.status;
            }
            if (!fake.endpoints.empty() && fake.fed.size() >= fake.endpoints.front()) {
                fake.endpoints.pop_front();
                return 1;
            }
            return 0;
        };
        made->recognizerResult = [](VoskLibrary::NativeRecognizer* native) {
            auto& fake = fakeOf(native);
            const std::lock_guard lock(fake.mutex);
            std::string text = R"({"text": ""})";
            if (!fake.results.empty()) {
                text = fake.results.front();
                fake.results.pop_front();
            }
            return answer(fake, text);
        };
        made->recognizerPartialResult = [](VoskLibrary::NativeRecognizer* native) {
            auto& fake = fakeOf(native);
            const std::lock_guard lock(fake.mutex);
            std::string text;
            for (const auto& [count, partial] : fake.partials) {
                if (fake.fed.size() >= count) {
                    text = partial;
                }
            }
            return answer(fake, "{\"partial\": \"" + text + "\"}");
        };
        made->recognizerFinalResult = [](VoskLibrary::NativeRecognizer* native) {
            auto& fake = fakeOf(native);
            const std::lock_guard lock(fake.mutex);
            ++fake.finalCalls;
            return answer(fake, fake.finalResult);
        };
        made->recognizerReset = [](VoskLibrary::NativeRecognizer* native) {
            auto& fake = fakeOf(native);
            const std::lock_guard lock(fake.mutex);
            ++fake.resets;
        };
        made->setLogLevel = [](int) {};
        return made;
    }();
    return *library;
}

// What a recogniser reported, waited for without sleeping.
class Reports {
public:
    Recognizer::Callbacks callbacks() {
        return {[this](RecognizerResult result) { add([&] { results.push_back(result); }); },
                [this](const std::string& error) { add([&] { failure = error; }); },
                [this] { add([&] { finished = true; }); }};
    }

    bool waitUntilDone() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20),
                                 [this] { return finished || failure; });
    }

    std::vector<RecognizerResult> results;
    std::optional<std::string> failure;
    bool finished = false;

private:
    void add(const std::function<void()>& change) {
        {
            const std::lock_guard lock(mutex_);
            change();
        }
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
};

class VoskStandInTest : public ::testing::Test {
protected:
    std::unique_ptr<VoskRecognizer> make() {
        fakeModels().next = &fake;
        auto recognizer = std::make_unique<VoskRecognizer>(&fakeLibrary(), model.path(), "en-US");
        fakeModels().next = nullptr;
        return recognizer;
    }

    // Feeds the buffers, finishes and waits for the end.
    void run(const std::vector<std::pair<AudioBuffer, std::int64_t>>& buffers) {
        auto recognizer = make();
        recognizer->start(reports.callbacks());
        for (const auto& [buffer, start] : buffers) {
            recognizer->feed(buffer, start);
        }
        recognizer->finish();
        ASSERT_TRUE(reports.waitUntilDone());
    }

    void SetUp() override { model.write("fake-model", ""); }

    TemporaryFolder model;
    FakeRecognizer fake;
    Reports reports;
};

TEST_F(VoskStandInTest, ModelIsLoadedOncePerFolderAndAFailedLoadIsTriedAgain) {
    const int before = fakeModels().loads;
    const auto first = VoskModel::shared(fakeLibrary(), model.path());
    EXPECT_EQ(VoskModel::shared(fakeLibrary(), model.path() / "." / ""), first);
    EXPECT_EQ(fakeModels().loads, before + 1);

    const TemporaryFolder other;
    EXPECT_THROW(VoskModel::shared(fakeLibrary(), other.path()), std::runtime_error);
    other.write("fake-model", "");
    const auto second = VoskModel::shared(fakeLibrary(), other.path());
    EXPECT_NE(second, first);
    EXPECT_EQ(fakeModels().loads, before + 2);
}

TEST_F(VoskStandInTest, WithoutTheLibraryTheEngineIsNotAvailable) {
    try {
        VoskRecognizer recognizer(nullptr, model.path(), "en-US");
        FAIL() << "made a recogniser";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("not available"), std::string::npos)
            << error.what();
    }
}

TEST_F(VoskStandInTest, TakesMonoFloatAt16kHzOnThe16BitScaleAndAsksForWords) {
    const auto recognizer = make();
    EXPECT_EQ(recognizer->format(), (StreamFormat{16000, true, 1}));
    EXPECT_TRUE(fake.words);

    run({{AudioBuffer{rate, 1, {0.5f, -1.0f, 0.0f, 0.25f}}, 0}});
    EXPECT_TRUE(reports.finished);
    EXPECT_EQ(fake.fed, (std::vector<float>{16384.0f, -32768.0f, 0.0f, 8192.0f}));
}

TEST_F(VoskStandInTest, PartialsAreVolatileAndReportedWhenTheyChange) {
    fake.partials = {{1600, "hello"}, {4800, "hello world"}};
    fake.finalResult = finalJson({{"hello", 0.05, 0.15}, {"world", 0.15, 0.3}});
    run({{audio(0.1), at(2)}, {audio(0.1), at(2.1)}, {audio(0.1), at(2.2)}});

    ASSERT_EQ(reports.results.size(), 3u);
    EXPECT_EQ(reports.results[0].runs,
              (std::vector<TextRun>{{"hello", std::nullopt, std::nullopt}}));
    EXPECT_FALSE(reports.results[0].isFinal);
    EXPECT_NEAR(reports.results[0].range.first, 2.0, 1e-9);
    EXPECT_NEAR(reports.results[0].range.second, 2.1, 1e-9);
    EXPECT_EQ(reports.results[1].text(), "hello world");
    EXPECT_NEAR(reports.results[1].range.second, 2.3, 1e-9);
    EXPECT_TRUE(reports.results[2].isFinal);
}

TEST_F(VoskStandInTest, UtteranceEndGivesAFinalWithWordsOnTheTimeLine) {
    fake.endpoints = {3200};
    fake.results = {finalJson({{"hello", 0.5, 0.9}, {"there", 0.9, 1.6}})};
    fake.partials = {{1600, "hello"}, {3201, ""}};
    run({{audio(0.1), at(10)}, {audio(0.1), at(10.1)}, {audio(0.1), at(10.2)}});

    ASSERT_EQ(reports.results.size(), 2u);
    EXPECT_FALSE(reports.results[0].isFinal);
    const auto& final = reports.results[1];
    EXPECT_TRUE(final.isFinal);
    EXPECT_EQ(final.text(), "hello there");
    expectTimes(final, {{10.5, 10.9}, {10.9, 11.6}});
    EXPECT_EQ(final.runs[0].confidence, 0.9);
    EXPECT_TRUE(reports.finished);
    EXPECT_EQ(fake.finalCalls, 1); // the rest of the audio was flushed at the end
}

TEST_F(VoskStandInTest, JumpInTheTimeLineEndsTheUtteranceAndTimesTheNextFromTheNewPosition) {
    fake.finalResult = finalJson({{"before", 0.2, 0.8}});
    // Vosk's clock runs on over the reset: the second utterance starts at its 1.0 s.
    fake.endpoints = {frames(1.5)};
    fake.results = {finalJson({{"after", 1.1, 1.4}})};
    run({{audio(1.0), at(5)}, {audio(0.5), at(60)}});

    ASSERT_EQ(reports.results.size(), 2u);
    EXPECT_EQ(reports.results[0].text(), "before");
    expectTimes(reports.results[0], {{5.2, 5.8}});
    EXPECT_EQ(reports.results[1].text(), "after");
    expectTimes(reports.results[1], {{60.1, 60.4}});
    EXPECT_EQ(fake.resets, 1);
    EXPECT_EQ(fake.fed.size(), frames(1.5)); // no silence for a jump
}

TEST_F(VoskStandInTest, ShortGapIsBridgedWithSilenceAndKeepsTheClock) {
    fake.endpoints = {frames(0.25)};
    fake.results = {finalJson({{"late", 0.2, 0.25}})};
    run({{audio(0.1), at(3)}, {audio(0.1), at(3.15)}});

    ASSERT_EQ(fake.fed.size(), frames(0.25));
    EXPECT_EQ(fake.fed[frames(0.12)], 0.0f);
    EXPECT_EQ(fake.resets, 0);
    ASSERT_EQ(reports.results.size(), 1u);
    expectTimes(reports.results[0], {{3.2, 3.25}});
}

TEST_F(VoskStandInTest, FinishReportsTheLastWordsThenFinishes) {
    fake.finalResult = finalJson({{"goodbye", 0.1, 0.6}});
    run({{audio(0.5), 0}});

    ASSERT_EQ(reports.results.size(), 1u);
    EXPECT_TRUE(reports.results[0].isFinal);
    EXPECT_EQ(reports.results[0].text(), "goodbye");
    EXPECT_TRUE(reports.finished);
    EXPECT_FALSE(reports.failure);
}

TEST_F(VoskStandInTest, EmptyFinalIsNotReportedButTakesBackAPartial) {
    run({{audio(0.2), 0}});
    EXPECT_TRUE(reports.results.empty());
    EXPECT_EQ(fake.finalCalls, 1);

    FakeRecognizer second;
    second.partials = {{0, "hmm"}};
    fakeModels().next = &second;
    Reports secondReports; // outlives the recogniser, whose thread reports into it
    VoskRecognizer recognizer(&fakeLibrary(), model.path(), "en-US");
    recognizer.start(secondReports.callbacks());
    recognizer.feed(audio(0.2), 0);
    recognizer.finish();
    ASSERT_TRUE(secondReports.waitUntilDone());
    ASSERT_EQ(secondReports.results.size(), 2u);
    EXPECT_EQ(secondReports.results[0].text(), "hmm");
    EXPECT_FALSE(secondReports.results[1].isFinal);
    EXPECT_TRUE(secondReports.results[1].runs.empty());
}

TEST_F(VoskStandInTest, LibraryErrorOrWrongAudioIsAFailureAndNotAFinish) {
    fake.status = -1;
    run({{audio(0.1), 0}});
    ASSERT_TRUE(reports.failure);
    EXPECT_NE(reports.failure->find("en-US"), std::string::npos) << *reports.failure;
    EXPECT_FALSE(reports.finished);

    FakeRecognizer second;
    fakeModels().next = &second;
    Reports secondReports; // outlives the recogniser, whose thread reports into it
    VoskRecognizer recognizer(&fakeLibrary(), model.path(), "en-US");
    recognizer.start(secondReports.callbacks());
    recognizer.feed(AudioBuffer{44100, 2, std::vector<float>(882)}, 0);
    recognizer.finish();
    ASSERT_TRUE(secondReports.waitUntilDone());
    ASSERT_TRUE(secondReports.failure);
    EXPECT_NE(secondReports.failure->find("44100"), std::string::npos);
    EXPECT_TRUE(second.fed.empty());
}

TEST_F(VoskStandInTest, CancelStopsAtOnceWithoutAnotherCallback) {
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::once_flag once;
    fake.onAccept = [&] {
        std::call_once(once, [&] { entered.set_value(); });
        released.wait();
    };
    fake.endpoints = {1};
    fake.results = {finalJson({{"never", 0, 0.1}})};
    fake.finalResult = finalJson({{"never", 0, 0.1}});

    auto recognizer = make();
    recognizer->start(reports.callbacks());
    recognizer->feed(audio(1.0), 0);
    recognizer->finish();
    ASSERT_EQ(entered.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
    recognizer->cancel(); // while the library is busy: returns without waiting for it
    release.set_value();
    recognizer.reset();

    EXPECT_TRUE(reports.results.empty());
    EXPECT_FALSE(reports.finished);
    EXPECT_FALSE(reports.failure);
    EXPECT_LE(fake.fed.size(), 1600u); // nothing more after the chunk under way
}

} // namespace
