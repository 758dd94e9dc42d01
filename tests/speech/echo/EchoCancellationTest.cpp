#include "speech/echo/EchoCancellation.h"

#include "RecordedSpeech.h"
#include "SyntheticVoice.h"
#include "speech/echo/SpeexEchoCanceller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <utility>

using namespace ambrel;
using namespace ambrel::testing;

namespace {

constexpr int rate = SpeexEchoCanceller::processingRate;
constexpr std::size_t frame = rate / 100;

// Near-end level minus what is left of it, after the first `settle` seconds.
double reduction(const std::vector<float>& before, const std::vector<float>& after, double settle) {
    const auto from = static_cast<std::size_t>(settle * rate);
    return levelOf(before, from, before.size()) - levelOf(after, from, after.size());
}

// A fractional delay that moves from `from` to `to` seconds over the signal, as when the two
// sound cards' clocks differ.
std::vector<float> driftingEcho(const std::vector<float>& signal, double from, double to,
                                double decibels) {
    const auto gain = static_cast<float>(std::pow(10.0, -decibels / 20.0));
    std::vector<float> out(signal.size(), 0.0f);
    for (std::size_t i = 0; i < signal.size(); ++i) {
        const double delay =
            (from + (to - from) * static_cast<double>(i) / static_cast<double>(signal.size())) *
            rate;
        const double at = static_cast<double>(i) - delay;
        if (at < 0) {
            continue;
        }
        const auto whole = static_cast<std::size_t>(at);
        const double part = at - static_cast<double>(whole);
        const float next = whole + 1 < signal.size() ? signal[whole + 1] : 0.0f;
        out[i] = gain * static_cast<float>((1 - part) * signal[whole] + part * next);
    }
    return out;
}

std::vector<float> mixed(std::vector<float> a, const std::vector<float>& b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        a[i] += b[i];
    }
    return a;
}

// Both capture threads played in turns on a virtual clock: every 20 ms the speakers' buffer
// (48 kHz stereo, as a monitor delivers it) and the microphone's (16 kHz mono).
struct Run {
    std::vector<float> out;
    std::vector<float> in; // the microphone as it came out when passed through
};

// `referenceLate` says how much later than the microphone's the speakers' buffer comes.
Run play(EchoCancellation& echo, double& now, const std::vector<float>& far,
         const std::vector<float>& microphone, const std::function<bool(double)>& referencePlays,
         const std::function<double(double)>& referenceLate = {}) {
    Run run;
    constexpr std::size_t step = 2 * frame;
    for (std::size_t at = 0; at + step <= microphone.size(); at += step) {
        now += 0.02;
        if (referencePlays(now)) {
            AudioBuffer speakers{48000, 2, {}};
            for (std::size_t i = at; i < at + step; ++i) {
                for (int copy = 0; copy < 6; ++copy) { // three times the rate, two channels
                    speakers.samples.push_back(far[i]);
                }
            }
            const double late = referenceLate ? referenceLate(now) : 0;
            now += late;
            echo.reference(speakers);
            now -= late;
        }
        AudioBuffer heard{static_cast<double>(rate), 1,
                          std::vector<float>(microphone.begin() + static_cast<long>(at),
                                             microphone.begin() + static_cast<long>(at + step))};
        if (auto out = echo.microphone(heard)) {
            run.out.insert(run.out.end(), out->samples.begin(), out->samples.end());
        }
    }
    return run;
}

EchoCancellation makeEcho(double& now, bool enabled = true) {
    return EchoCancellation(
        std::make_unique<SpeexEchoCanceller>(), [&now] { return now; }, enabled);
}

} // namespace

TEST(SpeexEchoCancellerTest, RemovesAnEchoAndLeavesTheNearEnd) {
    const auto far = recordedSpeech();
    if (far.empty()) {
        GTEST_SKIP() << "pocketsphinx-testdata is not installed";
    }
    // A room: the direct sound 10 dB down after 120 ms and a weaker reflection after it.
    const auto echo = mixed(delayedEcho(far, rate, 0.12, 10), delayedEcho(far, rate, 0.15, 22));
    // The user: other sentences, from the tenth second on, once the filter has heard the
    // speakers a while.
    std::vector<float> near(far.size(), 0.0f);
    const auto talkFrom = static_cast<std::size_t>(10 * rate);
    for (std::size_t i = talkFrom; i < near.size(); ++i) {
        near[i] = 0.7f * far[(i + 13 * rate) % far.size()];
    }
    auto cancel = [&far](const std::vector<float>& microphone) {
        SpeexEchoCanceller canceller;
        std::vector<float> out = microphone;
        for (std::size_t at = 0; at + frame <= out.size(); at += frame) {
            canceller.analyzeReference(std::span(far).subspan(at, frame));
            canceller.process(std::span(out).subspan(at, frame), 0);
        }
        return out;
    };
    const auto talking = [&](const std::vector<float>& samples) {
        return levelOf(samples, talkFrom, samples.size());
    };
    const auto echoOnly = cancel(echo);
    EXPECT_GT(levelOf(echo, 4 * rate, talkFrom) - levelOf(echoOnly, 4 * rate, talkFrom), 20);
    // Without an echo (headphones) the voice comes through: the suppressor takes about 2 dB off
    // it, which a recogniser does not notice; a cut would take ten times that.
    const auto nearOnly = cancel(near);
    EXPECT_LT(std::abs(talking(near) - talking(nearOnly)), 3);
    // Both talking: the voice keeps its level, where a suppressor of whole frames would have
    // cut it.
    const auto both = cancel(mixed(echo, near));
    EXPECT_LT(std::abs(talking(both) - talking(nearOnly)), 2);

    SpeexEchoCanceller canceller;
    std::vector<float> wrong(frame + 1);
    EXPECT_THROW(canceller.analyzeReference(wrong), std::invalid_argument);
    EXPECT_THROW(canceller.process(wrong, 0), std::invalid_argument);
}

TEST(EchoCancellationTest, CancelsADelayedEchoAcrossThreadsTimes) {
    const auto far = syntheticVoice(30, rate, 3);
    const auto microphone = delayedEcho(far, rate, 0.25, 8);
    double now = 100;
    auto echo = makeEcho(now);
    const auto run = play(echo, now, far, microphone, [](double) { return true; });
    // Frames wait for the reference of their echo, no longer.
    ASSERT_LE(run.out.size(), microphone.size());
    ASSERT_GE(run.out.size(), microphone.size() - rate / 2);
    EXPECT_GT(reduction(microphone, run.out, 15), 20);
    // While the canceller learns the echo path, the speakers' sound is turned down instead,
    // under a steady floor that starts gently.
    const auto learning = static_cast<std::size_t>(1.0 * rate);
    const auto learnt = static_cast<std::size_t>(2.5 * rate);
    EXPECT_LT(levelOf(run.out, learning, learnt), ComfortNoise::defaultLevel + 1);
    EXPECT_LT(levelOf(run.out, 0, frame), ComfortNoise::defaultLevel - 20);
    const auto figures = echo.figures();
    // The levels show the lag beyond what the times say.
    EXPECT_NEAR(figures.lag, 0.25, 0.03);
    EXPECT_LE(figures.passedFrames, 3u); // until the resampler gives out the first reference
    EXPECT_EQ(figures.droppedReferenceFrames, 0u);
}

TEST(EchoCancellationTest, FollowsALatencyThatDriftsAndJumps) {
    auto far = recordedSpeech();
    if (far.empty()) {
        GTEST_SKIP() << "pocketsphinx-testdata is not installed";
    }
    far.insert(far.end(), far.begin(), far.end());
    // The two sound cards' clocks differ by 100 ppm; halfway the server changes its buffering.
    const auto half = far.size() / 2;
    auto microphone = driftingEcho(far, 0.08, 0.0855, 6);
    const auto after = driftingEcho(far, 0.2, 0.2055, 6);
    std::copy(after.begin() + static_cast<long>(half), after.end(),
              microphone.begin() + static_cast<long>(half));
    double now = 0;
    auto echo = makeEcho(now);
    const auto run = play(echo, now, far, microphone, [](double) { return true; });
    // The filter unlearns the old path and learns the new one within a quarter of a minute.
    EXPECT_GT(reduction(microphone, run.out, static_cast<double>(half) / rate + 14), 15);
    EXPECT_NEAR(echo.figures().lag, 0.2, 0.03);

    // A step the filter cannot reach across, as when the sound moves to a device with more
    // latency: once the lag has moved, rather than unlearn slowly with the echo coming through,
    // it learns afresh with the microphone turned down.
    const auto once = recordedSpeech();
    auto stepped = delayedEcho(once, rate, 0.1, 6);
    const auto later = delayedEcho(once, rate, 0.6, 6);
    const auto step = once.size() / 2;
    std::copy(later.begin() + static_cast<long>(step), later.end(),
              stepped.begin() + static_cast<long>(step));
    now = 0;
    auto relearning = makeEcho(now);
    const auto out = play(relearning, now, once, stepped, [](double) { return true; }).out;
    const auto from = step + static_cast<std::size_t>(7 * rate);
    const auto to = from + static_cast<std::size_t>(2 * rate);
    EXPECT_NEAR(relearning.figures().lag, 0.6, 0.04);
    EXPECT_GT(levelOf(stepped, from, to) - levelOf(out, from, to), 20);
}

TEST(EchoCancellationTest, FeedsOneReferenceFrameForEachMicrophoneFrameWhileTimesWobble) {
    // Counts the reference frames that go in before each microphone frame: a frame more or
    // less shifts the echo within the filter, which then has to learn it anew.
    struct CountingCanceller : SpeexEchoCanceller {
        std::vector<int> fed;
        int since = 0;
        void analyzeReference(std::span<const float> frame) override {
            ++since;
            SpeexEchoCanceller::analyzeReference(frame);
        }
        void process(std::span<float> frame, int delayMilliseconds) override {
            fed.push_back(std::exchange(since, 0));
            SpeexEchoCanceller::process(frame, delayMilliseconds);
        }
    };
    const auto far = syntheticVoice(40, rate, 9);
    const auto microphone = delayedEcho(far, rate, 0.2, 8);
    // The speakers' buffers come up to 10 ms early or late, at random, around a few ms that
    // wander slowly; each reference frame is due just as its microphone frame starts, on the
    // edge between two.
    std::mt19937 random(3);
    std::uniform_real_distribution<double> jitter(-0.01, 0.01);
    const auto late = [&](double t) {
        return 0.003 * std::sin(t * 2 * std::numbers::pi / 5) + jitter(random);
    };
    auto counting = std::make_unique<CountingCanceller>();
    const auto& fed = counting->fed;
    double now = 0;
    EchoCancellation echo(
        std::move(counting), [&now] { return now; }, true);
    play(
        echo, now, far, microphone, [](double) { return true; }, late);
    // Once the lag is found, five seconds in.
    ASSERT_GT(fed.size(), 3500u);
    EXPECT_EQ(std::count(fed.begin() + 500, fed.end(), 1), fed.end() - fed.begin() - 500);
}

TEST(EchoCancellationTest, PassesTheMicrophoneThroughWhileTheReferenceIsMissing) {
    const auto far = syntheticVoice(40, rate, 5);
    // The speakers play for the first and last 15 s; the user talks in the middle.
    auto heard = delayedEcho(far, rate, 0.1, 8);
    auto near = syntheticVoice(40, rate, 6, 0.3f);
    for (std::size_t i = 0; i < near.size(); ++i) {
        if (i >= 15 * rate && i < 25 * rate) {
            heard[i] = 0;
        } else {
            near[i] = 0;
        }
    }
    const auto microphone = mixed(heard, near);
    double now = 0;
    auto echo = makeEcho(now);
    const auto plays = [](double t) { return t < 15 || t > 25; };
    const auto run = play(echo, now, far, microphone, plays);
    ASSERT_GE(run.out.size(), microphone.size() - rate / 2);

    // From the moment the reference is a while gone, the microphone comes out untouched (until
    // shortly before it comes back: the frames waiting for it then are cancelled).
    for (std::size_t i = 16 * rate; i < 24 * rate; ++i) {
        ASSERT_EQ(run.out[i], microphone[i]) << i;
    }
    EXPECT_GT(echo.figures().passedFrames, 900u);
    // Once it is back, the echo goes again.
    const std::size_t from = 30 * rate;
    EXPECT_GT(levelOf(microphone, from, microphone.size()) - levelOf(run.out, from, run.out.size()),
              15);
}

TEST(EchoCancellationTest, TurnedOffGivesEachBufferBackAndTurnedOnStartsAfresh) {
    double now = 0;
    auto echo = makeEcho(now, false);
    AudioBuffer stereo{44100, 2, std::vector<float>(882, 0.1f)};
    now = 1;
    echo.reference(stereo);
    EXPECT_EQ(echo.microphone(stereo), stereo);
    EXPECT_EQ(echo.figures().cancelledFrames + echo.figures().passedFrames, 0u);
    // On, but with headphones on: the same.
    echo.setOverheard(false);
    echo.setEnabled(true);
    now = 2;
    echo.reference(stereo);
    EXPECT_EQ(echo.microphone(stereo), stereo);
    EXPECT_EQ(echo.figures().cancelledFrames + echo.figures().passedFrames, 0u);
    echo.setOverheard(true);

    EXPECT_TRUE(echo.isEnabled());
    // Half a frame waits for the rest; whole frames wait for a reference, a while at most. The
    // rate is the canceller's from now on.
    AudioBuffer half{static_cast<double>(rate), 1, std::vector<float>(frame / 2, 0.1f)};
    std::vector<float> out;
    int buffers = 0;
    while (out.empty()) {
        now += 0.005;
        ++buffers;
        if (const auto cleaned = echo.microphone(half)) {
            EXPECT_EQ(cleaned->sampleRate, rate);
            out = cleaned->samples;
        }
    }
    EXPECT_EQ(buffers, 2 * 32); // until a frame 0.3 s younger has come
    // No reference has come: nothing to cancel against.
    EXPECT_EQ(out, std::vector<float>(frame, 0.1f));
    EXPECT_EQ(echo.figures().passedFrames, 1u);
}

TEST(EchoCancellationTest, WithoutAnEchoTheUserIsMutedOnlyWhileTheLagIsSought) {
    // Headphones: the speakers' sound never reaches the microphone.
    const auto far = syntheticVoice(20, rate, 7);
    const auto near = syntheticVoice(20, rate, 8, 0.3f);
    double now = 0;
    auto echo = makeEcho(now);
    const auto run = play(echo, now, far, near, [](double) { return true; });
    ASSERT_GE(run.out.size(), near.size() - rate / 2);
    EXPECT_LT(std::abs(reduction(near, run.out, 8)), 3);
}
