#include "core/SaveThrottle.h"

#include <gtest/gtest.h>

#include <optional>

using namespace ambrel::core;

namespace {

// One step of a throttle's life: a change or a write at an instant, then the due date expected.
struct Step {
    enum { change, write } what;
    double at;
    std::optional<double> due;
};

void play(SaveThrottle throttle, const std::vector<Step>& steps) {
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const auto& step = steps[i];
        if (step.what == Step::change) {
            throttle.noteChange(step.at);
        } else {
            throttle.noteWrite(step.at);
        }
        EXPECT_EQ(throttle.dueDate(), step.due) << "after step " << i << " at " << step.at;
    }
}

} // namespace

TEST(SaveThrottle, WritesAfterAPauseOrAtTheDeadlineButNotTooOften) {
    EXPECT_EQ(SaveThrottle().dueDate(), std::nullopt);
    // One change: a second later.
    play({}, {{Step::change, 0, 1.0}});
    // Steady speech: the settle time keeps moving, the deadline rules.
    play({}, {{Step::change, 0, 1.0},
              {Step::change, 0.5, 1.5},
              {Step::change, 1.0, 2.0},
              {Step::change, 1.5, 2.5},
              {Step::change, 2.0, 3.0},
              {Step::change, 2.5, 3.0},
              {Step::change, 3.0, 3.0},
              {Step::write, 3.0, std::nullopt},
              {Step::change, 3.2, 4.2},
              {Step::change, 3.4, 4.4},
              {Step::write, 4.4, std::nullopt},
              {Step::change, 4.5, 5.5}});
    // A recent write only matters when its interval ends after the due date.
    SaveThrottle recent;
    recent.lastWrite = -0.2;
    play(recent, {{Step::change, 0, 1.0}});
    SaveThrottle eager;
    eager.quiet = 0.2;
    play(eager, {{Step::write, 0, std::nullopt},
                 {Step::change, 0.1, 1.0},
                 {Step::change, 0.9, 1.1},
                 {Step::write, 1.1, std::nullopt},
                 {Step::change, 5, 5.2}});
}
