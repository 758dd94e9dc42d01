#include "RecognizerInput.h"

namespace ambrel {

bool RecognizerInput::push(AudioBuffer buffer, std::int64_t startSample) {
    {
        const std::lock_guard lock(mutex_);
        if (finished_ || cancelled_) {
            return false;
        }
        if (items_.size() >= capacity_) {
            items_.pop_front();
            ++dropped_;
        }
        items_.push_back(Item{std::move(buffer), startSample});
    }
    ready_.notify_one();
    return true;
}

void RecognizerInput::finish() {
    {
        const std::lock_guard lock(mutex_);
        finished_ = true;
    }
    ready_.notify_all();
}

void RecognizerInput::cancel() {
    {
        const std::lock_guard lock(mutex_);
        cancelled_ = true;
        items_.clear();
    }
    ready_.notify_all();
}

std::optional<RecognizerInput::Item> RecognizerInput::pop() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return cancelled_ || finished_ || !items_.empty(); });
    if (cancelled_ || items_.empty()) {
        return std::nullopt;
    }
    Item item = std::move(items_.front());
    items_.pop_front();
    return item;
}

bool RecognizerInput::cancelled() const {
    const std::lock_guard lock(mutex_);
    return cancelled_;
}

std::size_t RecognizerInput::size() const {
    const std::lock_guard lock(mutex_);
    return items_.size();
}

std::size_t RecognizerInput::dropped() const {
    const std::lock_guard lock(mutex_);
    return dropped_;
}

} // namespace ambrel
