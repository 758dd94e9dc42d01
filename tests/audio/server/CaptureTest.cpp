// Capture against a real sound server: the private one the test run starts (PULSE_SERVER).
#include "AudioEnvelope.h"
#include "ScopedEnvironment.h"
#include "SoundServer.h"
#include "Subprocess.h"
#include "TemporaryFolder.h"
#include "audio/MicrophoneSource.h"
#include "audio/Permissions.h"
#include "audio/SystemAudioSource.h"
#include "audio/WavFile.h"
#include "core/EventLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <mutex>

using namespace ambrel;
using namespace ambrel::testing;

namespace {

// Collects what a source delivers; buffers arrive on the source's thread.
class Recorder {
public:
    AudioSource::BufferCallback callback() {
        return [this](AudioBuffer buffer) {
            const std::lock_guard lock(mutex_);
            rate_ = buffer.sampleRate;
            channels_ = buffer.channels;
            samples_.insert(samples_.end(), buffer.samples.begin(), buffer.samples.end());
            ++buffers_;
        };
    }
    void clear() {
        const std::lock_guard lock(mutex_);
        samples_.clear();
    }
    int buffers() const {
        const std::lock_guard lock(mutex_);
        return buffers_;
    }
    AudioEnvelope envelope() const {
        const std::lock_guard lock(mutex_);
        return AudioEnvelope::of(samples_, rate_, channels_);
    }
    double seconds() const {
        const std::lock_guard lock(mutex_);
        return channels_ > 0 ? static_cast<double>(samples_.size()) / channels_ / rate_ : 0;
    }

private:
    mutable std::mutex mutex_;
    std::vector<float> samples_;
    double rate_ = 0;
    int channels_ = 0;
    int buffers_ = 0;
};

AudioEnvelope envelopeOf(const std::filesystem::path& file) {
    WavFile wav(file);
    return AudioEnvelope::of(wav.readAll(), wav.sampleRate(), wav.channels());
}

// Plays the files (each into its sink) and runs the loop until they are done, plus a margin.
void play(core::EventLoop& loop,
          const std::vector<std::pair<std::string, std::filesystem::path>>& plays) {
    std::vector<std::unique_ptr<Subprocess>> players;
    for (const auto& [sink, file] : plays) {
        players.push_back(std::make_unique<Subprocess>(
            std::vector<std::string>{"paplay", "-d", sink, file.string()}));
    }
    const bool done = loop.runUntil(
        [&] {
            return std::all_of(players.begin(), players.end(),
                               [](auto& p) { return p->poll().has_value(); });
        },
        30);
    ASSERT_TRUE(done) << "paplay did not finish";
    for (auto& player : players) {
        EXPECT_EQ(player->wait(), 0) << player->errors();
    }
    loop.runFor(0.4);
}

class CaptureTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new TemporaryFolder();
        sentenceA = SoundServer::speak(
            folder->path(), "a",
            "The quarterly report is ready, and the numbers look better than expected.");
        sentenceB = SoundServer::speak(
            folder->path(), "b", "Hello? Can anybody hear me? I think my microphone works now.",
            "en-us+f3");
    }
    static void TearDownTestSuite() {
        delete folder;
        folder = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr) << "the test sound server is not running";
    }

    static inline TemporaryFolder* folder = nullptr;
    static inline std::filesystem::path sentenceA;
    static inline std::filesystem::path sentenceB;
    core::EventLoop loop;
    int starts = 0; // told on every start, even one that fails
};

} // namespace

TEST_F(CaptureTest, BothSourcesRecordTheirOwnSoundAtOnce) {
    Recorder systemRecording;
    Recorder microphoneRecording;
    SystemAudioSource system([this] { ++starts; });
    system.start(systemRecording.callback());
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(system.recordedSource(), "speakers.monitor");

    auto microphone = MicrophoneSource::create(core::MicrophoneSelection::automatic(), loop);
    std::vector<std::string> devices;
    microphone->onDeviceChange = [&](const auto& name, const auto&) {
        devices.push_back(name.value_or("-"));
    };
    microphone->start(microphoneRecording.callback());
    EXPECT_EQ(devices, std::vector<std::string>{"Virtual-Microphone"});
    loop.runFor(0.3);

    play(loop, {{"speakers", sentenceA}, {"micfeed", sentenceB}});
    system.stop();
    microphone->stop();

    const auto a = envelopeOf(sentenceA);
    const auto b = envelopeOf(sentenceB);
    const double systemOwn = systemRecording.envelope().bestMatch(a);
    const double systemOther = systemRecording.envelope().bestMatch(b);
    const double microphoneOwn = microphoneRecording.envelope().bestMatch(b);
    const double microphoneOther = microphoneRecording.envelope().bestMatch(a);
    RecordProperty("systemOwn", std::to_string(systemOwn));
    RecordProperty("microphoneOwn", std::to_string(microphoneOwn));
    EXPECT_GT(systemOwn, 0.9) << "other: " << systemOther;
    EXPECT_GT(microphoneOwn, 0.9) << "other: " << microphoneOther;
    EXPECT_LT(systemOther, 0.5);
    EXPECT_LT(microphoneOther, 0.5);
}

TEST_F(CaptureTest, TheMicrophoneFollowsTheDefaultSourceAndItsRemoval) {
    const auto sink =
        SoundServer::loadModule({"module-null-sink", "sink_name=micfeed2", "channels=1",
                                 "norewinds=1", "sink_properties=device.description=Second-Feed"});
    const auto remap = SoundServer::loadModule(
        {"module-remap-source", "master=micfeed2.monitor", "source_name=virtmic2",
         "channel_map=aux0", "source_properties=device.description=Second-Microphone"});
    Recorder recording;
    auto microphone = MicrophoneSource::create(core::MicrophoneSelection::automatic(), loop);
    microphone->start(recording.callback());
    EXPECT_EQ(microphone->deviceName(), "Virtual-Microphone");

    SoundServer::pactl({"set-default-source", "virtmic2"});
    EXPECT_TRUE(loop.runUntil([&] { return microphone->deviceName() == "Second-Microphone"; }, 5));
    // Recorded with the device's own channel map, not remapped by the server.
    const std::string outputs = SoundServer::pactl({"list", "source-outputs"});
    const auto ours = outputs.rfind("Channel Map:", outputs.find("\"Ambrel Microphone\""));
    ASSERT_NE(ours, std::string::npos) << outputs;
    EXPECT_EQ(outputs.substr(ours, 17), "Channel Map: aux0") << outputs;
    recording.clear();
    play(loop, {{"micfeed2", sentenceB}});
    EXPECT_GT(recording.envelope().bestMatch(envelopeOf(sentenceB)), 0.9);

    // The device goes away: back to the remaining one.
    SoundServer::pactl({"unload-module", remap});
    EXPECT_TRUE(loop.runUntil([&] { return microphone->deviceName() == "Virtual-Microphone"; }, 5));
    microphone->stop();
    SoundServer::pactl({"unload-module", sink});
    SoundServer::pactl({"set-default-source", "virtmic"});
}

TEST_F(CaptureTest, SystemAudioFollowsTheDefaultSinkAndNeverRecordsAMicrophone) {
    const auto sink = SoundServer::loadModule(
        {"module-null-sink", "sink_name=speakers2", "rate=44100", "channels=2", "norewinds=1",
         "sink_properties=device.description=Second-Speakers"});
    Recorder recording;
    SystemAudioSource system([this] { ++starts; });
    system.start(recording.callback());
    EXPECT_EQ(system.recordedSource(), "speakers.monitor");

    SoundServer::pactl({"set-default-sink", "speakers2"});
    EXPECT_TRUE(loop.runUntil([&] { return system.recordedSource() == "speakers2.monitor"; }, 5));
    recording.clear();
    play(loop, {{"speakers2", sentenceA}});
    EXPECT_GT(recording.envelope().bestMatch(envelopeOf(sentenceA)), 0.9);

    // The sink disappears; the server moves the stream to the default source, a microphone.
    SoundServer::pactl({"unload-module", sink});
    EXPECT_TRUE(loop.runUntil([&] { return system.recordedSource() == "speakers.monitor"; }, 5))
        << "recording " << system.recordedSource().value_or("nothing");
    loop.runFor(0.5);
    EXPECT_EQ(system.recordedSource(), "speakers.monitor");
    SoundServer::pactl({"set-default-sink", "speakers"});
}

TEST_F(CaptureTest, CaptureSurvivesAServerRestartAndAFrozenServer) {
    TemporaryFolder serverFolder;
    const auto address = SoundServer::startPrivate(serverFolder.path() / "pulse");
    ScopedEnvironment server("PULSE_SERVER", address);
    Recorder recording;
    std::mutex mutex;
    std::vector<std::string> interruptions;
    SystemAudioSource system([this] { ++starts; });
    system.start(recording.callback(), [&](const std::optional<AudioSourceError>& lost) {
        const std::lock_guard lock(mutex);
        interruptions.push_back(lost ? lost->message() : "resumed");
    });
    auto count = [&] {
        const std::lock_guard lock(mutex);
        return interruptions.size();
    };
    EXPECT_TRUE(loop.runUntil([&] { return recording.buffers() > 5; }, 5));

    const auto pid = std::stoi(serverFolder.read("pulse/pid"));
    ::kill(pid, SIGKILL);
    EXPECT_TRUE(loop.runUntil([&] { return count() >= 1; }, 5));
    SoundServer::startPrivate(serverFolder.path() / "pulse");
    EXPECT_TRUE(loop.runUntil([&] { return count() >= 2; }, 10));
    const int before = recording.buffers();
    EXPECT_TRUE(loop.runUntil([&] { return recording.buffers() > before + 5; }, 5))
        << "capture resumed";
    {
        const std::lock_guard lock(mutex);
        ASSERT_EQ(interruptions.size(), 2u);
        EXPECT_NE(
            interruptions[0].find("Lost the connection to the sound server (PulseAudio error"),
            std::string::npos)
            << interruptions[0];
        EXPECT_EQ(interruptions[1], "resumed");
    }

    // A server that stops answering without closing the connection.
    const auto frozen = std::stoi(serverFolder.read("pulse/pid"));
    ::kill(frozen, SIGSTOP);
    EXPECT_TRUE(loop.runUntil([&] { return count() >= 3; }, 8)) << "the watchdog noticed";
    ::kill(frozen, SIGCONT);
    EXPECT_TRUE(loop.runUntil([&] { return count() >= 4; }, 15))
        << "capture resumed after the freeze";
    system.stop();
    SoundServer::stopPrivate(serverFolder.path() / "pulse");
}

TEST_F(CaptureTest, WithoutAServerAStartFailsOrWaitsForTheServerAsAsked) {
    ScopedEnvironment server("PULSE_SERVER", "unix:/nonexistent/native");
    SystemAudioSource system([this] { ++starts; });
    try {
        system.start([](AudioBuffer) {});
        FAIL() << "started without a server";
    } catch (const AudioSourceError& error) {
        EXPECT_EQ(std::string(error.what()), "Couldn’t connect to the sound server for system "
                                             "audio (PulseAudio error 6: Connection refused)");
    }
    EXPECT_GE(starts, 1) << "asked, even though it failed";

    // The app's way: the server comes up after the start, and capture begins then.
    TemporaryFolder serverFolder;
    ScopedEnvironment later("PULSE_SERVER",
                            "unix:" + (serverFolder.path() / "pulse/runtime/native").string());
    Recorder recording;
    std::mutex mutex;
    std::vector<std::string> interruptions;
    SystemAudioSource waiting([] {}, true);
    waiting.start(recording.callback(), [&](const std::optional<AudioSourceError>& lost) {
        const std::lock_guard lock(mutex);
        interruptions.push_back(lost ? lost->message() : "resumed");
    });
    const auto told = [&](std::size_t count) {
        const std::lock_guard lock(mutex);
        return interruptions.size() >= count;
    };
    EXPECT_TRUE(told(1)) << "the wait is told at once";
    SoundServer::startPrivate(serverFolder.path() / "pulse");
    EXPECT_TRUE(loop.runUntil([&] { return told(2); }, 10));
    EXPECT_TRUE(loop.runUntil([&] { return recording.buffers() > 5; }, 5));
    {
        const std::lock_guard lock(mutex);
        ASSERT_EQ(interruptions.size(), 2u);
        EXPECT_NE(interruptions[0].find("not there yet"), std::string::npos) << interruptions[0];
        EXPECT_EQ(interruptions[1], "resumed");
    }
    waiting.stop();
    SoundServer::stopPrivate(serverFolder.path() / "pulse");
}

TEST_F(CaptureTest, TheProbeHelperAnswersWithinASecond) {
    for (const auto& [serverAddress, expected] : std::vector<std::pair<std::string, std::string>>{
             {std::getenv("PULSE_SERVER"), "systemAudio=allowed microphone=allowed\n"},
             {"unix:/nonexistent/native", "systemAudio=unknown microphone=notAsked\n"}}) {
        ScopedEnvironment server("PULSE_SERVER", serverAddress);
        const auto started = std::chrono::steady_clock::now();
        Subprocess probe({AMBREL_TAPPROBE});
        EXPECT_EQ(probe.wait(), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
        EXPECT_EQ(probe.output(), expected);
        EXPECT_EQ(probe.errors(), "");
    }
    const auto current = Permissions::parse(Permissions::runHelper(AMBREL_TAPPROBE), false);
    EXPECT_EQ(current,
              (Permissions::Current{Permissions::State::allowed, Permissions::State::allowed}));
}
