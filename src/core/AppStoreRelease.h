#pragma once

#include "AppVersion.h"
#include "Instant.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ambrel::core {

// The newest release of a store-distributed copy, read from the store's lookup answer, with
// the staged rollout that decides whether an installation is offered it yet. Pure: the caller
// fetches the lookup address and hands the body to parse().
struct AppStoreRelease {
    AppVersion version;
    std::int64_t trackID = 0;
    std::optional<Instant> releaseDate;
    std::optional<AppVersion> minimumSystemVersion;

    // Share of installations offered the release, by whole days since it came out.
    static constexpr std::array<double, 8> rollout{0.0, 0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1.0};
    // Answers larger than this are not the store's.
    static constexpr std::size_t maximumAnswerSize = 1024 * 1024;

    static std::optional<std::string> lookupURL(std::string_view bundleID,
                                                std::optional<std::string_view> country);

    // Absent for anything that is not a usable answer; never throws.
    static std::optional<AppStoreRelease> parse(std::string_view body);

    // `rolloutPosition` is the installation's fixed place in [0, 1).
    bool isUpdate(const AppVersion& current, const AppVersion& system, Instant now,
                  double rolloutPosition) const;

    std::optional<std::string> appStorePage() const;

    bool operator==(const AppStoreRelease&) const = default;
};

} // namespace ambrel::core
