#pragma once

#include <QPainterPath>
#include <QWidget>

#include <functional>
#include <optional>
#include <utility>

namespace ambrel {

// A borderless panel with an arrow that hangs from the tray icon (or from the top right of the
// screen when the tray tells nothing of its icon), holding one content widget. Escape closes it.
class MenuBarPanel : public QWidget {
public:
    struct Placement {
        QRect frame;
        int arrowX = 0;     // the arrow's tip, from the panel's left edge
        bool above = false; // over the anchor, arrow at the bottom: a tray at the screen's foot
        bool operator==(const Placement&) const = default;
    };

    static constexpr int arrowHeight = 12;

    explicit MenuBarPanel(QWidget* content);

    // Shows the panel under the anchor (screen coordinates).
    void showFrom(const std::optional<QRect>& anchor);
    // Hides the panel and tells onClose; nothing when it is not shown.
    void closePanel();
    bool isShown() const { return isShown_; }
    int arrowX() const { return arrowX_; }

    std::function<void()> onClose;

    // Under the anchor's centre, kept 8 pixels inside the screen; the arrow follows the anchor
    // but stays 37 pixels from either end. Over the anchor when there is no room below it.
    static Placement place(const QRect& anchor, const QSize& size, const QRect& screen,
                           const QRect& available);
    // Where the tray's icon most likely is when nobody tells: the right end of the panel that
    // the work area leaves room for (the foot of a side panel), the top right without one.
    static QRect trayCorner(const QRect& screen, const QRect& available);

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    void placeNow();
    // The body with its arrow at `arrowX`, pointing up.
    static QPainterPath outline(const QSize& size, int arrowX);

    QWidget* content_;
    std::optional<QRect> anchor_;
    int arrowX_ = 0;
    bool above_ = false;
    QPainterPath shape_;
    std::optional<std::pair<QSize, int>> shapeFor_;
    bool isShown_ = false;
};

} // namespace ambrel
