#pragma once

namespace ambrel::TitledWindows {

// Whether a window with a title bar is on screen: one the user works in. Frameless ones do not
// count: the captions, and on XEmbed trays the tray icon itself, which is a window of its own.
// Nor does a window marked as standing in for the tray: it is always there when no tray is.
bool anyShown();

// The dynamic property (true) that marks a window standing in for the tray.
inline constexpr const char* standsInForTray = "ambrelStandsInForTray";

} // namespace ambrel::TitledWindows
