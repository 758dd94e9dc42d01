#pragma once

#include "ModelArchive.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>

namespace ambrel {

// Downloads a model archive, checks it and unpacks it into place. The download goes into a
// hidden partial file beside the destination and is continued by the next attempt after an
// interruption; the destination appears (or is replaced) only once complete. Installations of
// the same destination must not run at the same time. Failures throw ModelInstallError.
class ModelInstaller {
public:
    struct Limits {
        std::uint64_t unpackedBytes;
        std::chrono::seconds stall; // a download receiving nothing for this long fails
        // A download stops once it passes the archive's announced size, or this without one.
        std::uint64_t downloadBytes;
    };
    static constexpr Limits defaultLimits{std::uint64_t{4} << 30, std::chrono::seconds(30),
                                          std::uint64_t{4} << 30};

    // `progress` gets a rising fraction from 0 to 1 on the calling thread, at least every half
    // second while downloading, and 1 on success.
    static void install(const ModelArchive& archive, const std::filesystem::path& destination,
                        const std::function<void(double fraction)>& progress,
                        const std::atomic<bool>* cancelled = nullptr,
                        const Limits& limits = defaultLimits);

    // The partial download kept for `destination` between attempts; remove it to give up.
    static std::filesystem::path partialFile(const std::filesystem::path& destination);
};

} // namespace ambrel
