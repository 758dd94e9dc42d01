#include "OverlayWindow.h"

#include "app/desktop/UiText.h"
#include "locale/L10n.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace ambrel {

namespace {

constexpr int horizontalPadding = 20;
constexpr int verticalPadding = 14;
constexpr int lineSpacing = 6;
constexpr int labelGap = 10;
constexpr int leastRows = 2;
constexpr double radius = 16;

QFont captionFont() {
    QFont font;
    font.setPixelSize(22);
    font.setWeight(QFont::Medium);
    return font;
}

QColor white(double opacity) {
    QColor colour(Qt::white);
    colour.setAlphaF(std::clamp(opacity, 0.0, 1.0));
    return colour;
}

QColor speakerColour(core::SpeechSource source) {
    return source == core::SpeechSource::microphone ? QColor::fromRgbF(0.45f, 0.95f, 0.55f)
                                                    : QColor::fromRgbF(0.45f, 0.85f, 1.0f);
}

// The text laid out in a width; its rows and the height they take.
struct Laid {
    int rows = 0;
    int height = 0;
};

Laid layOut(const QString& text, const QFont& font, int width) {
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    Laid laid;
    double height = 0;
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(width);
        height += line.height();
        ++laid.rows;
    }
    layout.endLayout();
    laid.height = static_cast<int>(std::ceil(height));
    return laid;
}

} // namespace

OverlayWindow::OverlayWindow()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setMouseTracking(true);
    setMinimumSize(OverlayGeometry::minimumWidth, OverlayGeometry::minimumHeight);
    setWindowTitle(QStringLiteral("Ambrel"));
}

void OverlayWindow::setText(const LiveTranscriptText& text) {
    if (text != text_) {
        text_ = text;
        update();
    }
}

void OverlayWindow::setClickThrough(bool through) {
    setAttribute(Qt::WA_TransparentForMouseEvents, through);
    if (QWindow* handle = windowHandle()) {
        handle->setFlag(Qt::WindowTransparentForInput, through);
    }
}

void OverlayWindow::setStyle(const Style& style) {
    style_ = style;
    update();
}

std::size_t OverlayWindow::visibleLines(const std::vector<int>& heights, int available,
                                        int spacing) {
    const auto total = [&](std::size_t count) {
        int sum = 0;
        for (std::size_t i = heights.size() - count; i < heights.size(); ++i) {
            sum += heights[i];
        }
        return sum + spacing * static_cast<int>(count - 1);
    };
    for (const std::size_t count : {heights.size(), std::size_t(2)}) {
        if (count > 0 && count <= heights.size() && total(count) <= available) {
            return count;
        }
    }
    return std::min<std::size_t>(1, heights.size());
}

QString OverlayWindow::elideHead(const QString& text,
                                 const std::function<bool(const QString&)>& fits) {
    if (fits(text)) {
        return text;
    }
    // The longest end that fits, starting at a word.
    QTextBoundaryFinder boundaries(QTextBoundaryFinder::Word, text);
    std::vector<qsizetype> starts;
    for (qsizetype at = boundaries.toNextBoundary(); at > 0 && at < text.size();
         at = boundaries.toNextBoundary()) {
        if (boundaries.boundaryReasons().testFlag(QTextBoundaryFinder::StartOfItem)) {
            starts.push_back(at);
        }
    }
    if (starts.empty()) {
        return text; // one word: it wraps within its rows rather than losing its beginning
    }
    std::size_t low = 0;
    std::size_t high = starts.size();
    while (low < high) {
        const std::size_t middle = (low + high) / 2;
        if (fits(QStringLiteral("…") + text.mid(starts[middle]))) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return QStringLiteral("…") + text.mid(starts[std::min(low, starts.size() - 1)]);
}

int OverlayWindow::rowLimit(int contentHeight, int rowHeight) {
    return std::max(leastRows, rowHeight > 0 ? contentHeight / rowHeight : 0);
}

void OverlayWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(area, radius, radius);
    // The glass, then the darkening that the contrast setting asks for.
    QColor glass(0x1c, 0x1c, 0x1e);
    glass.setAlphaF(std::clamp(1.0 - style_.transparency, 0.5, 1.0));
    painter.fillPath(shape, glass);
    QColor dim(Qt::black);
    dim.setAlphaF(std::clamp(style_.contrast * 0.5 + 0.05, 0.0, 1.0));
    painter.fillPath(shape, dim);

    const QFont font = captionFont();
    painter.setFont(font);
    const QRect content =
        rect().adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);
    if (text_.lines.empty()) {
        painter.setPen(white(style_.contrast * 0.5 + 0.45));
        painter.drawText(content, Qt::AlignLeft | Qt::AlignBottom, uiText(Texts::overlayListening));
        return;
    }

    struct Row {
        QString label;
        QString text;
        QColor colour;
        QColor labelColour;
        int height = 0;
    };
    const QFontMetrics metrics(font);
    int labelWidth = 0;
    if (text_.showsSpeakers) {
        for (const auto& line : text_.lines) {
            labelWidth = std::max(labelWidth, metrics.horizontalAdvance(QString::fromStdString(
                                                  L10n::speaker(line.source))));
        }
    }
    const int textWidth =
        std::max(40, content.width() - (text_.showsSpeakers ? labelWidth + labelGap : 0));
    const int rows = rowLimit(content.height(), metrics.lineSpacing());
    std::vector<Row> shownRows;
    std::vector<int> heights;
    for (const auto& line : text_.lines) {
        Row row;
        if (text_.showsSpeakers) {
            row.label = QString::fromStdString(L10n::speaker(line.source));
            row.labelColour = speakerColour(line.source);
        }
        // The newest words stay; the beginning goes when the line needs more rows than the
        // window holds (two at least).
        row.text = elideHead(QString::fromStdString(line.text), [&](const QString& candidate) {
            return layOut(candidate, font, textWidth).rows <= rows;
        });
        row.colour = line.isFinal ? white(style_.contrast * 0.5 + 0.6) : white(1.0);
        row.height = std::max(layOut(row.text, font, textWidth).height, metrics.height());
        heights.push_back(row.height);
        shownRows.push_back(std::move(row));
    }
    const std::size_t shown = visibleLines(heights, content.height(), lineSpacing);
    // Bottom-aligned: the newest line sits at the bottom.
    int bottom = content.bottom() + 1;
    for (std::size_t i = shownRows.size(); i > shownRows.size() - shown; --i) {
        const Row& row = shownRows[i - 1];
        const int top = bottom - row.height;
        int x = content.left();
        if (text_.showsSpeakers) {
            painter.setPen(row.labelColour);
            painter.drawText(QRect(x, top, labelWidth, metrics.height()),
                             Qt::AlignLeft | Qt::AlignTop, row.label);
            x += labelWidth + labelGap;
        }
        painter.setPen(row.colour);
        // Wrapped as layOut() measured it, so a long unbroken word stays inside its row.
        QTextOption wrapping(Qt::AlignLeft | Qt::AlignTop);
        wrapping.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        painter.drawText(QRectF(x, top, textWidth, row.height), row.text, wrapping);
        bottom = top - lineSpacing;
    }
}

void OverlayWindow::updateCursor(const QPoint& position) {
    using OverlayGeometry::Handle;
    const auto handle = OverlayGeometry::handleAt(position, size());
    if (!handle) {
        setCursor(Qt::ArrowCursor);
        return;
    }
    switch (*handle) {
    case Handle::left:
    case Handle::right:
        setCursor(Qt::SizeHorCursor);
        break;
    case Handle::top:
    case Handle::bottom:
        setCursor(Qt::SizeVerCursor);
        break;
    case Handle::topLeft:
    case Handle::bottomRight:
        setCursor(Qt::SizeFDiagCursor);
        break;
    case Handle::topRight:
    case Handle::bottomLeft:
        setCursor(Qt::SizeBDiagCursor);
        break;
    }
}

void OverlayWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    pressedAt_ = event->globalPosition().toPoint();
    pressedFrame_ = geometry();
    pressedHandle_ = OverlayGeometry::handleAt(event->position().toPoint(), size());
}

void OverlayWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!pressedAt_) {
        updateCursor(event->position().toPoint());
        return;
    }
    const QPoint delta = event->globalPosition().toPoint() - *pressedAt_;
    if (pressedHandle_) {
        setGeometry(OverlayGeometry::resized(*pressedHandle_, pressedFrame_, delta, minimumSize()));
    } else {
        move(pressedFrame_.topLeft() + delta);
    }
}

void OverlayWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (pressedAt_ && event->button() == Qt::LeftButton) {
        pressedAt_.reset();
        pressedHandle_.reset();
        if (onFrameChanged && geometry() != pressedFrame_) {
            onFrameChanged(geometry());
        }
    }
}

void OverlayWindow::leaveEvent(QEvent*) {
    if (!pressedAt_) {
        setCursor(Qt::ArrowCursor);
    }
}

void OverlayWindow::contextMenuEvent(QContextMenuEvent* event) {
    if (!makeMenu) {
        return;
    }
    if (QMenu* menu = makeMenu()) {
        menu->exec(event->globalPos());
        delete menu;
    }
}

} // namespace ambrel
