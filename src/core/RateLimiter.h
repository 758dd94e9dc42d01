#pragma once

#include "Instant.h"

#include <optional>

namespace ambrel::core {

// Spaces deliveries at least `minInterval` apart; the first one may happen at once.
struct RateLimiter {
    double minInterval = 0.5;
    std::optional<Instant> lastDelivery;

    // Seconds to wait from `now` before the next delivery; never negative.
    double delay(Instant now) const;
    void noteDelivery(Instant at) { lastDelivery = at; }

    bool operator==(const RateLimiter&) const = default;
};

} // namespace ambrel::core
