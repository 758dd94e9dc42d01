#pragma once

#include "MenuBarIcon.h"

#include <QIcon>
#include <QImage>

namespace ambrel::MenuBarIconPainter {

// The tray icon of a state: a text cursor between sound bars; filled while listening; with a
// badge while paused, downloading or failed. Light on a soft dark rim, so that it reads on
// dark and light panels alike.
QIcon icon(MenuBarIcon::State state);
// One rendering, `pixels` square.
QImage image(MenuBarIcon::State state, int pixels);

} // namespace ambrel::MenuBarIconPainter
