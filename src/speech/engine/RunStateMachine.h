#pragma once

#include <optional>

namespace ambrel {

// Where a transcription run stands and what may happen to it next. The engine asks it before
// acting: a trigger the phase does not allow is refused and changes nothing.
class RunStateMachine {
public:
    enum class Phase {
        off,       // nothing runs
        preparing, // languages, models and permission are being settled, then pipelines start
        listening, // at least one source records
        paused,    // the session stays open; nothing records
        stopping,  // the pipelines finish what they heard; then off
        failed,    // nothing could start, or every source failed; the session may stay open
    };
    enum class Trigger {
        start,    // the user turns transcription on
        launched, // at least one pipeline started
        fail,     // nothing to run: no source, no language, no model, no pipeline left
        pause,
        resume,
        restart, // the options need other pipelines (or a failed run may try again)
        stop,    // the user turns transcription off
        stopped, // the pipelines of the stop have ended
    };

    // The table of transitions: the phase a trigger leads to, or none when it is not allowed.
    static std::optional<Phase> next(Phase from, Trigger trigger);

    Phase phase() const { return phase_; }
    bool is(Phase phase) const { return phase_ == phase; }
    bool allows(Trigger trigger) const { return next(phase_, trigger).has_value(); }
    // Moves on when the phase allows the trigger; false, changing nothing, when it does not.
    bool fire(Trigger trigger);

private:
    Phase phase_ = Phase::off;
};

} // namespace ambrel
