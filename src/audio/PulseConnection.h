#pragma once

#include <pulse/pulseaudio.h>

#include <functional>
#include <map>
#include <optional>
#include <string>

namespace ambrel {

// One connection to the sound server on its own thread (a threaded main loop), which it keeps
// up: when the server goes away it reports the loss and tries again every 200 ms with a fresh
// context. All callbacks run on the connection's thread with its lock held.
class PulseConnection {
public:
    struct Handlers {
        std::function<void()> onReady;
        // A ready connection was lost; the error code is the server's.
        std::function<void(int error)> onLost;
        std::function<void(pa_subscription_event_type_t type, std::uint32_t index)> onEvent;
    };

    // `threadName` names the loop thread (at most 15 bytes are kept by the kernel).
    PulseConnection(std::string threadName, pa_subscription_mask_t events, Handlers handlers);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Starts the thread and connects. Returns 0 once ready, else the error of the first attempt
    // (PA_ERR_TIMEOUT when nothing happened in time); retries go on in the background either way.
    int start(double timeoutSeconds);
    // Disconnects and ends the thread; not from the connection's own thread.
    void stop();
    // Drops the current context and connects afresh (for a server that stopped answering).
    void reconnect();

    // Holds the loop's lock for the scope, unless already on the loop thread.
    class Lock {
    public:
        explicit Lock(pa_threaded_mainloop* loop);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* loop_;
    };
    Lock lock() { return Lock(loop_); }

    bool isReady() const { return ready_; }
    pa_context* context() const { return context_; }
    pa_threaded_mainloop* mainloop() const { return loop_; }
    pa_mainloop_api* api() const;

    // Waits (with the lock held, off the loop thread) until `done` holds or the time is up.
    bool wait(const std::function<bool()>& done, double timeoutSeconds);
    // Wakes a wait() (from a callback).
    void signal();

    // A one-shot timer on the loop thread (lock held); cancelled by cancelTimer or by stop().
    pa_time_event* timer(double seconds, std::function<void()> work);
    void cancelTimer(pa_time_event*& event);

private:
    void connect();
    void fail(int error);
    void dropContext();
    void scheduleRetry();
    void handleState();
    static void timerCallback(pa_mainloop_api*, pa_time_event* event, const struct timeval*,
                              void* userdata);
    static void stateCallback(pa_context* context, void* userdata);
    static void subscribeCallback(pa_context*, pa_subscription_event_type_t type,
                                  std::uint32_t index, void* userdata);

    std::string threadName_;
    pa_subscription_mask_t events_;
    Handlers handlers_;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    std::map<pa_time_event*, std::function<void()>> timers_;
    pa_time_event* retry_ = nullptr;
    pa_time_event* connectTimeout_ = nullptr;
    bool ready_ = false;
    bool stopping_ = false;
    int firstError_ = 0;
    bool attempted_ = false;
};

} // namespace ambrel
