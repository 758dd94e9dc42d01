#include "RateLimiter.h"

namespace ambrel::core {

double RateLimiter::delay(Instant now) const {
    if (!lastDelivery) {
        return 0;
    }
    const double remaining = *lastDelivery + minInterval - now;
    return remaining >= 0 ? remaining : 0;
}

} // namespace ambrel::core
