#pragma once

#include "AudioSnapshot.h"
#include "PulseConnection.h"

#include <memory>
#include <mutex>
#include <optional>

namespace ambrel {

// Reads an AudioSnapshot from the sound server over a connection of its own.
class PulseSnapshotReader {
public:
    // The process-wide reader behind AudioHardware.
    static PulseSnapshotReader& shared();

    // Absent when the server does not answer within the time given. Safe from any thread
    // except a connection's loop thread; reads are serialised.
    std::optional<AudioSnapshot> read(double timeoutSeconds);

private:
    std::mutex mutex_;
    std::unique_ptr<PulseConnection> connection_;
};

} // namespace ambrel
