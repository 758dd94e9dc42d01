#pragma once

namespace ambrel::MenuBarIcon {

// What the tray icon shows.
enum class State { idle, listening, paused, downloading, error };

} // namespace ambrel::MenuBarIcon
