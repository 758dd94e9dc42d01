#include "MenuBarPanel.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace ambrel {

namespace {

constexpr int edgeMargin = 8;
constexpr int arrowMargin = 37;
constexpr int arrowHalfWidth = 21;
constexpr double bodyRadius = 20;

} // namespace

MenuBarPanel::MenuBarPanel(QWidget* content)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , content_(content) {
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(QStringLiteral("Ambrel"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, arrowHeight, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(content_);
}

MenuBarPanel::Placement MenuBarPanel::place(const QRect& anchor, const QSize& size,
                                            const QRect& screen, const QRect& available) {
    const int w = size.width();
    const double middle = anchor.x() + anchor.width() / 2.0;
    int x = static_cast<int>(std::lround(middle - w / 2.0));
    // Inside the work area sideways too, so a dock on the left or right never covers it.
    const QRect within = available.isValid() ? available : screen;
    x = std::max(x, within.left() + edgeMargin);
    x = std::min(x, within.right() + 1 - edgeMargin - w);
    const int h = size.height();
    const bool roomBelow =
        std::max(anchor.bottom() + 1, available.top()) + h <= available.bottom() + 1;
    const bool above = !roomBelow && anchor.top() - h >= available.top();
    int top = above ? anchor.top() - h : std::max(anchor.bottom() + 1, available.top());
    if (!above) {
        top = std::max(available.top(), std::min(top, available.bottom() + 1 - h));
    }
    int arrow = std::max(static_cast<int>(std::lround(middle - x)), arrowMargin);
    arrow = std::min(w - arrowMargin, arrow);
    return {QRect(x, top, w, h), arrow, above};
}

void MenuBarPanel::showFrom(const std::optional<QRect>& anchor) {
    anchor_ = anchor;
    isShown_ = true;
    placeNow();
    show();
    raise();
    activateWindow();
}

void MenuBarPanel::closePanel() {
    if (!isShown_) {
        return;
    }
    isShown_ = false;
    hide();
    if (onClose) {
        onClose();
    }
}

void MenuBarPanel::placeNow() {
    if (!isShown_) {
        return;
    }
    const QScreen* screen = anchor_ ? QGuiApplication::screenAt(anchor_->center()) : nullptr;
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    const QRect available = screen->availableGeometry();
    const QRect anchor = anchor_.value_or(trayCorner(screen->geometry(), available));
    const auto placement = place(anchor, sizeHint(), screen->geometry(), available);
    setGeometry(placement.frame);
    arrowX_ = placement.arrowX;
    if (placement.above != above_) {
        above_ = placement.above;
        layout()->setContentsMargins(0, above_ ? 0 : arrowHeight, 0, above_ ? arrowHeight : 0);
    }
    update();
}

bool MenuBarPanel::event(QEvent* event) {
    if (event->type() == QEvent::LayoutRequest) {
        const bool handled = QWidget::event(event);
        placeNow(); // the content changed its size
        return handled;
    }
    return QWidget::event(event);
}

void MenuBarPanel::closeEvent(QCloseEvent* event) {
    // Closed by the window manager: the same as Escape, so the panel's work stops too.
    event->ignore();
    closePanel();
}

void MenuBarPanel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        closePanel();
        return;
    }
    QWidget::keyPressEvent(event);
}

QRect MenuBarPanel::trayCorner(const QRect& screen, const QRect& available) {
    const int top = available.top() - screen.top();
    const int bottom = screen.bottom() - available.bottom();
    const int left = available.left() - screen.left();
    const int right = screen.right() - available.right();
    // The panel is where the work area leaves the most room; trays sit at its right end, or at
    // the foot of a panel standing on a side.
    if (bottom > top && bottom >= left && bottom >= right) {
        return QRect(available.right() - 40, available.bottom() + 1, 24, 1);
    }
    if (right > top && right > left) {
        return QRect(available.right() - 24, available.bottom() + 1, 24, 1);
    }
    if (left > top) {
        return QRect(available.left(), available.bottom() + 1, 24, 1);
    }
    return QRect(available.right() - 40, available.top() - 1, 24, 1);
}

QPainterPath MenuBarPanel::outline(const QSize& size, int arrowX) {
    QPainterPath body;
    body.addRoundedRect(
        QRectF(0.5, arrowHeight + 0.5, size.width() - 1, size.height() - arrowHeight - 1),
        bodyRadius, bodyRadius);
    QPainterPath arrow;
    const double tip = arrowX;
    arrow.moveTo(tip - arrowHalfWidth, arrowHeight + 2.5);
    arrow.quadTo(tip - arrowHalfWidth + 4, arrowHeight + 0.5, tip - arrowHalfWidth + 6,
                 arrowHeight - 1);
    arrow.lineTo(tip - 1.5, 1.5);
    arrow.quadTo(tip, 0, tip + 1.5, 1.5);
    arrow.lineTo(tip + arrowHalfWidth - 6, arrowHeight - 1);
    arrow.quadTo(tip + arrowHalfWidth - 4, arrowHeight + 0.5, tip + arrowHalfWidth,
                 arrowHeight + 2.5);
    arrow.closeSubpath();
    return body.united(arrow);
}

void MenuBarPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (above_) {
        // The same shape upside down: the arrow points at the icon below.
        painter.translate(0, height());
        painter.scale(1, -1);
    }
    // The union of two curved paths is costly, and children repaint through this panel.
    if (shapeFor_ != std::pair(size(), arrowX_)) {
        shape_ = outline(size(), arrowX_);
        shapeFor_ = std::pair(size(), arrowX_);
    }
    const QPainterPath& shape = shape_;
    painter.fillPath(shape, palette().color(QPalette::Window));
    painter.setPen(QPen(palette().color(QPalette::Mid), 1));
    painter.drawPath(shape);
}

} // namespace ambrel
