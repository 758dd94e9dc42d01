#include "TrayHost.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>

#include <string>
#include <xcb/xcb.h>

namespace ambrel {

namespace {

const QString watcherName = QStringLiteral("org.kde.StatusNotifierWatcher");

// An XEmbed tray owns the manager selection of the screen.
bool xembedTrayPresent() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) {
        return false;
    }
    const std::string name = "_NET_SYSTEM_TRAY_S0";
    const auto cookie =
        xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.c_str());
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(connection, cookie, nullptr);
    if (atom == nullptr) {
        return false;
    }
    const xcb_atom_t selection = atom->atom;
    free(atom);
    if (selection == XCB_ATOM_NONE) {
        return false;
    }
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool owned = owner != nullptr && owner->owner != XCB_WINDOW_NONE;
    free(owner);
    return owned;
}

} // namespace

TrayHost::Probes TrayHost::standardProbes(QDBusConnection bus) {
    Probes probes;
    probes.xembed = xembedTrayPresent;
    probes.statusNotifier = [bus](std::function<void(bool)> answer) mutable {
        if (!bus.isConnected()) {
            answer(false);
            return;
        }
        // A watcher alone shows nothing: a host must have registered with it.
        auto call = QDBusMessage::createMethodCall(
            watcherName, QStringLiteral("/StatusNotifierWatcher"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        call << watcherName << QStringLiteral("IsStatusNotifierHostRegistered");
        auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(call, 2000));
        QObject::connect(pending, &QDBusPendingCallWatcher::finished, pending,
                         [answer](QDBusPendingCallWatcher* finished) {
                             const QDBusPendingReply<QDBusVariant> reply = *finished;
                             answer(!reply.isError() && reply.value().variant().toBool());
                             finished->deleteLater();
                         });
    };
    return probes;
}

TrayHost::TrayHost(core::Scheduler& scheduler, Probes probes, QDBusConnection bus)
    : scheduler_(scheduler)
    , probes_(std::move(probes)) {
    if (bus.isConnected()) {
        watcher_ =
            std::make_unique<QDBusServiceWatcher>(watcherName, bus,
                                                  QDBusServiceWatcher::WatchForRegistration |
                                                      QDBusServiceWatcher::WatchForUnregistration);
        QObject::connect(watcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, watcher_.get(),
                         [this] { check(); });
    }
}

TrayHost::~TrayHost() = default;

void TrayHost::start() {
    check();
}

void TrayHost::check() {
    if (!probes_.statusNotifier) {
        settle(false);
        return;
    }
    probes_.statusNotifier([this, alive = std::weak_ptr<bool>(alive_)](bool present) {
        if (alive.lock()) {
            settle(present);
        }
    });
}

void TrayHost::settle(bool statusNotifier) {
    const Kind kind = statusNotifier                       ? Kind::statusNotifier
                      : probes_.xembed && probes_.xembed() ? Kind::xembed
                                                           : Kind::none;
    // Hosts come and go without always telling (a tray that dies, a panel that registers its
    // host late): look again now and then.
    if (!recheck_) {
        recheck_ = scheduler_.every(recheckInterval, [this] { check(); });
    }
    if (kind != kind_ || !known_) {
        kind_ = kind;
        known_ = true;
        if (onChange) {
            onChange(kind_);
        }
    }
}

} // namespace ambrel
