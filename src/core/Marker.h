#pragma once

#include "Instant.h"
#include "MarkerKind.h"

namespace ambrel::core {

// A pause or resume point in a session's timeline.
struct Marker {
    MarkerKind kind = MarkerKind::paused;
    Instant date = 0;

    bool operator==(const Marker&) const = default;
};

} // namespace ambrel::core
