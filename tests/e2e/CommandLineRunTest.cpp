// The ambrel executable as users run it: files transcribed from the command line, and live runs
// on the test sound server that are killed or stopped.
#include "IsolatedHome.h"
#include "ScopedEnvironment.h"
#include "Subprocess.h"
#include "audio/WavFile.h"
#include "core/SessionStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

using namespace ambrel;
using ambrel::testing::IsolatedHome;
using ambrel::testing::ScopedEnvironment;
using ambrel::testing::Subprocess;
using Clock = std::chrono::steady_clock;

namespace {

const std::string program = AMBREL_BINARY;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The caption text of "[09:05:03] words", or nothing for other lines.
std::optional<std::string> captionText(const std::string& line) {
    static const std::regex caption(R"(^\[[0-9:]+\] (.*)$)");
    std::smatch match;
    if (std::regex_match(line, match, caption)) {
        return match[1].str();
    }
    return std::nullopt;
}

std::vector<std::string> lineTexts(const core::SessionRecord& record) {
    std::vector<std::string> texts;
    for (const auto& line : record.lines) {
        texts.push_back(line.text);
    }
    return texts;
}

// A home of its own for each run: settings, models and caches stay out of the user's.
class CommandLineRunTest : public ::testing::Test {
protected:
    std::filesystem::path spoken(const std::string& name, const std::string& text) {
        const auto file = home.path() / (name + ".wav");
        EXPECT_EQ(Subprocess::run({"flite", "-voice", "slt", "-t", text, "-o", file.string()}), 0);
        return file;
    }
    std::filesystem::path silence(double seconds, const std::string& name = "silence") {
        const auto file = home.path() / (name + ".wav");
        EXPECT_EQ(Subprocess::run({"sox", "-n", "-r", "16000", "-c", "1", file.string(), "trim",
                                   "0", std::to_string(seconds)}),
                  0);
        return file;
    }

    IsolatedHome home;
};

} // namespace

TEST_F(CommandLineRunTest, TranscribeMakesOneSessionPerFileAndGoesOnAfterAFailure) {
    const auto first = spoken("first", "The train leaves at seven in the evening.");
    const auto plain = spoken("second", "Bring a warm coat and an umbrella.");
    // Another rate and two channels.
    const auto second = home.path() / "second-stereo.wav";
    ASSERT_EQ(Subprocess::run({"sox", plain.string(), "-r", "44100", "-c", "2", second.string()}),
              0);
    const auto folder = home.path() / "sessions";

    Subprocess run({program, "transcribe", "--folder", folder.string(), "--language", "en-US",
                    first.string(), (home.path() / "missing.wav").string(), second.string()});
    EXPECT_EQ(run.wait(), 1);
    EXPECT_NE(run.errors().find("missing.wav"), std::string::npos) << run.errors();
    std::vector<std::string> jsonFiles;
    for (const auto& line : linesOf(run.output())) {
        if (line.ends_with(".json")) {
            jsonFiles.push_back(line);
        }
    }
    ASSERT_EQ(jsonFiles.size(), 2u) << run.output();
    const core::SessionStore store(folder);
    const auto one = store.load(std::filesystem::path(jsonFiles[0]).stem().string());
    const auto two = store.load(std::filesystem::path(jsonFiles[1]).stem().string());
    EXPECT_NE(one.id, two.id);
    for (const auto* record : {&one, &two}) {
        ASSERT_EQ(record->lines.size(), 1u);
        EXPECT_TRUE(record->endedAt);
        EXPECT_EQ(record->languages, std::vector<std::string>{"en-US"});
        EXPECT_EQ(record->lines[0].source, core::SpeechSource::systemAudio);
    }
    EXPECT_NE(one.lines[0].text.find("seven"), std::string::npos) << one.lines[0].text;
    EXPECT_NE(two.lines[0].text.find("umbrella"), std::string::npos) << two.lines[0].text;
    // The caption went out before the file's path.
    EXPECT_NE(run.output().find("] " + one.lines[0].text + "\n"), std::string::npos);

    Subprocess unknown({program, "transcribe", "--folder", folder.string(), "--language", "xx-YY",
                        first.string()});
    EXPECT_EQ(unknown.wait(), 2);
    EXPECT_NE(unknown.errors().find("unknown recognition language xx-YY"), std::string::npos);

    // A real language whose model cannot be had (the list of models is out of reach) is a
    // failure of the run, told as such, not a usage error.
    const auto config = home.path() / "config/Ambrel";
    std::filesystem::create_directories(config);
    std::ofstream(config / "Ambrel.conf")
        << "[General]\nspeechModelCatalog=https://127.0.0.1:9/model-list.json\n";
    Subprocess missing({program, "transcribe", "--folder", folder.string(), "--language", "de-DE",
                        first.string()});
    EXPECT_EQ(missing.wait(), 1);
    EXPECT_NE(missing.errors().find("no speech model for de-DE is installed"), std::string::npos)
        << missing.errors();
    EXPECT_EQ(store.listSessions().size(), 2u);
}

// Needs the test sound server: PULSE_SERVER names it.
TEST_F(CommandLineRunTest, AKilledRunLeavesItsSavedLinesAndTermClosesTheSession) {
    if (std::getenv("PULSE_SERVER") == nullptr) {
        GTEST_SKIP() << "no test sound server";
    }
    // Half a minute of sentences with pauses, played on the default sink six times over.
    std::vector<std::string> join = {"sox"};
    for (const char* sentence : {"Good morning, and welcome to the weekly planning meeting.",
                                 "First we will look at the budget for the next quarter.",
                                 "The new office opens in March, two weeks later than planned.",
                                 "Please send your travel requests before Friday.",
                                 "Thank you all, that is everything for today."}) {
        join.push_back(spoken("s" + std::to_string(join.size()), sentence).string());
        join.push_back(silence(1.5, "pause" + std::to_string(join.size())).string());
    }
    const auto talk = home.path() / "talk.wav";
    join.push_back(talk.string());
    ASSERT_EQ(Subprocess::run(join), 0);
    // Played by one process, so that ending the test ends the sound (later tests listen too).
    const auto longTalk = home.path() / "long-talk.wav";
    ASSERT_EQ(Subprocess::run({"sox", talk.string(), longTalk.string(), "repeat", "5"}), 0);
    Subprocess player({"paplay", longTalk.string()});

    const auto folder = home.path() / "sessions";
    const core::SessionStore store(folder);
    {
        SCOPED_TRACE("SIGKILL");
        Subprocess listen({program, "listen", "--folder", folder.string()});
        // Caption lines with the moment they came out.
        std::vector<std::pair<std::string, Clock::time_point>> captions;
        const auto deadline = Clock::now() + std::chrono::seconds(90);
        while (captions.size() < 4 && Clock::now() < deadline && !listen.poll()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const auto lines = linesOf(listen.output());
            for (std::size_t i = captions.size(); i < lines.size(); ++i) {
                if (const auto text = captionText(lines[i])) {
                    captions.emplace_back(*text, Clock::now());
                }
            }
        }
        ASSERT_GE(captions.size(), 4u) << listen.output() << listen.errors();
        const auto killedAt = Clock::now();
        listen.kill(SIGKILL);
        EXPECT_EQ(listen.wait(), 128 + SIGKILL);

        const auto sessions = store.listSessions();
        ASSERT_EQ(sessions.size(), 1u);
        const auto record = store.load(sessions[0].id); // the file is whole
        EXPECT_FALSE(record.endedAt);
        const auto saved = lineTexts(record);
        int old = 0;
        for (const auto& [text, shownAt] : captions) {
            if (killedAt - shownAt > std::chrono::milliseconds(3200)) {
                EXPECT_NE(std::find(saved.begin(), saved.end(), text), saved.end()) << text;
                ++old;
            }
        }
        EXPECT_GE(old, 1) << "no line was old enough to have to be saved";

        // The next start of the engine closes the session where its last save left it.
        Subprocess next({program, "transcribe", "--folder", folder.string(), silence(1).string()});
        EXPECT_EQ(next.wait(), 0) << next.errors();
        const auto closed = store.load(sessions[0].id);
        ASSERT_TRUE(closed.endedAt);
        EXPECT_EQ(*closed.endedAt, closed.lastUpdated);
        EXPECT_EQ(lineTexts(closed), saved);
    }
    {
        SCOPED_TRACE("SIGTERM");
        Subprocess listen({program, "listen", "--folder", folder.string()});
        std::vector<std::string> captions;
        const auto deadline = Clock::now() + std::chrono::seconds(90);
        while (captions.size() < 2 && Clock::now() < deadline && !listen.poll()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            captions.clear();
            for (const auto& line : linesOf(listen.output())) {
                if (const auto text = captionText(line)) {
                    captions.push_back(*text);
                }
            }
        }
        ASSERT_GE(captions.size(), 2u) << listen.output() << listen.errors();
        listen.kill(SIGTERM);
        const auto stopping = Clock::now();
        EXPECT_EQ(listen.wait(), 0) << listen.errors();
        EXPECT_LT(Clock::now() - stopping, std::chrono::seconds(8));
        const auto output = linesOf(listen.output());
        ASSERT_FALSE(output.empty());
        const std::filesystem::path json = output.back();
        ASSERT_EQ(json.extension(), ".json") << listen.output();
        const auto record = store.load(json.stem().string());
        ASSERT_TRUE(record.endedAt);
        EXPECT_EQ(record.lastUpdated, *record.endedAt);
        const auto saved = lineTexts(record);
        for (const auto& line : output) {
            if (const auto text = captionText(line)) {
                EXPECT_NE(std::find(saved.begin(), saved.end(), *text), saved.end()) << *text;
            }
        }
    }
}

// Needs the test sound server. The speakers and the user talk at once, saying different things:
// every sentence of the user's must be kept, however unsure the recogniser is of it.
TEST_F(CommandLineRunTest, TheUsersOwnWordsAreKeptWhileTheSpeakersTalk) {
    if (std::getenv("PULSE_SERVER") == nullptr) {
        GTEST_SKIP() << "no test sound server";
    }
    const auto join = [&](const std::string& name, const std::vector<std::filesystem::path>& parts,
                          double pause, std::vector<std::pair<double, double>>* spans) {
        std::vector<std::string> command = {"sox"};
        double at = 0;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const auto rate = home.path() / (name + "-16k-" + std::to_string(i) + ".wav");
            EXPECT_EQ(Subprocess::run(
                          {"sox", parts[i].string(), "-r", "16000", "-c", "1", rate.string()}),
                      0);
            const double length = WavFile(rate).seconds();
            if (spans) {
                spans->emplace_back(at, at + length);
            }
            command.push_back(rate.string());
            command.push_back(silence(pause, name + "-pause").string());
            at += length + pause;
        }
        const auto file = home.path() / (name + ".wav");
        command.push_back(file.string());
        EXPECT_EQ(Subprocess::run(command), 0);
        return file;
    };
    std::vector<std::filesystem::path> speakers;
    for (const char* sentence : {"The quarterly report shows strong growth in every region.",
                                 "Our new product launches next month in three countries.",
                                 "Customer feedback has been very positive so far this year.",
                                 "We expect the team to grow by twenty people before summer."}) {
        speakers.push_back(spoken("speakers" + std::to_string(speakers.size()), sentence));
    }
    // The user's voice is espeak's: the recogniser is unsure of it, as of many a real voice.
    std::vector<std::filesystem::path> user;
    for (const char* sentence :
         {"Can you hear me clearly now?", "I will send the slides after lunch.",
          "Let us meet again on Thursday.", "Thanks, that sounds good."}) {
        const auto file = home.path() / ("user" + std::to_string(user.size()) + ".wav");
        EXPECT_EQ(Subprocess::run({"espeak-ng", "-w", file.string(), sentence}), 0);
        user.push_back(file);
    }
    std::vector<std::pair<double, double>> userSpans;
    const auto speakersFile = join("speakers", speakers, 1.0, nullptr);
    const auto userFile = join("user", user, 3.0, &userSpans);

    const auto folder = home.path() / "sessions";
    ScopedEnvironment log("AMBREL_LOG", "debug");
    Subprocess listen({program, "listen", "--folder", folder.string(), "--microphone", "on"});
    // Wait for the microphone to record (the log says so) and the recognisers to load.
    const auto ready = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < ready && !listen.poll() &&
           listen.errors().find("Recording microphone") == std::string::npos) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double playedAt =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    Subprocess speakersPlayer({"paplay", speakersFile.string()});
    Subprocess userPlayer({"paplay", "-d", "micfeed", userFile.string()});
    EXPECT_EQ(speakersPlayer.wait(), 0);
    EXPECT_EQ(userPlayer.wait(), 0);
    std::this_thread::sleep_for(std::chrono::seconds(3)); // the last words are decided
    listen.kill(SIGTERM);
    ASSERT_EQ(listen.wait(), 0) << listen.errors();
    EXPECT_EQ(listen.errors().find("likely echo"), std::string::npos) << listen.errors();

    const auto output = linesOf(listen.output());
    ASSERT_FALSE(output.empty()) << listen.errors();
    const auto record =
        core::SessionStore(folder).load(std::filesystem::path(output.back()).stem().string());
    std::size_t systemLines = 0;
    for (const auto& [from, to] : userSpans) {
        const bool heard =
            std::any_of(record.lines.begin(), record.lines.end(), [&](const auto& line) {
                return line.source == core::SpeechSource::microphone &&
                       line.start >= playedAt + from - 1.0 && line.start <= playedAt + to + 0.5;
            });
        EXPECT_TRUE(heard) << "the user's sentence at " << from << " s is missing";
    }
    for (const auto& line : record.lines) {
        systemLines += line.source == core::SpeechSource::systemAudio ? 1 : 0;
    }
    EXPECT_GE(systemLines, 3u) << "the speakers were heard too";
}

// A private server of its own, killed and started again under a running listen.
TEST_F(CommandLineRunTest, ListenTellsThatCaptureStoppedAndThatItResumed) {
    const auto serverFolder = home.path() / "pulse";
    const std::string startServer = AMBREL_SOURCE_DIR "/scripts/lib/pulse-test-server";
    ASSERT_EQ(Subprocess::run({startServer, "start", serverFolder.string()}), 0);
    ScopedEnvironment server("PULSE_SERVER", "unix:" + (serverFolder / "runtime/native").string());
    const auto folder = home.path() / "sessions";
    Subprocess listen({program, "listen", "--folder", folder.string()});
    // The child's standard error, as it comes: a real process on a real server.
    const auto waitForError = [&](const std::string& text) {
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (listen.errors().find(text) == std::string::npos && Clock::now() < deadline &&
               !listen.poll()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return listen.errors().find(text) != std::string::npos;
    };
    // Recording, as the server sees it.
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    for (bool recording = false; !recording && Clock::now() < deadline;) {
        Subprocess streams({"pactl", "list", "source-outputs"});
        streams.wait();
        recording = streams.output().find("Ambrel System Audio") != std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    std::ifstream pidFile(serverFolder / "pid");
    int serverPid = 0;
    pidFile >> serverPid;
    ASSERT_GT(serverPid, 0);
    ::kill(serverPid, SIGKILL);
    EXPECT_TRUE(waitForError("System audio failed")) << listen.errors();
    ASSERT_EQ(Subprocess::run({startServer, "start", serverFolder.string()}), 0);
    EXPECT_TRUE(waitForError("ambrel: System audio capture resumed\n")) << listen.errors();

    listen.kill(SIGTERM);
    EXPECT_EQ(listen.wait(), 0) << listen.errors();
    Subprocess::run({startServer, "stop", serverFolder.string()});
}
