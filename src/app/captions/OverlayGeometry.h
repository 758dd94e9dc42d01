#pragma once

#include <QRect>
#include <QSize>

#include <optional>
#include <string>
#include <vector>

namespace ambrel::OverlayGeometry {

constexpr int defaultWidth = 760;
constexpr int defaultHeight = 88;
constexpr int minimumWidth = 320;
constexpr int minimumHeight = 80;

enum class Handle { left, right, top, bottom, topLeft, topRight, bottomLeft, bottomRight };

// Centred on the available area, 60 pixels above its bottom; an assumed 1440 × 900 area when
// there is no screen.
QRect defaultFrame(const std::optional<QRect>& available);

// Whether enough of the frame (80 × 40) lies on one of the screens to reach it with the mouse.
bool isOnScreen(const QRect& frame, const std::vector<QRect>& screens);

// The resize handle under a point of a window of `size` (origin top left), if any.
std::optional<Handle> handleAt(const QPoint& point, const QSize& size);

// The frame after dragging a handle by `delta` from `start`; the opposite edges stay, and the
// frame never gets smaller than the minimum size.
QRect resized(Handle handle, const QRect& start, const QPoint& delta, const QSize& minimum);

// The frame as stored in the settings, and back.
std::string encode(const QRect& frame);
std::optional<QRect> decode(const std::string& text);

} // namespace ambrel::OverlayGeometry
