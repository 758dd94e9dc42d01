#pragma once

#include "AudioSnapshot.h"
#include "PulseConnection.h"
#include "core/SerialQueue.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace ambrel {

// The sound server's devices and streams as last read, kept current from the server's own
// events, so that a window thread asking for the playback route or the microphones reads
// memory and never waits for a slow server. Reads run on a thread of their own; a burst of
// events costs one read.
class SoundServerWatch {
public:
    // Reads the server with `read` (absent: it did not answer); tests give their own.
    using Read = std::function<std::optional<AudioSnapshot>()>;
    explicit SoundServerWatch(Read read);
    ~SoundServerWatch();
    SoundServerWatch(const SoundServerWatch&) = delete;
    SoundServerWatch& operator=(const SoundServerWatch&) = delete;

    // Connects and follows the server from now on; never waits. `onChange` hears of every new
    // reading, on the watch's thread.
    void start(std::function<void()> onChange);
    // The devices and streams of the last reading; absent before the first or while the server
    // is gone.
    std::optional<AudioSnapshot> latest() const;
    // Something changed on the server: read again soon.
    void changed();
    // The server went away: what was known no longer holds.
    void lost();
    // Waits until the reads asked for so far are done (tests).
    void settle() { worker_.drain(); }

private:
    Read read_;
    core::SerialQueue worker_{"org.ambrel.Ambrel.server"};
    std::unique_ptr<PulseConnection> connection_;
    std::function<void()> onChange_;
    std::atomic<bool> pending_{false};
    mutable std::mutex mutex_;
    std::optional<AudioSnapshot> latest_;
};

} // namespace ambrel
