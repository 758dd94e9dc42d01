#include "TitledWindows.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>

namespace ambrel::TitledWindows {

bool anyShown() {
    const auto widgets = QApplication::topLevelWidgets();
    return std::any_of(widgets.begin(), widgets.end(), [](const QWidget* widget) {
        const auto type = widget->windowType();
        return widget->isVisible() && (type == Qt::Window || type == Qt::Dialog) &&
               !widget->windowFlags().testFlag(Qt::FramelessWindowHint) &&
               !widget->property(standsInForTray).toBool();
    });
}

} // namespace ambrel::TitledWindows
