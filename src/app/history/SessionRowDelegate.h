#pragma once

#include <QStyledItemDelegate>

namespace ambrel {

// Draws a history row: the session's title, a red "Recording" badge while it records, and its
// duration and line count below.
class SessionRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace ambrel
