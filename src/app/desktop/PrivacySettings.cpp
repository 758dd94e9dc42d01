#include "PrivacySettings.h"

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace ambrel::PrivacySettings {

std::vector<std::vector<std::string>> candidates() {
    return {
        {"gnome-control-center", "sound"}, {"systemsettings", "kcm_pulseaudio"}, {"pavucontrol"}};
}

void open(Pane) {
    // Sound servers have no per-source permission pages: both panes are the sound settings.
    for (const auto& command : candidates()) {
        const QString program = QStandardPaths::findExecutable(QString::fromStdString(command[0]));
        if (program.isEmpty()) {
            continue;
        }
        QStringList arguments;
        for (std::size_t i = 1; i < command.size(); ++i) {
            arguments << QString::fromStdString(command[i]);
        }
        QProcess::startDetached(program, arguments);
        return;
    }
}

} // namespace ambrel::PrivacySettings
