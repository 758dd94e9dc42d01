#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ambrel {

// Where a model's archive is and what it must look like once downloaded.
struct ModelArchive {
    std::string url;
    std::optional<std::uint64_t> size;
    std::optional<std::string> sha256; // hex, either case
    std::optional<std::string> md5;    // hex, either case; checked only without sha256

    bool operator==(const ModelArchive&) const = default;
};

} // namespace ambrel
