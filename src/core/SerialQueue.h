#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace ambrel::core {

// A named worker thread that runs submitted work one item after another, in order.
class SerialQueue {
public:
    // The thread is named after the label's last part ("org.ambrel.Ambrel.save" -> "save").
    explicit SerialQueue(std::string label);
    // Runs what was submitted, then ends the thread.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const { return label_; }

    void async(std::function<void()> work);
    // Runs `work` after everything submitted before it, and waits for it. Not from the queue's
    // own thread.
    void sync(const std::function<void()>& work);
    // Waits for everything submitted so far.
    void drain() {
        sync([] {});
    }

private:
    void run();

    std::string label_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> work_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace ambrel::core
