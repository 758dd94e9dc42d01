#include "SaveThrottle.h"

#include <algorithm>

namespace ambrel::core {

void SaveThrottle::noteChange(Instant at) {
    if (!firstUnsavedChange) {
        firstUnsavedChange = at;
    }
    lastChange = at;
}

std::optional<Instant> SaveThrottle::dueDate() const {
    if (!firstUnsavedChange || !lastChange) {
        return std::nullopt;
    }
    Instant due = std::min(*lastChange + quiet, *firstUnsavedChange + maxLatency);
    if (lastWrite && *lastWrite + minInterval >= due) {
        due = *lastWrite + minInterval;
    }
    return due;
}

void SaveThrottle::noteWrite(Instant at) {
    lastWrite = at;
    firstUnsavedChange.reset();
    lastChange.reset();
}

} // namespace ambrel::core
