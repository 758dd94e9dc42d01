#pragma once

namespace ambrel::TitledWindows {

// Whether a window with a title bar is on screen: one the user works in. Frameless ones do not
// count: the captions, and on XEmbed trays the tray icon itself, which is a window of its own.
bool anyShown();

} // namespace ambrel::TitledWindows
