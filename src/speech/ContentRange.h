#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ambrel {

// A Content-Range header of bytes (RFC 9110): "bytes 100-199/500", "bytes 100-199/*" for a
// length the server does not know, or "bytes */500" with a 416 answer.
struct ContentRange {
    std::optional<std::uint64_t> first;  // absent for "*/length"
    std::optional<std::uint64_t> last;   // inclusive; present with `first`
    std::optional<std::uint64_t> length; // of the whole document; absent for "/*"

    // Absent unless the value is well-formed and consistent: first <= last < length.
    static std::optional<ContentRange> parse(std::string_view value);

    bool operator==(const ContentRange&) const = default;
};

} // namespace ambrel
