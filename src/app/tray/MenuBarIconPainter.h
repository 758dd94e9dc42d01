#pragma once

#include "MenuBarIcon.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>

namespace ambrel::MenuBarIconPainter {

// The glyph's colour: dark for light panels, light for dark ones. Each has a soft rim of the
// other, so a wrong guess still reads. `either` is for panels the app cannot see (hosts that
// draw pixels): a light glyph in a solid dark rim, which reads on dark and light alike.
enum class Tone { dark, light, either };

// The tone that stands out from a panel of this colour.
Tone toneFor(const QColor& panel);

// The tray icon of a state: a text cursor between sound bars; filled while listening; with a
// badge while paused, downloading or failed.
QIcon icon(MenuBarIcon::State state, Tone tone);
// One rendering, `pixels` square.
QImage image(MenuBarIcon::State state, int pixels, Tone tone);
// The installed symbolic icon of the state, which hosts recolour for their panel.
QString iconName(MenuBarIcon::State state);

} // namespace ambrel::MenuBarIconPainter
