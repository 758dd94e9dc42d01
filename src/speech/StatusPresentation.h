#pragma once

#include "MenuBarIcon.h"
#include "TranscriptionStatus.h"
#include "core/Instant.h"

#include <optional>
#include <string>

namespace ambrel {

// What the tray shows for a status at a given time: the icon, one status line, and a detail
// line with warnings or the last save error.
struct StatusPresentation {
    MenuBarIcon::State icon = MenuBarIcon::State::idle;
    std::string text;
    std::optional<std::string> detail;

    StatusPresentation(const TranscriptionStatus& status, core::Instant now);

    bool operator==(const StatusPresentation&) const = default;
};

} // namespace ambrel
