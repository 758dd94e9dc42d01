#include "QtScheduler.h"

#include "core/Clocks.h"

#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <cmath>

namespace ambrel {

namespace {

class QtTimer : public core::Scheduler::Timer {
public:
    explicit QtTimer(QTimer* timer) : timer_(timer) {}
    ~QtTimer() override { cancel(); }
    void cancel() override {
        if (timer_) {
            timer_->stop();
            // It may be the timer whose signal is running now.
            timer_->deleteLater();
            timer_.clear();
        }
    }

private:
    QPointer<QTimer> timer_;
};

int milliseconds(double seconds) {
    if (!(seconds > 0)) {
        return 0;
    }
    return static_cast<int>(std::min(std::ceil(seconds * 1000), 2'000'000'000.0));
}

} // namespace

QtScheduler::QtScheduler() = default;
QtScheduler::~QtScheduler() = default;

core::Instant QtScheduler::now() const {
    return core::Clocks::now();
}

double QtScheduler::monotonic() const {
    return core::Clocks::monotonic();
}

void QtScheduler::post(std::function<void()> work) {
    QMetaObject::invokeMethod(&context_, std::move(work), Qt::QueuedConnection);
}

core::Scheduler::TimerHandle QtScheduler::start(double seconds, bool repeating,
                                                std::function<void()> work) {
    auto* timer = new QTimer(&context_);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setSingleShot(!repeating);
    QObject::connect(timer, &QTimer::timeout, timer, std::move(work));
    timer->start(milliseconds(seconds));
    return std::make_unique<QtTimer>(timer);
}

core::Scheduler::TimerHandle QtScheduler::after(double seconds, std::function<void()> work) {
    return start(seconds, false, std::move(work));
}

core::Scheduler::TimerHandle QtScheduler::every(double seconds, std::function<void()> work) {
    return start(seconds, true, std::move(work));
}

} // namespace ambrel
