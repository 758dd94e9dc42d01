#include "EngineHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sys/inotify.h>
#include <unistd.h>

using namespace ambrel;
using ambrel::testing::EngineHarness;
using core::SpeechSource;
using Strings = std::vector<std::string>;

namespace {

constexpr core::Instant t0 = 1741939500.0; // 2025-03-14 08:05:00 UTC

SpeechOptions both() {
    SpeechOptions options;
    options.systemAudio = true;
    options.microphone = true;
    return options;
}

SpeechOptions microphoneOnly() {
    SpeechOptions options;
    options.systemAudio = false;
    options.microphone = true;
    return options;
}

// Counts the session files that land in a folder (each atomic write ends with a rename).
class WriteCounter {
public:
    explicit WriteCounter(const std::filesystem::path& folder)
        : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        inotify_add_watch(fd_, folder.c_str(), IN_MOVED_TO);
    }
    ~WriteCounter() { close(fd_); }
    WriteCounter(const WriteCounter&) = delete;
    WriteCounter& operator=(const WriteCounter&) = delete;

    // JSON files written since the last call.
    int jsonWrites() {
        int count = 0;
        alignas(inotify_event) char buffer[4096];
        ssize_t length = 0;
        while ((length = read(fd_, buffer, sizeof buffer)) > 0) {
            for (char* at = buffer; at < buffer + length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                const std::string name = event->len > 0 ? event->name : "";
                if (name.ends_with(".json")) {
                    ++count;
                }
                at += sizeof(inotify_event) + event->len;
            }
        }
        return count;
    }

private:
    int fd_;
};

} // namespace

TEST(SpeechEngineTest, FinalsBecomeLinesInStartOrderInOneSession) {
    EngineHarness h;
    h.make(both());
    h.start();
    ASSERT_TRUE(h.status().is<TranscriptionStatus::Listening>());
    EXPECT_FALSE(h.status().currentSessionID); // nobody spoke yet
    EXPECT_TRUE(std::filesystem::is_empty(h.folder.path()));

    h.advance(6);
    h.system()->sendFinal("second", t0 + 5);
    h.microphone()->sendFinal("first", t0 + 4, 0.9, "fr-FR");
    h.microphone()->sendFinal("third", t0 + 5); // same start: after the earlier arrival
    h.system()->sendFinal("now", t0 + 100);     // a start after the handling time
    h.system()->sendFinal("", t0 + 6, 0.9, "de-DE");

    EXPECT_EQ(h.status().currentSessionID, "2025-03-14 08-05-00");
    EXPECT_EQ(h.status().currentSessionStartedAt, t0);
    EXPECT_EQ(h.status().currentLineCount, 4);
    EXPECT_EQ(h.status().detectedLanguage, "de-DE"); // an empty final still tells the language
    h.advance(1);
    const auto stored = h.stored("2025-03-14 08-05-00");
    ASSERT_TRUE(stored);
    EXPECT_EQ(h.lineTexts(*stored), (Strings{"first", "second", "third", "now"}));
    EXPECT_EQ(stored->lines[3].start, t0 + 6);
    EXPECT_EQ(stored->lines[0].source, SpeechSource::microphone);
    EXPECT_EQ(stored->startedAt, t0);
    EXPECT_EQ(stored->lastUpdated, t0 + 6);
    EXPECT_FALSE(stored->endedAt);
    EXPECT_EQ(stored->appVersion, "1.4.2");
    EXPECT_EQ(stored->languages, (Strings{"fr-FR", "en-US"}));
}

TEST(SpeechEngineTest, EventsOfAStoppedGenerationChangeNothing) {
    EngineHarness h;
    h.make();
    h.start();
    const auto old = h.system();
    old->sendFinal("before the pause", t0);
    h.engine->setPaused(true);
    h.settle();
    const auto liveCount = h.live.size();
    const auto statusCount = h.statuses.size();
    old->sendVolatile("late words");
    old->sendFinal("late line", t0, 0.9, "de-DE");
    EXPECT_EQ(h.live.size(), liveCount);
    EXPECT_EQ(h.statuses.size(), statusCount);
    EXPECT_EQ(h.status().currentLineCount, 1);
}

TEST(SpeechEngineTest, LikelyEchoesAreDroppedOnlyWhenEveryConditionHolds) {
    struct Case {
        const char* name;
        const char* text;
        double confidence;
        double secondsAfterSystemSpeech;
        core::PlaybackRoute route;
        bool dropped;
    };
    // The speakers are saying "the weather is fine today, said the man on the radio".
    const Case cases[] = {
        {"uncertain, like the speakers, soon after, on speakers", "the weather is fine", 0.69, 5.9,
         core::PlaybackRoute::speakers, true},
        {"a garbled echo", "whether is fined today", 0.3, 1, core::PlaybackRoute::speakers, true},
        {"confidence at the dictation engine's bound", "the weather is fine", 0.7, 5.9,
         core::PlaybackRoute::speakers, false},
        {"six seconds after", "the weather is fine", 0.3, 6.0, core::PlaybackRoute::speakers,
         false},
        {"on headphones", "the weather is fine", 0.3, 1, core::PlaybackRoute::headphones, false},
        {"the user's own words, however unsure", "please pass the salt", 0.12, 1,
         core::PlaybackRoute::speakers, false},
        {"a short word the speakers did not say", "yes", 0.1, 1, core::PlaybackRoute::speakers,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EngineHarness h;
        h.route = c.route;
        h.make(both());
        h.start();
        h.system()->sendVolatile("the weather is fine today said the man on the radio");
        h.advance(c.secondsAfterSystemSpeech);
        const auto published = h.live.size();
        h.microphone()->sendFinal(c.text, h.scheduler.now(), c.confidence);
        EXPECT_EQ(h.status().currentLineCount, c.dropped ? 0 : 1);
        const bool logged = std::any_of(h.logged.begin(), h.logged.end(), [](const auto& message) {
            return message.starts_with("Dropped a microphone line as likely echo: confidence ");
        });
        EXPECT_EQ(logged, c.dropped);
        EXPECT_EQ(h.live.size(), published + 1); // the live text is published all the same
    }

    // What the speakers said in recorded lines counts as much as what they are saying now; the
    // log tells the confidence and the length.
    EngineHarness recorded;
    recorded.route = core::PlaybackRoute::speakers;
    recorded.make(both());
    recorded.start();
    recorded.system()->sendFinal("our budget for the next quarter is tight", t0);
    recorded.advance(2);
    recorded.microphone()->sendFinal("budget for next quarter", recorded.scheduler.now(), 0.42);
    EXPECT_EQ(recorded.status().currentLineCount, 1);
    EXPECT_NE(std::find(recorded.logged.begin(), recorded.logged.end(),
                        "Dropped a microphone line as likely echo: confidence 0.42, 23 "
                        "characters"),
              recorded.logged.end());

    // With system audio turned off, system speech heard earlier no longer counts.
    EngineHarness h;
    h.route = core::PlaybackRoute::speakers;
    h.make(both());
    h.start();
    h.system()->sendFinal("the weather is fine today", t0);
    h.engine->setOptions(microphoneOnly());
    h.settle();
    ASSERT_EQ(h.system()->running, false);
    h.advance(1);
    h.microphone()->sendFinal("the weather is fine", h.scheduler.now(), 0.3);
    EXPECT_EQ(h.status().currentLineCount, 2);
}

TEST(SpeechEngineTest, TheEchoFilterDropsRepeatsAndWithdrawsLinesOnSpeakersOnly) {
    {
        SCOPED_TRACE("speakers");
        EngineHarness h;
        h.route = core::PlaybackRoute::speakers;
        h.make(both());
        h.start();
        h.system()->sendFinal("we will meet on tuesday at noon", t0);
        h.advance(1);
        h.microphone()->sendFinal("we will meet on tuesday at noon", t0 + 0.5, 0.9);
        EXPECT_EQ(h.status().currentLineCount, 1);
        EXPECT_NE(std::find(h.logged.begin(), h.logged.end(),
                            "Dropped a microphone line repeating system audio (echo): 31 "
                            "characters"),
                  h.logged.end());

        // A microphone line that the speakers turn out to have said is taken back.
        h.microphone()->sendFinal("see you all next week then", t0 + 1);
        EXPECT_EQ(h.liveTexts(),
                  (Strings{"we will meet on tuesday at noon", "see you all next week then"}));
        h.advance(1);
        h.system()->sendFinal("see you all next week then", t0 + 0.9);
        EXPECT_EQ(h.liveTexts(),
                  (Strings{"we will meet on tuesday at noon", "see you all next week then"}));
        EXPECT_EQ(h.live.back().lines[1].source, SpeechSource::systemAudio);
        EXPECT_NE(std::find(h.logged.begin(), h.logged.end(),
                            "Removed 1 microphone line(s) repeating system audio (echo)"),
                  h.logged.end());
        h.advance(1);
        const auto stored = h.stored(*h.status().currentSessionID);
        ASSERT_TRUE(stored);
        EXPECT_EQ(h.lineTexts(*stored),
                  (Strings{"we will meet on tuesday at noon", "see you all next week then"}));
        EXPECT_EQ(stored->lines[1].source, SpeechSource::systemAudio);
    }
    {
        SCOPED_TRACE("headphones");
        EngineHarness h;
        h.make(both());
        h.start();
        h.system()->sendFinal("we will meet on tuesday at noon", t0);
        h.microphone()->sendFinal("we will meet on tuesday at noon", t0 + 0.5, 0.9);
        EXPECT_EQ(h.status().currentLineCount, 2);
    }
}

TEST(SpeechEngineTest, LiveTextShowsTheNewestThreeLinesAndLabelsSourcesWhenBothRun) {
    EngineHarness h;
    h.make(both());
    h.start();
    h.system()->sendFinal("one", t0);
    h.microphone()->sendFinal("two", t0);
    h.system()->sendVolatile("three");
    h.microphone()->sendVolatile("four");
    EXPECT_EQ(h.liveTexts(), (Strings{"two", "three…", "four…"}));
    EXPECT_TRUE(h.live.back().showsSpeakers);
    h.system()->sendVolatile("");
    EXPECT_EQ(h.liveTexts(), (Strings{"one", "two", "four…"}));

    EngineHarness single;
    single.make();
    single.start();
    single.system()->sendVolatile("alone");
    EXPECT_FALSE(single.live.back().showsSpeakers);
}

TEST(SpeechEngineTest, ABurstOfLinesIsWrittenOnceAndAnnouncedTwiceASecondAtMost) {
    EngineHarness h;
    h.make();
    h.start();
    WriteCounter writes(h.folder.path());
    for (int i = 0; i < 10; ++i) {
        h.system()->sendFinal("line " + std::to_string(i), h.scheduler.now());
        h.advance(0.1);
    }
    const std::string id = *h.status().currentSessionID;
    // One second after the last line, not before.
    h.advance(0.89);
    h.engine->waitForWrites();
    EXPECT_EQ(writes.jsonWrites(), 0);
    h.advance(0.02);
    EXPECT_EQ(h.stored(id)->lines.size(), 10u);
    EXPECT_EQ(writes.jsonWrites(), 1);

    // Steady speech: written at least every three seconds, at most once a second.
    h.updates.clear();
    for (int i = 0; i < 40; ++i) {
        h.system()->sendFinal("more " + std::to_string(i), h.scheduler.now());
        h.advance(0.25);
    }
    h.engine->waitForWrites();
    const int steadyWrites = writes.jsonWrites();
    EXPECT_GE(steadyWrites, 3);
    EXPECT_LE(steadyWrites, 4);
    h.advance(0.5);
    ASSERT_FALSE(h.updates.empty());
    for (std::size_t i = 1; i < h.updates.size(); ++i) {
        EXPECT_GE(h.updates[i].first - h.updates[i - 1].first, 0.5 - 1e-9);
    }
    EXPECT_GE(h.updates.size(), 18u);
    // Each update carries the record as it was then.
    EXPECT_EQ(h.updates.back().second.lines.size(), 50u);
}

TEST(SpeechEngineTest, AFailedWriteIsShownUntilALaterWriteSucceeds) {
    EngineHarness h;
    const auto folder = h.folder.path() / "sessions";
    {
        std::ofstream blocker(folder); // a file where the folder should be
    }
    h.engine = SpeechEngine::create(folder, {}, h.scheduler, h.services());
    h.start();
    h.system()->sendFinal("kept in memory", t0);
    h.advance(1);
    h.engine->waitForWrites();
    h.settle();
    ASSERT_TRUE(h.status().lastSaveError);
    EXPECT_FALSE(h.status().lastSaveError->empty());

    std::filesystem::remove(folder);
    std::filesystem::create_directory(folder);
    h.system()->sendFinal("and written later", t0 + 1);
    h.advance(1);
    h.engine->waitForWrites();
    h.settle();
    EXPECT_FALSE(h.status().lastSaveError);
    const std::string id = *h.status().currentSessionID;
    EXPECT_EQ(core::SessionStore(folder).load(id).lines.size(), 2u);

    // The session ends while writes fail: its end and last line are written once they can be.
    std::filesystem::remove_all(folder);
    { std::ofstream blocker(folder); }
    h.system()->sendFinal("the last words", t0 + 2);
    h.engine->stopListening();
    h.settle();
    h.engine->waitForWrites();
    h.settle();
    EXPECT_TRUE(h.status().lastSaveError);
    std::filesystem::remove(folder);
    std::filesystem::create_directory(folder);
    h.advance(SpeechEngine::unsavedRetryInterval);
    h.engine->waitForWrites();
    h.settle();
    const auto ended = core::SessionStore(folder).load(id);
    EXPECT_EQ(ended.lines.size(), 3u);
    EXPECT_TRUE(ended.endedAt);
    EXPECT_FALSE(h.status().lastSaveError);
}

TEST(SpeechEngineTest, StoppingTurnsVolatileTextIntoLinesUnlessItIsALikelyEcho) {
    EngineHarness h;
    h.make(microphoneOnly());
    h.start();
    h.microphone()->sendFinal("hello", t0, 0.9, "en-GB");
    h.advance(2);
    h.microphone()->sendVolatile("half a");
    h.advance(1);
    h.microphone()->sendVolatile("half a sentence");
    const std::string id = *h.status().currentSessionID;
    h.engine->stopListening();
    EXPECT_TRUE(h.status().is<TranscriptionStatus::Listening>()); // until the pipelines stop
    h.settle();
    EXPECT_TRUE(h.status().is<TranscriptionStatus::Idle>());
    EXPECT_EQ(h.microphone()->stopTimeout, 2.5);
    EXPECT_TRUE(h.live.back().lines.empty());
    const auto stored = h.stored(id);
    ASSERT_TRUE(stored);
    ASSERT_EQ(stored->lines.size(), 2u);
    EXPECT_EQ(stored->lines[1].text, "half a sentence");
    EXPECT_EQ(stored->lines[1].start, t0 + 2);
    EXPECT_EQ(stored->lines[1].language, "en-GB");
    EXPECT_EQ(stored->endedAt, t0 + 3);
    EXPECT_EQ(stored->lastUpdated, t0 + 3);
    EXPECT_FALSE(h.status().currentSessionID);
    // The closed record is announced at once.
    EXPECT_EQ(h.updates.back().second.endedAt, t0 + 3);

    // Unsure microphone words that the speakers are saying are dropped at the stop; unsure
    // words of the user's own are kept.
    const auto stopWith = [](const std::string& microphoneWords) {
        EngineHarness e;
        e.route = core::PlaybackRoute::speakers;
        e.make(both());
        e.start();
        e.system()->sendVolatile("breaking news tonight from the capital");
        e.microphone()->sendVolatile(microphoneWords, 0.3);
        e.engine->stopListening();
        e.settle();
        return e.updates.empty() ? Strings{} : e.lineTexts(e.updates.back().second);
    };
    EXPECT_EQ(stopWith("news tonight from the"),
              (Strings{"breaking news tonight from the capital"}));
    EXPECT_EQ(stopWith("can you turn that down"),
              (Strings{"breaking news tonight from the capital", "can you turn that down"}));
}

TEST(SpeechEngineTest, PausesAndResumesLeaveMarkersOnlyInAnOpenSession) {
    EngineHarness h;
    h.make();
    h.start();
    h.engine->setPaused(true);
    h.settle();
    EXPECT_TRUE(h.status().is<TranscriptionStatus::Paused>());
    EXPECT_FALSE(h.system()->running);
    h.engine->setPaused(false);
    h.settle();
    EXPECT_TRUE(h.status().is<TranscriptionStatus::Listening>());
    EXPECT_FALSE(h.status().currentSessionID);
    EXPECT_TRUE(std::filesystem::is_empty(h.folder.path()));

    h.advance(1);
    h.system()->sendFinal("before", t0 + 1);
    const std::string id = *h.status().currentSessionID;
    h.advance(1);
    h.engine->setPaused(true);
    h.settle();
    h.advance(10);
    h.engine->setPaused(false);
    h.settle();
    EXPECT_EQ(h.pipelines.size(), 3u);
    h.system()->sendFinal("after", t0 + 12);
    EXPECT_EQ(h.status().currentSessionID, id);
    h.engine->stopListening();
    h.settle();
    const auto stored = h.stored(id);
    ASSERT_TRUE(stored);
    EXPECT_EQ(h.lineTexts(*stored), (Strings{"before", "after"}));
    EXPECT_EQ(stored->markers, (std::vector<core::Marker>{{core::MarkerKind::paused, t0 + 2},
                                                          {core::MarkerKind::resumed, t0 + 12}}));
    EXPECT_EQ(stored->startedAt, t0);
}
