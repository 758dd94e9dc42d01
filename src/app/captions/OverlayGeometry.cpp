#include "OverlayGeometry.h"

#include <fmt/format.h>

#include <cstdio>

namespace ambrel::OverlayGeometry {

QRect defaultFrame(const std::optional<QRect>& available) {
    const QRect area = available.value_or(QRect(0, 0, 1440, 900));
    return {area.center().x() + 1 - defaultWidth / 2, area.bottom() + 1 - 60 - defaultHeight,
            defaultWidth, defaultHeight};
}

bool isOnScreen(const QRect& frame, const std::vector<QRect>& screens) {
    for (const auto& screen : screens) {
        const QRect visible = screen.intersected(frame);
        if (visible.width() >= 80 && visible.height() >= 40) {
            return true;
        }
    }
    return false;
}

std::optional<Handle> handleAt(const QPoint& point, const QSize& size) {
    const int w = size.width();
    const int h = size.height();
    const std::pair<Handle, QRect> handles[] = {
        {Handle::left, QRect(0, 16, 10, h - 32)},
        {Handle::right, QRect(w - 10, 16, 10, h - 32)},
        {Handle::top, QRect(16, 0, w - 32, 10)},
        {Handle::bottom, QRect(16, h - 10, w - 32, 10)},
        {Handle::topLeft, QRect(0, 0, 16, 16)},
        {Handle::topRight, QRect(w - 16, 0, 16, 16)},
        {Handle::bottomLeft, QRect(0, h - 16, 16, 16)},
        {Handle::bottomRight, QRect(w - 16, h - 16, 16, 16)},
    };
    for (const auto& [handle, area] : handles) {
        if (area.contains(point)) {
            return handle;
        }
    }
    return std::nullopt;
}

QRect resized(Handle handle, const QRect& start, const QPoint& delta, const QSize& minimum) {
    const bool right =
        handle == Handle::right || handle == Handle::topRight || handle == Handle::bottomRight;
    const bool left =
        handle == Handle::left || handle == Handle::topLeft || handle == Handle::bottomLeft;
    const bool top =
        handle == Handle::top || handle == Handle::topLeft || handle == Handle::topRight;
    const bool bottom =
        handle == Handle::bottom || handle == Handle::bottomLeft || handle == Handle::bottomRight;
    int x = start.x();
    int y = start.y();
    int width = start.width();
    int height = start.height();
    if (right) {
        width = std::max(minimum.width(), start.width() + delta.x());
    }
    if (left) {
        width = std::max(minimum.width(), start.width() - delta.x());
        x = start.x() + start.width() - width;
    }
    if (bottom) {
        height = std::max(minimum.height(), start.height() + delta.y());
    }
    if (top) {
        height = std::max(minimum.height(), start.height() - delta.y());
        y = start.y() + start.height() - height;
    }
    return {x, y, width, height};
}

std::string encode(const QRect& frame) {
    return fmt::format("{},{},{},{}", frame.x(), frame.y(), frame.width(), frame.height());
}

std::optional<QRect> decode(const std::string& text) {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%d,%d,%d,%d%c", &x, &y, &width, &height, &end) != 4 ||
        width <= 0 || height <= 0) {
        return std::nullopt;
    }
    return QRect(x, y, width, height);
}

} // namespace ambrel::OverlayGeometry
