#pragma once

#include "core/Scheduler.h"

#include <QObject>

namespace ambrel {

// The main thread's clocks and timers on the Qt event loop. Timers keep firing while menus are
// open. Create it on the main thread, after the application object.
class QtScheduler : public core::Scheduler {
public:
    QtScheduler();
    ~QtScheduler() override;

    core::Instant now() const override;
    double monotonic() const override;
    void post(std::function<void()> work) override;
    TimerHandle after(double seconds, std::function<void()> work) override;
    TimerHandle every(double seconds, std::function<void()> work) override;

private:
    TimerHandle start(double seconds, bool repeating, std::function<void()> work);

    // Posted work runs in this object's thread and dies with it.
    QObject context_;
};

} // namespace ambrel
