#include "core/EchoFilter.h"

#include <gtest/gtest.h>

using namespace ambrel::core;

namespace {

TranscriptLine line(SpeechSource source, std::string text) {
    return TranscriptLine{Uuid::random(), std::move(text), 0, source, std::nullopt};
}

TranscriptLine speakers(std::string text) {
    return line(SpeechSource::systemAudio, std::move(text));
}
TranscriptLine mic(std::string text) {
    return line(SpeechSource::microphone, std::move(text));
}

const EchoFilter::Decision kept{true, {}};
const EchoFilter::Decision dropped{false, {}};

} // namespace

TEST(EchoFilter, DropsMicrophoneLinesRepeatingRecentSystemAudio) {
    EchoFilter filter(10, 0.7);
    EXPECT_EQ(filter.check(speakers("We will ship on Friday."), 100), kept);
    EXPECT_EQ(filter.check(mic("we will ship on friday"), 110), dropped) << "exactly 10 s later";
    EXPECT_EQ(filter.check(mic("We will ship on Friday."), 110.001), kept)
        << "just past the window";

    EchoFilter shortTexts(10, 0.7);
    shortTexts.check(speakers("ok"), 0);
    EXPECT_EQ(shortTexts.check(mic("OK."), 1), dropped);
    shortTexts.check(speakers("yet"), 2);
    EXPECT_EQ(shortTexts.check(mic("yes"), 3), kept) << "short texts must be equal";

    EchoFilter containment(10, 0.7);
    containment.check(speakers("So and then we went home today"), 0);
    EXPECT_EQ(containment.check(mic("and then we went home"), 1), dropped);
}

TEST(EchoFilter, SimilarityDecidesAtTheThreshold) {
    EchoFilter filter(10, 0.7);
    filter.check(speakers("abcdefghij"), 0);
    EXPECT_EQ(filter.check(mic("abcdefgxyz"), 1), dropped) << "3 edits in 10: exactly 0.7";
    EXPECT_EQ(filter.check(mic("abcdefwxyz"), 1), kept) << "4 edits in 10: 0.6";
    EXPECT_EQ(filter.check(mic("abcdefgh"), 1), dropped) << "8 characters contained";
    EXPECT_EQ(filter.check(mic("bcdefgh"), 1), kept) << "7 characters need equality";
}

TEST(EchoFilter, SystemLinesWithdrawEarlierMicrophoneEchoes) {
    EchoFilter filter(10, 0.7);
    const auto first = mic("the quarterly numbers look fine");
    const auto second = mic("The quarterly numbers look fine!");
    const auto unrelated = mic("can you hear me");
    EXPECT_EQ(filter.check(first, 0), kept);
    EXPECT_EQ(filter.check(unrelated, 1), kept);
    EXPECT_EQ(filter.check(second, 2), kept) << "microphone lines are not compared with each other";

    const auto decision = filter.check(speakers("The quarterly numbers look fine."), 3);
    EXPECT_EQ(decision, (EchoFilter::Decision{true, {first.id, second.id}}));
    EXPECT_EQ(filter.check(speakers("The quarterly numbers look fine."), 4), kept)
        << "withdrawn entries are forgotten; system lines are not compared with each other";
}

TEST(EchoFilter, RemembersOnlyWhatItKeeps) {
    EchoFilter filter(10, 0.7);
    filter.check(speakers("please share your screen now"), 0);
    EXPECT_EQ(filter.check(mic("please share your screen now"), 1), dropped);
    EXPECT_EQ(filter.check(speakers("please share your screen now"), 2), kept)
        << "the dropped line is not remembered";

    // Punctuation never matches anything.
    EchoFilter punctuation(10, 0.7);
    punctuation.check(speakers("..."), 0);
    EXPECT_EQ(punctuation.check(mic("..."), 1), kept);
    EXPECT_EQ(punctuation.check(speakers("?!"), 2), kept);

    // Entries dated after the check stay; old ones are pruned whatever the source.
    EchoFilter clock(10, 0.7);
    clock.check(speakers("the meeting starts at nine"), 50);
    EXPECT_EQ(clock.check(mic("the meeting starts at nine"), 40), dropped);
    clock.check(mic("unrelated remark here"), 61);
    EXPECT_EQ(clock.check(mic("the meeting starts at nine"), 61), kept);
}

TEST(EchoFilter, TellsWhetherATextResemblesWhatTheSpeakersSaid) {
    EchoFilter filter(10, 0.7);
    filter.check(speakers("our budget for the next quarter is tight"), 100);
    filter.check(mic("can we talk about hiring"), 101);
    EXPECT_TRUE(filter.resemblesSystemAudio("budget for next quarter", "", 105, 0.5));
    EXPECT_TRUE(filter.resemblesSystemAudio("budge it for the nest quota", "", 105, 0.5))
        << "misheard";
    EXPECT_FALSE(filter.resemblesSystemAudio("can we talk about hiring", "", 105, 0.5))
        << "microphone lines are not what the speakers said";
    EXPECT_FALSE(filter.resemblesSystemAudio("please pass the salt", "", 105, 0.5));
    EXPECT_FALSE(filter.resemblesSystemAudio("budget for next quarter", "", 110.5, 0.5))
        << "out of the window";
    EXPECT_TRUE(filter.resemblesSystemAudio("the weather tonight", "and the weather tonight is",
                                            110.5, 0.5))
        << "what the speakers are saying now";
    EXPECT_FALSE(filter.resemblesSystemAudio("Quarter!", "next quarter", 110.5, 0.5))
        << "short texts must equal a whole line";
    EXPECT_TRUE(filter.resemblesSystemAudio("Quarter!", "quarter", 110.5, 0.5));
    EXPECT_FALSE(filter.resemblesSystemAudio("...", "...", 105, 0.5));
    // Asking changes nothing: the system line still withdraws a matching microphone line.
    const auto decision = filter.check(speakers("can we talk about hiring"), 106);
    EXPECT_EQ(decision.removeIDs.size(), 1u);
}
