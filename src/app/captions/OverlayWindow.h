#pragma once

#include "OverlayGeometry.h"
#include "speech/engine/LiveTranscriptText.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QMenu;

namespace ambrel {

// The floating caption bar: a dark translucent rounded window over everything, showing the
// newest caption lines, moved by dragging and resized at its edges and corners.
class OverlayWindow : public QWidget {
public:
    struct Style {
        double transparency = 0.1; // of the glass
        double contrast = 0.5;     // of the text on it
    };

    OverlayWindow();

    void setText(const LiveTranscriptText& text);
    const LiveTranscriptText& text() const { return text_; }
    void setStyle(const Style& style);
    // Lets clicks through to the windows below (while faded) or takes them.
    void setClickThrough(bool through);
    const Style& style() const { return style_; }

    // Built on each right click.
    std::function<QMenu*()> makeMenu;
    // The user moved or resized the window.
    std::function<void(const QRect&)> onFrameChanged;

    // How many of the last lines to show: all when they fit the height, else the last two,
    // else the last one.
    static std::size_t visibleLines(const std::vector<int>& heights, int available, int spacing);
    // The end of a text that fits, with "…" in front when its beginning had to go: whole words
    // go, never part of one (a last word too long for any room is kept whole). `fits` tells
    // whether a candidate fits.
    static QString elideHead(const QString& text, const std::function<bool(const QString&)>& fits);
    // How many rows a caption line may take: two, or as many as the content height holds.
    static int rowLimit(int contentHeight, int rowHeight);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void updateCursor(const QPoint& position);

    LiveTranscriptText text_;
    Style style_;
    // A drag under way: from where, and which handle (none: moving).
    std::optional<QPoint> pressedAt_;
    QRect pressedFrame_;
    std::optional<OverlayGeometry::Handle> pressedHandle_;
};

} // namespace ambrel
