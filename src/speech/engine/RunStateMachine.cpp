#include "RunStateMachine.h"

namespace ambrel {

std::optional<RunStateMachine::Phase> RunStateMachine::next(Phase from, Trigger trigger) {
    using enum Phase;
    using enum Trigger;
    switch (from) {
    case off:
        return trigger == start ? std::optional(preparing) : std::nullopt;
    case preparing:
        if (trigger == launched) {
            return listening;
        }
        [[fallthrough]]; // otherwise as while listening
    case listening:
        switch (trigger) {
        case fail:
            return failed;
        case pause:
            return paused;
        case restart:
            return preparing;
        case stop:
            return stopping;
        default:
            return std::nullopt;
        }
    case paused:
        switch (trigger) {
        case resume:
            return preparing;
        case stop:
            return stopping;
        default:
            return std::nullopt;
        }
    case stopping:
        return trigger == stopped ? std::optional(off) : std::nullopt;
    case failed:
        switch (trigger) {
        case start:
        case restart:
            return preparing;
        case launched: // a source started after another had failed during the same launch
            return listening;
        case stop:
            return off;
        default:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

bool RunStateMachine::fire(Trigger trigger) {
    const auto to = next(phase_, trigger);
    if (to) {
        phase_ = *to;
    }
    return to.has_value();
}

} // namespace ambrel
