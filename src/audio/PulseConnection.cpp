#include "PulseConnection.h"

#include <cmath>

namespace ambrel {

namespace {
constexpr double retryInterval = 0.2;
// A server that takes longer than this to accept a connection is treated as gone.
constexpr double connectTimeout = 3.0;
} // namespace

PulseConnection::Lock::Lock(pa_threaded_mainloop* loop)
    : loop_(loop != nullptr && !pa_threaded_mainloop_in_thread(loop) ? loop : nullptr) {
    if (loop_ != nullptr) {
        pa_threaded_mainloop_lock(loop_);
    }
}

PulseConnection::Lock::~Lock() {
    if (loop_ != nullptr) {
        pa_threaded_mainloop_unlock(loop_);
    }
}

PulseConnection::PulseConnection(std::string threadName, pa_subscription_mask_t events,
                                 Handlers handlers)
    : threadName_(std::move(threadName))
    , events_(events)
    , handlers_(std::move(handlers)) {}

PulseConnection::~PulseConnection() {
    stop();
}

pa_mainloop_api* PulseConnection::api() const {
    return pa_threaded_mainloop_get_api(loop_);
}

int PulseConnection::start(double timeoutSeconds) {
    if (loop_ != nullptr) {
        return ready_ ? 0 : PA_ERR_BADSTATE;
    }
    loop_ = pa_threaded_mainloop_new();
    if (loop_ == nullptr) {
        return PA_ERR_INTERNAL;
    }
    pa_threaded_mainloop_set_name(loop_, threadName_.substr(0, 15).c_str());
    if (pa_threaded_mainloop_start(loop_) < 0) {
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
        return PA_ERR_INTERNAL;
    }
    const auto guard = lock();
    stopping_ = false;
    connect();
    wait([this] { return ready_ || attempted_; }, timeoutSeconds);
    if (ready_) {
        return 0;
    }
    return firstError_ != 0 ? firstError_ : PA_ERR_TIMEOUT;
}

void PulseConnection::stop() {
    if (loop_ == nullptr) {
        return;
    }
    {
        const auto guard = lock();
        stopping_ = true;
        for (auto& [event, work] : timers_) {
            api()->time_free(event);
        }
        timers_.clear();
        retry_ = nullptr;
        connectTimeout_ = nullptr;
        dropContext();
        ready_ = false;
    }
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
}

void PulseConnection::reconnect() {
    const auto guard = lock();
    if (stopping_ || context_ == nullptr) {
        return;
    }
    const bool wasReady = ready_;
    dropContext();
    ready_ = false;
    if (wasReady && handlers_.onLost) {
        handlers_.onLost(PA_ERR_TIMEOUT);
    }
    scheduleRetry();
}

void PulseConnection::connect() {
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Ambrel");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "org.ambrel.Ambrel");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ICON_NAME, "org.ambrel.Ambrel");
    context_ = pa_context_new_with_proplist(api(), "Ambrel", properties);
    pa_proplist_free(properties);
    if (context_ == nullptr) {
        fail(PA_ERR_INTERNAL);
        return;
    }
    pa_context_set_state_callback(context_, &PulseConnection::stateCallback, this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        fail(pa_context_errno(context_));
        return;
    }
    connectTimeout_ = timer(connectTimeout, [this] {
        connectTimeout_ = nullptr;
        if (!ready_) {
            dropContext();
            fail(PA_ERR_TIMEOUT);
        }
    });
}

// A connection attempt or a ready connection ended; try again shortly.
void PulseConnection::fail(int error) {
    if (stopping_) {
        return;
    }
    cancelTimer(connectTimeout_);
    const bool wasReady = ready_;
    ready_ = false;
    if (!attempted_) {
        attempted_ = true;
        firstError_ = error;
    }
    signal();
    if (wasReady && handlers_.onLost) {
        handlers_.onLost(error);
    }
    scheduleRetry();
}

void PulseConnection::dropContext() {
    if (context_ == nullptr) {
        return;
    }
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_set_subscribe_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
}

void PulseConnection::scheduleRetry() {
    if (retry_ != nullptr || stopping_) {
        return;
    }
    retry_ = timer(retryInterval, [this] {
        retry_ = nullptr;
        dropContext();
        connect();
    });
}

void PulseConnection::handleState() {
    switch (pa_context_get_state(context_)) {
    case PA_CONTEXT_READY:
        cancelTimer(connectTimeout_);
        ready_ = true;
        attempted_ = true;
        if (events_ != PA_SUBSCRIPTION_MASK_NULL) {
            pa_context_set_subscribe_callback(context_, &PulseConnection::subscribeCallback, this);
            if (pa_operation* operation =
                    pa_context_subscribe(context_, events_, nullptr, nullptr)) {
                pa_operation_unref(operation);
            }
        }
        signal();
        if (handlers_.onReady) {
            handlers_.onReady();
        }
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        // The context is dropped by the retry, not inside its own callback.
        fail(pa_context_errno(context_));
        break;
    default:
        break;
    }
}

void PulseConnection::stateCallback(pa_context*, void* userdata) {
    static_cast<PulseConnection*>(userdata)->handleState();
}

void PulseConnection::subscribeCallback(pa_context*, pa_subscription_event_type_t type,
                                        std::uint32_t index, void* userdata) {
    auto* self = static_cast<PulseConnection*>(userdata);
    if (self->handlers_.onEvent) {
        self->handlers_.onEvent(type, index);
    }
}

bool PulseConnection::wait(const std::function<bool()>& done, double timeoutSeconds) {
    bool timedOut = false;
    pa_time_event* deadline = timer(timeoutSeconds, [&] {
        timedOut = true;
        signal();
    });
    while (!done() && !timedOut) {
        pa_threaded_mainloop_wait(loop_);
    }
    if (!timedOut) {
        cancelTimer(deadline);
    }
    return done();
}

void PulseConnection::signal() {
    pa_threaded_mainloop_signal(loop_, 0);
}

pa_time_event* PulseConnection::timer(double seconds, std::function<void()> work) {
    timeval when{};
    pa_gettimeofday(&when);
    pa_timeval_add(&when, static_cast<pa_usec_t>(std::max(seconds, 0.0) * PA_USEC_PER_SEC));
    pa_time_event* event = api()->time_new(api(), &when, &PulseConnection::timerCallback, this);
    timers_.emplace(event, std::move(work));
    return event;
}

void PulseConnection::cancelTimer(pa_time_event*& event) {
    if (event == nullptr) {
        return;
    }
    if (timers_.erase(event) > 0) {
        api()->time_free(event);
    }
    event = nullptr;
}

void PulseConnection::timerCallback(pa_mainloop_api* api, pa_time_event* event, const timeval*,
                                    void* userdata) {
    auto* self = static_cast<PulseConnection*>(userdata);
    const auto found = self->timers_.find(event);
    if (found == self->timers_.end()) {
        return;
    }
    auto work = std::move(found->second);
    self->timers_.erase(found);
    api->time_free(event);
    work();
}

} // namespace ambrel
