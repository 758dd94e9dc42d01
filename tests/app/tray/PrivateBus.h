#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace ambrel::testing {

// A session bus of the test's own (a dbus-daemon in a temporary folder), so tray tests never
// touch the desktop's bus.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool isRunning() const { return !address_.isEmpty(); }
    // A new connection under its own name: the app's side and the panel's side are two.
    QDBusConnection connect(const QString& name) const;

private:
    QTemporaryDir folder_;
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

// A panel's StatusNotifier watcher with a host: counts registrations, answers that a host is
// there, and goes away and comes back on demand.
class FakeWatcher : public QDBusVirtualObject {
public:
    explicit FakeWatcher(QDBusConnection connection);
    ~FakeWatcher() override;

    bool appear();
    void disappear();

    QStringList registered;

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    QDBusConnection connection_;
};

// Runs the event loop until `done` holds (true) or a few seconds pass (false): for answers
// that come over the bus, never for the engine, which runs in virtual time.
bool runUntil(const std::function<bool()>& done, int milliseconds = 5000);

// Calls a method over `connection` and waits for the answer while the event loop runs, so the
// app's side (in this thread too) can answer.
QDBusMessage callAndWait(QDBusConnection connection, const QDBusMessage& call);

} // namespace ambrel::testing
