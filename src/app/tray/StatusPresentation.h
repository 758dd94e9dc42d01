#pragma once

#include "MenuBarIcon.h"
#include "core/Instant.h"
#include "speech/engine/TranscriptionStatus.h"

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

    // A problem of the engine's in the interface language.
    static std::string describe(const RunProblem& problem);

    bool operator==(const StatusPresentation&) const = default;
};

} // namespace ambrel
