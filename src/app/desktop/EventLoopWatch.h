#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <memory>

namespace ambrel {

// Notes every time the window thread was held up (by a wait, say) for longer than a frame, in
// the log category org.ambrel.Ambrel.ui at debug level; idle and silent unless that is on, so
// it costs nothing when nobody looks.
class EventLoopWatch {
public:
    // Starts when the category's debug messages are enabled; otherwise does nothing.
    EventLoopWatch();
    bool isWatching() const { return timer_ != nullptr; }

private:
    void tick();

    std::unique_ptr<QTimer> timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
};

} // namespace ambrel
