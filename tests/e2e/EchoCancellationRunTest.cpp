// `ambrel listen` with the microphone on the test sound server, which hears the speakers as a
// laptop does: what "speakers" plays comes into "micfeed" later, quieter and with a little room.
#include "IsolatedHome.h"
#include "ScopedEnvironment.h"
#include "Subprocess.h"
#include "core/SessionStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

using namespace ambrel;
using ambrel::testing::IsolatedHome;
using ambrel::testing::ScopedEnvironment;
using ambrel::testing::Subprocess;

namespace {

const std::string program = AMBREL_BINARY;

std::vector<std::string> wordsOf(const std::string& text) {
    static const std::regex word("[a-z']+");
    std::string lower = text;
    for (auto& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::vector<std::string> words;
    for (auto it = std::sregex_iterator(lower.begin(), lower.end(), word);
         it != std::sregex_iterator(); ++it) {
        words.push_back(it->str());
    }
    return words;
}

double wordErrorRate(const std::vector<std::string>& reference,
                     const std::vector<std::string>& hypothesis) {
    std::vector<std::size_t> row(hypothesis.size() + 1);
    for (std::size_t j = 0; j < row.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= reference.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= hypothesis.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                               diagonal + (reference[i - 1] != hypothesis[j - 1] ? 1 : 0)});
            diagonal = above;
        }
    }
    return static_cast<double>(row.back()) / static_cast<double>(reference.size());
}

class EchoCancellationRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("PULSE_SERVER") == nullptr) {
            GTEST_SKIP() << "no test sound server";
        }
    }

    // Sentences one after the other with pauses, after `lead` seconds of silence.
    std::filesystem::path sentences(const std::string& name, const std::string& voice,
                                    const std::vector<std::string>& texts, double lead) {
        std::vector<std::string> join = {"sox", "-V1", silence(lead).string()};
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const auto spoken = home.path() / (name + std::to_string(i) + ".wav");
            EXPECT_EQ(
                Subprocess::run({"flite", "-voice", voice, "-t", texts[i], "-o", spoken.string()}),
                0);
            join.push_back(spoken.string());
            join.push_back(silence(1.2).string());
        }
        const auto path = home.path() / (name + ".wav");
        join.push_back(path.string());
        EXPECT_EQ(Subprocess::run(join), 0);
        return path;
    }
    std::filesystem::path silence(double seconds) {
        const auto path = home.path() / ("silence-" + std::to_string(seconds) + ".wav");
        EXPECT_EQ(Subprocess::run({"sox", "-n", "-r", "16000", "-c", "1", path.string(), "trim",
                                   "0", std::to_string(seconds)}),
                  0);
        return path;
    }

    struct Heard {
        std::vector<std::string> microphoneLines;
        std::string log;
    };
    // Plays `speakers` and `microphone` at once while `listen` records both sources.
    Heard listen(const std::filesystem::path& speakers, const std::filesystem::path& microphone) {
        const auto folder = home.path() / "sessions";
        const ScopedEnvironment debug("AMBREL_LOG", "debug");
        Subprocess run({program, "listen", "--folder", folder.string(), "--microphone", "on",
                        "--language", "en-US", "--echo-cancellation", "on"});
        // The microphone's pipeline starts after system audio's.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (run.errors().find("Recording microphone") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline && !run.poll()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        // The speakers first: their sound cannot reach the microphone before they play it.
        Subprocess played({"paplay", "-d", "speakers", speakers.string()});
        Subprocess heard({"paplay", "-d", "micfeed", microphone.string()});
        EXPECT_EQ(played.wait(), 0);
        EXPECT_EQ(heard.wait(), 0);
        std::this_thread::sleep_for(std::chrono::seconds(3)); // the last words are decided
        run.kill(SIGINT);
        EXPECT_EQ(run.wait(), 0) << run.errors();
        Heard result{{}, run.errors()};
        std::istringstream output(run.output());
        std::string last;
        for (std::string line; std::getline(output, line);) {
            last = line;
        }
        const std::filesystem::path json = last;
        EXPECT_EQ(json.extension(), ".json") << run.output();
        if (json.extension() == ".json") {
            for (const auto& line : core::SessionStore(folder).load(json.stem().string()).lines) {
                if (line.source == core::SpeechSource::microphone) {
                    result.microphoneLines.push_back(line.text);
                }
            }
        }
        std::filesystem::remove_all(folder);
        return result;
    }

    IsolatedHome home;
};

} // namespace

TEST_F(EchoCancellationRunTest, TheSpeakersLeaveNoMicrophoneLineAndTheUserIsUnderstood) {
    const auto speakers =
        sentences("a", "awb",
                  {"Good morning, and welcome to the weekly planning meeting.",
                   "First we will look at the budget for the next quarter.",
                   "The new office opens in March, two weeks later than planned."},
                  0.5);
    const std::vector<std::string> said = {
        "I called the bank this morning about the missing payment.",
        "They said the money should arrive within three working days."};
    // The user starts once the speakers have been heard alone for a while, as in a call.
    const auto user = sentences("b", "slt", said, 6.0);
    // A laptop's room: 150 ms later, 9 dB down, a little reverberation.
    const auto echo = home.path() / "echo.wav";
    ASSERT_EQ(Subprocess::run({"sox", "-V1", speakers.string(), echo.string(), "vol", "-9dB",
                               "reverb", "20", "50", "30", "pad", "0.15"}),
              0);
    {
        SCOPED_TRACE("echo only");
        const auto heard = listen(speakers, echo);
        EXPECT_TRUE(heard.microphoneLines.empty())
            << ::testing::PrintToString(heard.microphoneLines) << "\n"
            << heard.log;
        // Not even the text echo filter had anything to drop.
        EXPECT_EQ(heard.log.find("microphone line"), std::string::npos) << heard.log;
    }
    {
        SCOPED_TRACE("double talk");
        const auto both = home.path() / "both.wav";
        ASSERT_EQ(
            Subprocess::run({"sox", "-V1", "-m", echo.string(), user.string(), both.string()}), 0);
        const auto heard = listen(speakers, both);
        std::vector<std::string> reference, hypothesis;
        for (const auto& sentence : said) {
            const auto words = wordsOf(sentence);
            reference.insert(reference.end(), words.begin(), words.end());
        }
        for (const auto& line : heard.microphoneLines) {
            const auto words = wordsOf(line);
            hypothesis.insert(hypothesis.end(), words.begin(), words.end());
        }
        // Without cancellation the two voices mix into nonsense; this bound is generous.
        EXPECT_LT(wordErrorRate(reference, hypothesis), 0.9)
            << ::testing::PrintToString(heard.microphoneLines);
    }
}
