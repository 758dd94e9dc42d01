#include "speech/engine/RunStateMachine.h"

#include <gtest/gtest.h>

#include <set>

using namespace ambrel;
using Phase = RunStateMachine::Phase;
using Trigger = RunStateMachine::Trigger;

namespace {

const std::vector<Phase> phases = {Phase::off,    Phase::preparing, Phase::listening,
                                   Phase::paused, Phase::stopping,  Phase::failed};
const std::vector<Trigger> triggers = {Trigger::start, Trigger::launched, Trigger::fail,
                                       Trigger::pause, Trigger::resume,   Trigger::restart,
                                       Trigger::stop,  Trigger::stopped};

} // namespace

TEST(RunStateMachine, EveryRunCanEndAndAStopIsNeverInterrupted) {
    for (const auto phase : phases) {
        // Whatever happens, the user can turn transcription off and get there.
        std::set<Phase> reached{phase};
        for (bool grew = true; grew;) {
            grew = false;
            for (const auto from : std::set<Phase>(reached)) {
                for (const auto trigger : triggers) {
                    if (const auto to = RunStateMachine::next(from, trigger)) {
                        grew = reached.insert(*to).second || grew;
                    }
                }
            }
        }
        EXPECT_TRUE(reached.contains(Phase::off)) << static_cast<int>(phase);
        const auto stopped = RunStateMachine::next(phase, Trigger::stop);
        EXPECT_TRUE(phase == Phase::off || phase == Phase::stopping || stopped == Phase::stopping ||
                    stopped == Phase::off)
            << static_cast<int>(phase);
    }
    // While stopping, only the end of the stop counts: no pause, no restart, no new start.
    for (const auto trigger : triggers) {
        EXPECT_EQ(RunStateMachine::next(Phase::stopping, trigger).has_value(),
                  trigger == Trigger::stopped);
    }
}

TEST(RunStateMachine, FollowsARunThroughPausesFailuresAndRestarts) {
    RunStateMachine run;
    EXPECT_FALSE(run.fire(Trigger::pause)) << "nothing to pause";
    EXPECT_FALSE(run.fire(Trigger::stop)) << "nothing to stop";
    ASSERT_TRUE(run.fire(Trigger::start));
    EXPECT_FALSE(run.fire(Trigger::start)) << "one run at a time";
    EXPECT_TRUE(run.fire(Trigger::pause)) << "pausing while preparing abandons the start";
    EXPECT_FALSE(run.fire(Trigger::restart)) << "options wait for the resume";
    EXPECT_TRUE(run.fire(Trigger::resume));
    EXPECT_TRUE(run.is(Phase::preparing));
    EXPECT_TRUE(run.fire(Trigger::launched));
    EXPECT_FALSE(run.fire(Trigger::resume)) << "not paused";
    EXPECT_TRUE(run.fire(Trigger::fail)) << "the last source failed";
    EXPECT_FALSE(run.fire(Trigger::pause)) << "a failed run does not pause";
    EXPECT_TRUE(run.fire(Trigger::restart)) << "new options try again";
    EXPECT_TRUE(run.fire(Trigger::launched));
    EXPECT_TRUE(run.fire(Trigger::stop));
    EXPECT_FALSE(run.fire(Trigger::pause));
    EXPECT_TRUE(run.is(Phase::stopping));
    EXPECT_TRUE(run.fire(Trigger::stopped));
    EXPECT_TRUE(run.is(Phase::off));
    // A failed run is turned off at once: there is nothing to stop.
    ASSERT_TRUE(run.fire(Trigger::start));
    ASSERT_TRUE(run.fire(Trigger::fail));
    EXPECT_TRUE(run.fire(Trigger::stop));
    EXPECT_TRUE(run.is(Phase::off));
}
