#include "MenuIcons.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QSvgRenderer>

#include <functional>
#include <map>

namespace ambrel::MenuIcons {

namespace {

constexpr int sizes[] = {16, 24, 32, 48};

QColor textColour() {
    return QApplication::palette().color(QPalette::Active, QPalette::WindowText);
}

// The symbol's shape in the colour, `pixels` square, with `inset` pixels of margin.
QImage symbolImage(const QString& name, const QColor& colour, int pixels, int inset = 0) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/icons/symbols/%1.svg").arg(name));
    if (!renderer.isValid()) {
        return image;
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(inset, inset, pixels - 2 * inset, pixels - 2 * inset));
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), colour);
    return image;
}

// `keepColour`: the same image when the row is disabled (the status line's dot).
QIcon drawn(const std::function<QImage(int pixels)>& draw, bool keepColour = false) {
    QIcon icon;
    for (const int pixels : sizes) {
        const QPixmap pixmap = QPixmap::fromImage(draw(pixels));
        icon.addPixmap(pixmap);
        if (keepColour) {
            icon.addPixmap(pixmap, QIcon::Disabled);
        }
    }
    return icon;
}

QImage toggleImage(const QString& name, bool on, int pixels) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill =
        on ? QApplication::palette().color(QPalette::Active, QPalette::Highlight) : textColour();
    if (!on) {
        fill.setAlphaF(0.12);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    const double inset = pixels / 48.0;
    painter.drawEllipse(QRectF(inset, inset, pixels - 2 * inset, pixels - 2 * inset));
    QColor mark = on ? QColor(Qt::white) : textColour();
    if (!on) {
        mark.setAlphaF(0.7);
    }
    painter.drawImage(0, 0, symbolImage(name, mark, pixels, pixels / 5));
    return image;
}

QImage dotImage(const QColor& colour, int pixels) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    const double diameter = pixels * 10.0 / 16.0;
    painter.drawEllipse(
        QRectF((pixels - diameter) / 2, (pixels - diameter) / 2, diameter, diameter));
    return image;
}

// Light text: a dark menu.
bool darkMenu() {
    return textColour().lightnessF() > 0.5;
}

// Signal colours, deeper on light menus so that each stands out from the menu by 3:1 or more.
QColor dotColour(const QString& name) {
    static const std::map<QString, std::pair<QColor, QColor>> colours = {
        {"green", {QColor(0x24, 0x8a, 0x3d), QColor(0x34, 0xc7, 0x59)}},
        {"red", {QColor(0xd7, 0x00, 0x15), QColor(0xff, 0x3b, 0x30)}},
        {"yellow", {QColor(0x94, 0x68, 0x00), QColor(0xff, 0xcc, 0x00)}},
        {"orange", {QColor(0xb2, 0x50, 0x00), QColor(0xff, 0x95, 0x00)}},
        {"grey", {QColor(0x6c, 0x6c, 0x70), QColor(0x8e, 0x8e, 0x93)}}};
    const auto found = colours.find(name);
    const auto& pair = found != colours.end() ? found->second : colours.at("grey");
    return darkMenu() ? pair.second : pair.first;
}

QIcon draw(const std::string& description);

} // namespace

QIcon symbol(const QString& name, const QColor& colour) {
    return drawn([&](int pixels) { return symbolImage(name, colour, pixels); });
}

QIcon icon(const std::string& description) {
    // The menu is rebuilt every second while open; draw each image once per palette.
    static std::map<std::pair<std::string, QRgb>, QIcon> cache;
    const auto key = std::pair(description, textColour().rgba());
    if (const auto found = cache.find(key); found != cache.end()) {
        return found->second;
    }
    QIcon made = draw(description);
    cache.emplace(key, made);
    return made;
}

namespace {

QIcon draw(const std::string& description) {
    const auto colon = description.find(':');
    if (colon == std::string::npos) {
        return {};
    }
    const QString kind = QString::fromStdString(description.substr(0, colon));
    const QString name = QString::fromStdString(description.substr(colon + 1));
    if (kind == "symbol") {
        return symbol(name, textColour());
    }
    if (kind == "red") {
        return symbol(name, dotColour(QStringLiteral("red")));
    }
    if (kind == "toggle-on" || kind == "toggle-off") {
        return drawn([&](int pixels) { return toggleImage(name, kind == "toggle-on", pixels); });
    }
    if (kind == "dot") {
        return drawn([&](int pixels) { return dotImage(dotColour(name), pixels); }, true);
    }
    return {};
}

} // namespace

} // namespace ambrel::MenuIcons
