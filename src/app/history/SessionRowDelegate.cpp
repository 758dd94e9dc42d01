#include "SessionRowDelegate.h"

#include "SessionListModel.h"
#include "app/desktop/UiText.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

#include <utility>

namespace ambrel {

namespace {

constexpr int padding = 6;
constexpr int lineGap = 3;

QFont titleFont(const QFont& base) {
    QFont font = base;
    font.setWeight(QFont::DemiBold);
    return font;
}

QFont detailsFont(const QFont& base) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() - 1);
    return font;
}

QFont badgeFont(const QFont& base) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() - 2);
    font.setWeight(QFont::DemiBold);
    return font;
}

} // namespace

QSize SessionRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    const int height = QFontMetrics(titleFont(option.font)).height() + lineGap +
                       QFontMetrics(detailsFont(option.font)).height() + 2 * padding;
    return {200, height};
}

void SessionRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    // The title is the display text: taken from the style option, not formatted again.
    const QString titleText = std::exchange(background.text, QString());
    QApplication::style()->drawControl(QStyle::CE_ItemViewItem, &background, painter);

    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& colours = option.palette;
    const QColor textColour = colours.color(selected ? QPalette::HighlightedText : QPalette::Text);
    QColor secondary = textColour;
    secondary.setAlphaF(selected ? 0.85 : 0.6);

    const QRect area = option.rect.adjusted(padding + 4, padding, -padding - 4, -padding);
    const QFont title = titleFont(option.font);
    const QFont details = detailsFont(option.font);
    const int titleHeight = QFontMetrics(title).height();
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);

    int titleRight = area.right();
    if (index.data(SessionListModel::liveRole).toBool()) {
        // The badge: white text on a red capsule at the end of the title line.
        const QFont badge = badgeFont(option.font);
        const QString label = uiText(Texts::historyRecordingBadge);
        const QFontMetrics metrics(badge);
        const int width = metrics.horizontalAdvance(label) + 12;
        const int height = metrics.height() + 2;
        const QRect capsule(area.right() - width, area.top() + (titleHeight - height) / 2, width,
                            height);
        QPainterPath path;
        path.addRoundedRect(capsule, height / 2.0, height / 2.0);
        painter->fillPath(path, QColor(0xe5, 0x39, 0x35));
        painter->setFont(badge);
        painter->setPen(Qt::white);
        painter->drawText(capsule, Qt::AlignCenter, label);
        titleRight = capsule.left() - 6;
    }
    painter->setFont(title);
    painter->setPen(textColour);
    const QRect titleArea(area.left(), area.top(), titleRight - area.left(), titleHeight);
    painter->drawText(titleArea, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(title).elidedText(titleText, Qt::ElideRight, titleArea.width()));
    painter->setFont(details);
    painter->setPen(secondary);
    const QRect detailsArea(area.left(), area.top() + titleHeight + lineGap, area.width(),
                            QFontMetrics(details).height());
    painter->drawText(detailsArea, Qt::AlignLeft | Qt::AlignVCenter,
                      index.data(SessionListModel::detailsRole).toString());
    painter->restore();
}

} // namespace ambrel
