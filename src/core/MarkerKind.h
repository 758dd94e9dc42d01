#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace ambrel::core {

// What happened at a marker in a session's timeline.
enum class MarkerKind {
    paused,
    resumed,
};

inline constexpr std::array<MarkerKind, 2> allMarkerKinds{MarkerKind::paused, MarkerKind::resumed};

constexpr std::string_view rawValue(MarkerKind kind) {
    return kind == MarkerKind::paused ? "paused" : "resumed";
}

constexpr std::optional<MarkerKind> markerKindFromRawValue(std::string_view text) {
    for (auto kind : allMarkerKinds) {
        if (rawValue(kind) == text) {
            return kind;
        }
    }
    return std::nullopt;
}

} // namespace ambrel::core
