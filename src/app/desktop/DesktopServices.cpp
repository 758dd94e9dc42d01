#include "DesktopServices.h"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QStringList>
#include <QUrl>

namespace ambrel::DesktopServices {

namespace {

QUrl urlOf(const std::filesystem::path& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path.string()));
}

// The freedesktop.org file manager interface shows files selected; without one, the folder opens.
void reveal(const std::vector<std::filesystem::path>& files, const std::filesystem::path& folder) {
    if (!files.empty()) {
        QStringList uris;
        for (const auto& file : files) {
            uris << urlOf(file).toString();
        }
        auto call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                                   QStringLiteral("/org/freedesktop/FileManager1"),
                                                   QStringLiteral("org.freedesktop.FileManager1"),
                                                   QStringLiteral("ShowItems"));
        call << uris << QString();
        const auto reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
        if (reply.type() == QDBusMessage::ReplyMessage) {
            return;
        }
    }
    QDesktopServices::openUrl(urlOf(folder));
}

} // namespace

HistoryModel::Services forHistory(AppSettings settings) {
    HistoryModel::Services services;
    services.copyText = [](const std::string& text) {
        QApplication::clipboard()->setText(QString::fromStdString(text));
    };
    services.openFile = [](const std::filesystem::path& file) {
        return QDesktopServices::openUrl(urlOf(file));
    };
    services.reveal = reveal;
    services.copyOptions = [settings] { return settings.copyOptions(); };
    return services;
}

} // namespace ambrel::DesktopServices
