#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ambrel::core {

// The value of exactly `count` ASCII digits at `position`; absent if any is missing or not a digit.
inline std::optional<std::int64_t> asciiDigits(std::string_view text, std::size_t position,
                                               std::size_t count) {
    if (position > text.size() || count > text.size() - position) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (std::size_t i = position; i < position + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

} // namespace ambrel::core
