#include "MenuBarIconPainter.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>
#include <limits>
#include <map>
#include <vector>

namespace ambrel::MenuBarIconPainter {

namespace {

using State = MenuBarIcon::State;

// The glyph on an 18 × 18 canvas, origin top left.
struct Bar {
    double x;
    double length;
    double maxBottom;
};

struct Glyph {
    double midY = 9.0;
    double cursorX = 8.75;
    double cursorHeight = 15.0;
    double cursorWidth = 5.0;
    std::vector<Bar> bars;
};

constexpr double lineWidth = 1.5;
constexpr double infinity = std::numeric_limits<double>::infinity();
const QPointF badgeCentre(14.5, 14.5);

Glyph plainGlyph() {
    Glyph glyph;
    glyph.bars = {{1.75, 7.0, infinity},
                  {5.25, 9.5, infinity},
                  {12.25, 9.5, infinity},
                  {15.75, 7.0, infinity}};
    return glyph;
}

// Three bars; the last one shortened to clear the badge's ring.
Glyph badgedGlyph() {
    Glyph glyph = plainGlyph();
    glyph.bars.pop_back();
    Bar& last = glyph.bars.back();
    const double b = 14.5 - std::sqrt(4.75 * 4.75 - (last.x - 14.5) * (last.x - 14.5));
    last.length = std::min(last.length, std::floor(2 * (2 * (b - glyph.midY) + 1.5)) / 2);
    return glyph;
}

QPainterPath path(const Glyph& glyph) {
    QPainterPath path;
    for (const auto& bar : glyph.bars) {
        const double h = (bar.length - lineWidth) / 2;
        path.moveTo(bar.x, glyph.midY - h);
        path.lineTo(bar.x, std::min(glyph.midY + h, bar.maxBottom));
    }
    const double v = (glyph.cursorHeight - lineWidth) / 2;
    const double w = (glyph.cursorWidth - lineWidth) / 2;
    path.moveTo(glyph.cursorX - w, glyph.midY - v);
    path.lineTo(glyph.cursorX + w, glyph.midY - v);
    path.moveTo(glyph.cursorX - w, glyph.midY + v);
    path.lineTo(glyph.cursorX + w, glyph.midY + v);
    path.moveTo(glyph.cursorX, glyph.midY - v);
    path.lineTo(glyph.cursorX, glyph.midY + v);
    return path;
}

QPen pen(double width) {
    QPen pen(Qt::black, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    return pen;
}

void cutOut(QPainter& painter, const std::function<void()>& draw) {
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    draw();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void drawBadgeMark(QPainter& painter, State state) {
    const QPointF c = badgeCentre;
    painter.setBrush(Qt::black);
    painter.setPen(Qt::NoPen);
    if (state == State::paused) {
        painter.drawRoundedRect(QRectF(c.x() - 1.5, c.y() - 1.5, 1, 3), 0.3, 0.3);
        painter.drawRoundedRect(QRectF(c.x() + 0.5, c.y() - 1.5, 1, 3), 0.3, 0.3);
    } else if (state == State::downloading) {
        QPainterPath arrow;
        arrow.moveTo(c.x(), c.y() - 1.75);
        arrow.lineTo(c.x(), c.y() + 1.6);
        arrow.moveTo(c.x() - 1.5, c.y() + 0.1);
        arrow.lineTo(c.x(), c.y() + 1.6);
        arrow.lineTo(c.x() + 1.5, c.y() + 0.1);
        painter.strokePath(arrow, pen(1.0));
    } else {
        QPainterPath mark;
        mark.moveTo(c.x(), c.y() - 1.75);
        mark.lineTo(c.x(), c.y() + 0.25);
        painter.strokePath(mark, pen(1.0));
        painter.drawEllipse(QRectF(c.x() - 0.6, c.y() + 1.15 - 0.6, 1.2, 1.2));
    }
}

// The shape of a state in black on transparent, on the 18-point canvas.
void drawShape(QPainter& painter, State state) {
    if (state == State::idle) {
        painter.strokePath(path(plainGlyph()), pen(lineWidth));
        return;
    }
    if (state == State::listening) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawRoundedRect(QRectF(1, 1, 16, 16), 4, 4);
        cutOut(painter, [&] { painter.strokePath(path(plainGlyph()), pen(lineWidth)); });
        return;
    }
    painter.strokePath(path(badgedGlyph()), pen(lineWidth));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    cutOut(painter, [&] { painter.drawEllipse(QRectF(10.5, 10.5, 8, 8)); });
    painter.drawEllipse(QRectF(11.5, 11.5, 6, 6));
    cutOut(painter, [&] { drawBadgeMark(painter, state); });
}

QImage mask(State state, int pixels) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // A point of margin on each side leaves room for the rim.
    const double scale = pixels / 20.0;
    painter.scale(scale, scale);
    painter.translate(1, 1);
    drawShape(painter, state);
    return image;
}

QImage tinted(const QImage& shape, const QColor& colour) {
    QImage image = shape;
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), colour);
    return image;
}

} // namespace

Tone toneFor(const QColor& panel) {
    return panel.lightnessF() >= 0.5 ? Tone::dark : Tone::light;
}

QImage image(State state, int pixels, Tone tone) {
    const QImage shape = mask(state, pixels);
    const bool dark = tone == Tone::dark;
    // The rim: the shape spread by about a pixel, in the other tone.
    const QColor rimColour = dark                   ? QColor(255, 255, 255, 110)
                             : tone == Tone::either ? QColor(0x20, 0x20, 0x20)
                                                    : QColor(0, 0, 0, 150);
    const QImage rim = tinted(shape, rimColour);
    QImage result(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    const double spread = std::max(1.0, pixels / 22.0);
    for (const QPointF offset :
         {QPointF(-spread, 0), QPointF(spread, 0), QPointF(0, -spread), QPointF(0, spread)}) {
        painter.drawImage(offset, rim);
    }
    painter.drawImage(0, 0,
                      tinted(shape, dark ? QColor(0x20, 0x20, 0x20) : QColor(0xf4, 0xf4, 0xf4)));
    return result;
}

QIcon icon(State state, Tone tone) {
    // Drawn once per state and tone: the status changes with every recorded line.
    static std::map<std::pair<State, Tone>, QIcon> drawn;
    if (const auto found = drawn.find({state, tone}); found != drawn.end()) {
        return found->second;
    }
    QIcon icon;
    for (const int pixels : {16, 22, 24, 32, 44, 48, 64}) {
        icon.addPixmap(QPixmap::fromImage(image(state, pixels, tone)));
    }
    drawn.emplace(std::pair(state, tone), icon);
    return icon;
}

QString iconName(State state) {
    const char* name = "idle";
    switch (state) {
    case State::idle:
        break;
    case State::listening:
        name = "listening";
        break;
    case State::paused:
        name = "paused";
        break;
    case State::downloading:
        name = "downloading";
        break;
    case State::error:
        name = "error";
        break;
    }
    return QStringLiteral("org.ambrel.Ambrel-%1-symbolic").arg(QLatin1String(name));
}

} // namespace ambrel::MenuBarIconPainter
