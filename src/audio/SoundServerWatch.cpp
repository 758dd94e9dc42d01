#include "SoundServerWatch.h"

#include <utility>

namespace ambrel {

SoundServerWatch::SoundServerWatch(Read read) : read_(std::move(read)) {}

SoundServerWatch::~SoundServerWatch() {
    // The connection first: its callbacks queue reads on the worker.
    worker_.sync([this] {
        if (connection_) {
            connection_->stop();
        }
    });
    connection_.reset();
}

void SoundServerWatch::start(std::function<void()> onChange) {
    onChange_ = std::move(onChange);
    const auto events = static_cast<pa_subscription_mask_t>(
        PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SINK_INPUT |
        PA_SUBSCRIPTION_MASK_SOURCE_OUTPUT | PA_SUBSCRIPTION_MASK_SERVER |
        PA_SUBSCRIPTION_MASK_CARD);
    connection_ = std::make_unique<PulseConnection>(
        "ambrel-watch", events,
        PulseConnection::Handlers{
            [this] { changed(); }, [this](int) { lost(); },
            [this](pa_subscription_event_type_t, std::uint32_t) { changed(); }});
    // Connecting may take a while with a server that is slow or not there yet: not here.
    worker_.async([connection = connection_.get()] { connection->start(2.0); });
}

std::optional<AudioSnapshot> SoundServerWatch::latest() const {
    const std::lock_guard lock(mutex_);
    return latest_;
}

void SoundServerWatch::changed() {
    if (pending_.exchange(true)) {
        return; // a read is queued and will see this change too
    }
    worker_.async([this] {
        pending_ = false;
        auto reading = read_();
        {
            const std::lock_guard lock(mutex_);
            latest_ = std::move(reading);
        }
        if (onChange_) {
            onChange_();
        }
    });
}

void SoundServerWatch::lost() {
    {
        const std::lock_guard lock(mutex_);
        latest_.reset();
    }
    worker_.async([this] {
        if (onChange_) {
            onChange_();
        }
    });
}

} // namespace ambrel
