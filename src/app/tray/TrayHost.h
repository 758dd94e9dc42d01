#pragma once

#include "core/Scheduler.h"

#include <QDBusConnection>

#include <functional>
#include <memory>

class QDBusServiceWatcher;

namespace ambrel {

// Which tray the desktop offers, followed for the whole session: a StatusNotifier host (KDE,
// GNOME with the AppIndicator extension, XFCE...), else an XEmbed tray, else none (stock
// GNOME). A panel that starts after the app, restarts or goes away is noticed: the watcher's
// name on the bus is watched, and both are checked again every few seconds.
class TrayHost {
public:
    enum class Kind { none, xembed, statusNotifier };
    static constexpr double recheckInterval = 2.0;

    struct Probes {
        // Is there an XEmbed tray on the display?
        std::function<bool()> xembed;
        // Is a StatusNotifier watcher with a host on the bus? Answers through the callback.
        std::function<void(std::function<void(bool)> answer)> statusNotifier;
    };

    // The real probes: the X11 tray selection, and the watcher on the session bus.
    static Probes standardProbes(QDBusConnection bus);

    TrayHost(core::Scheduler& scheduler, Probes probes,
             QDBusConnection bus = QDBusConnection::sessionBus());
    ~TrayHost();
    TrayHost(const TrayHost&) = delete;
    TrayHost& operator=(const TrayHost&) = delete;

    // Told of the first answer and of every change of kind, on the scheduler's thread.
    std::function<void(Kind)> onChange;

    // Takes the first look; answers may come at once or later.
    void start();
    Kind kind() const { return kind_; }
    bool isKnown() const { return known_; }
    // Looks again now (a watcher came or went).
    void check();

private:
    void settle(bool statusNotifier);

    core::Scheduler& scheduler_;
    Probes probes_;
    Kind kind_ = Kind::none;
    bool known_ = false;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    core::Scheduler::TimerHandle recheck_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace ambrel
