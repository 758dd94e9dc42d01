#include "ModalAlert.h"

#include "UiText.h"
#include "locale/L10n.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QString>

namespace ambrel::ModalAlert {

void show(const std::string& title, const std::string& message, Style style) {
    QMessageBox box(style == Style::warning ? QMessageBox::Warning : QMessageBox::Information,
                    QStringLiteral("Ambrel"), QString::fromStdString(title), QMessageBox::Ok);
    box.setInformativeText(QString::fromStdString(message));
    box.button(QMessageBox::Ok)->setText(uiText(Texts::alertOk));
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.raise();
    box.activateWindow();
    box.exec();
}

} // namespace ambrel::ModalAlert
