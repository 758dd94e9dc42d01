#pragma once

#include "DBusMenu.h"
#include "StatusNotifierItem.h"

#include <QDBusConnection>
#include <QString>

#include <memory>

class QDBusServiceWatcher;

namespace ambrel {

// The icon and its menu on the session bus, registered with the StatusNotifier watcher, and
// registered again whenever a watcher appears (a panel that starts late or restarts).
class StatusNotifierTray {
public:
    explicit StatusNotifierTray(QDBusConnection bus = QDBusConnection::sessionBus());
    ~StatusNotifierTray();
    StatusNotifierTray(const StatusNotifierTray&) = delete;
    StatusNotifierTray& operator=(const StatusNotifierTray&) = delete;

    StatusNotifierItem& item() { return *item_; }
    DBusMenu& menu() { return *menu_; }
    // The bus name hosts know the item by.
    const QString& service() const { return service_; }
    // Asks the watcher again to show the item.
    void registerWithWatcher();

private:
    QDBusConnection bus_;
    QString service_;
    std::unique_ptr<StatusNotifierItem> item_;
    std::unique_ptr<DBusMenu> menu_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
};

} // namespace ambrel
