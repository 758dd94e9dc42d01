#pragma once

#include "audio/AudioBuffer.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

namespace ambrel {

// The audio waiting for a recogniser's thread: at most `capacity` buffers, the oldest dropped
// when recognition falls behind; then an end-of-input mark or a cancellation.
class RecognizerInput {
public:
    struct Item {
        AudioBuffer buffer;
        std::int64_t startSample = 0;
    };

    explicit RecognizerInput(std::size_t capacity = 2000) : capacity_(capacity) {}

    // False once finished or cancelled.
    bool push(AudioBuffer buffer, std::int64_t startSample);
    void finish();
    void cancel();

    // The next buffer; absent at the end of input or after cancel(). Blocks until one of those.
    std::optional<Item> pop();
    bool cancelled() const;
    std::size_t dropped() const;
    std::size_t size() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Item> items_;
    std::size_t capacity_;
    std::size_t dropped_ = 0;
    bool finished_ = false;
    bool cancelled_ = false;
};

} // namespace ambrel
