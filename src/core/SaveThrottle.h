#pragma once

#include "Instant.h"

#include <optional>

namespace ambrel::core {

// When the open session should next be written: soon after speech pauses, never later than
// `maxLatency` after the first unsaved change, never sooner than `minInterval` after the last
// write began. It holds no timer; the owner arms one for dueDate().
struct SaveThrottle {
    double quiet = 1.0;
    double maxLatency = 3.0;
    double minInterval = 1.0;
    std::optional<Instant> firstUnsavedChange;
    std::optional<Instant> lastChange;
    std::optional<Instant> lastWrite;

    void noteChange(Instant at);
    // Absent when nothing is unsaved.
    std::optional<Instant> dueDate() const;
    void noteWrite(Instant at);

    bool operator==(const SaveThrottle&) const = default;
};

} // namespace ambrel::core
