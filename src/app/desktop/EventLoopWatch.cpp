#include "EventLoopWatch.h"

#include <QLoggingCategory>

namespace ambrel {

namespace {

Q_LOGGING_CATEGORY(uiCategory, "org.ambrel.Ambrel.ui", QtInfoMsg)

constexpr int tickMilliseconds = 10;
// Longer than this between two ticks is a stall a person could notice in a menu.
constexpr qint64 reportedMilliseconds = 20;

} // namespace

EventLoopWatch::EventLoopWatch() {
    if (!uiCategory().isDebugEnabled()) {
        return;
    }
    timer_ = std::make_unique<QTimer>();
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(tickMilliseconds);
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { tick(); });
    clock_.start();
    last_ = clock_.elapsed();
    timer_->start();
}

void EventLoopWatch::tick() {
    const qint64 now = clock_.elapsed();
    const qint64 late = now - last_ - tickMilliseconds;
    last_ = now;
    if (late > reportedMilliseconds) {
        qCDebug(uiCategory).noquote()
            << QStringLiteral("The window thread was held up for %1 ms").arg(late);
    }
}

} // namespace ambrel
