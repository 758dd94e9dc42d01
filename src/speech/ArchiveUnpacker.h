#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

namespace ambrel {

// Unpacks zip and tar archives (plain or compressed) from untrusted sources. Refuses absolute
// paths, ".." components, links leading out of the unpacked tree, devices and pipes, and more
// than a set number of unpacked bytes, counted as they come by the lengths the files get (holes
// and lengths that headers claim included). Failures throw std::runtime_error with a short
// message; what was unpacked so far stays for the caller to remove.
class ArchiveUnpacker {
public:
    static constexpr std::uint64_t defaultMaximumBytes = std::uint64_t{4} << 30;

    // Unpacks `archive` into the empty folder `folder` and returns where the contents are: the
    // single top-level folder when every entry lies under one, else `folder`. `progress` gets the
    // fraction of the archive read so far and may answer false to stop; absent then.
    static std::optional<std::filesystem::path>
    unpack(const std::filesystem::path& archive, const std::filesystem::path& folder,
           std::uint64_t maximumBytes = defaultMaximumBytes,
           const std::function<bool(double fraction)>& progress = {});
};

} // namespace ambrel
