#pragma once

namespace ambrel::core {

// An absolute point in time: seconds since 1970-01-01T00:00:00Z.
using Instant = double;

} // namespace ambrel::core
