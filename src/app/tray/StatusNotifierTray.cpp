#include "StatusNotifierTray.h"

#include "core/Log.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

#include <atomic>

namespace ambrel {

namespace {

const QString watcherName = QStringLiteral("org.kde.StatusNotifierWatcher");

// Names are unique per process and item, as the protocol asks.
QString serviceName() {
    static std::atomic<int> count{0};
    return QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
        .arg(QCoreApplication::applicationPid())
        .arg(++count);
}

} // namespace

StatusNotifierTray::StatusNotifierTray(QDBusConnection bus)
    : bus_(std::move(bus))
    , service_(serviceName())
    , item_(std::make_unique<StatusNotifierItem>(bus_, QString::fromLatin1(DBusMenu::path)))
    , menu_(std::make_unique<DBusMenu>(bus_)) {
    if (!bus_.isConnected()) {
        return;
    }
    bus_.registerService(service_);
    bus_.registerVirtualObject(QString::fromLatin1(StatusNotifierItem::path), item_.get());
    bus_.registerVirtualObject(QString::fromLatin1(DBusMenu::path), menu_.get());
    watcher_ = std::make_unique<QDBusServiceWatcher>(watcherName, bus_,
                                                     QDBusServiceWatcher::WatchForRegistration);
    QObject::connect(watcher_.get(), &QDBusServiceWatcher::serviceRegistered, watcher_.get(),
                     [this] { registerWithWatcher(); });
    registerWithWatcher();
}

StatusNotifierTray::~StatusNotifierTray() {
    watcher_.reset();
    if (bus_.isConnected()) {
        bus_.unregisterObject(QString::fromLatin1(StatusNotifierItem::path));
        bus_.unregisterObject(QString::fromLatin1(DBusMenu::path));
        // Hosts drop the item when its name goes.
        bus_.unregisterService(service_);
    }
}

void StatusNotifierTray::registerWithWatcher() {
    if (!bus_.isConnected()) {
        return;
    }
    auto call =
        QDBusMessage::createMethodCall(watcherName, QStringLiteral("/StatusNotifierWatcher"),
                                       watcherName, QStringLiteral("RegisterStatusNotifierItem"));
    call << service_;
    // Never waits: a watcher that hangs must not hang the menu.
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call, 5000));
    QObject::connect(pending, &QDBusPendingCallWatcher::finished, pending,
                     [](QDBusPendingCallWatcher* finished) {
                         const QDBusPendingReply<> reply = *finished;
                         if (reply.isError()) {
                             core::Log::transcript().notice("The tray did not take the icon: " +
                                                            reply.error().message().toStdString());
                         }
                         finished->deleteLater();
                     });
}

} // namespace ambrel
