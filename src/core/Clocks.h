#pragma once

#include "Instant.h"

#include <chrono>

// The system's clocks in the program's units. Code that tests drive takes a Scheduler instead.
namespace ambrel::core::Clocks {

// Wall-clock time.
inline Instant now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Seconds that only move forward, from an arbitrary start: for intervals and deadlines.
inline double monotonic() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace ambrel::core::Clocks
