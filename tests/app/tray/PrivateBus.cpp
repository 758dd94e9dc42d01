#include "PrivateBus.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDeadlineTimer>

namespace ambrel::testing {

namespace {
const QString watcherName = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
} // namespace

PrivateBus::PrivateBus() {
    const QString socket = folder_.filePath(QStringLiteral("bus"));
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1"),
                   QStringLiteral("--address=unix:path=") + socket});
    if (!daemon_.waitForStarted(5000)) {
        return;
    }
    // The daemon prints its address once it listens.
    while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {
    }
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
}

PrivateBus::~PrivateBus() {
    for (const QString& name : names_) {
        QDBusConnection::disconnectFromBus(name);
    }
    daemon_.terminate();
    daemon_.waitForFinished(5000);
}

QDBusConnection PrivateBus::connect(const QString& name) const {
    const_cast<QStringList&>(names_).append(name);
    return QDBusConnection::connectToBus(address_, name);
}

FakeWatcher::FakeWatcher(QDBusConnection connection) : connection_(std::move(connection)) {}

FakeWatcher::~FakeWatcher() {
    disappear();
}

bool FakeWatcher::appear() {
    return connection_.registerVirtualObject(watcherPath, this) &&
           connection_.registerService(watcherName);
}

void FakeWatcher::disappear() {
    connection_.unregisterService(watcherName);
    connection_.unregisterObject(watcherPath);
}

QString FakeWatcher::introspect(const QString&) const {
    return {};
}

bool FakeWatcher::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    const auto arguments = message.arguments();
    if (message.member() == QLatin1String("RegisterStatusNotifierItem") && arguments.size() == 1) {
        registered.append(arguments[0].toString());
        return connection.send(message.createReply());
    }
    if (message.member() == QLatin1String("Get") && arguments.size() == 2) {
        const QString property = arguments[1].toString();
        QVariant value;
        if (property == QLatin1String("IsStatusNotifierHostRegistered")) {
            value = true;
        } else if (property == QLatin1String("ProtocolVersion")) {
            value = 0;
        } else {
            return false;
        }
        return connection.send(message.createReply(QVariant::fromValue(QDBusVariant(value))));
    }
    return false;
}

bool runUntil(const std::function<bool()>& done, int milliseconds) {
    const QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

QDBusMessage callAndWait(QDBusConnection connection, const QDBusMessage& call) {
    QDBusPendingCallWatcher watcher(connection.asyncCall(call, 5000));
    runUntil([&] { return watcher.isFinished(); }, 6000);
    return watcher.reply();
}

} // namespace ambrel::testing
