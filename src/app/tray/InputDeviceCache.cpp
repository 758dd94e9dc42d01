#include "InputDeviceCache.h"

#include <utility>

namespace ambrel {

InputDeviceCache::InputDeviceCache(core::Scheduler& scheduler, Query query,
                                   std::function<void(std::function<void()>)> background)
    : scheduler_(scheduler)
    , query_(std::move(query))
    , background_(std::move(background)) {
    if (!background_) {
        worker_ = std::make_unique<core::SerialQueue>("org.ambrel.Ambrel.devices");
        background_ = [worker = worker_.get()](std::function<void()> work) {
            worker->async(std::move(work));
        };
    }
}

InputDeviceCache::~InputDeviceCache() {
    alive_.reset();
}

void InputDeviceCache::refresh() {
    if (asking_) {
        askAgain_ = true;
        return;
    }
    asking_ = true;
    background_(
        [this, query = query_, &scheduler = scheduler_, alive = std::weak_ptr<bool>(alive_)] {
            auto devices = query();
            scheduler.post([this, alive, devices = std::move(devices)]() mutable {
                if (!alive.lock()) {
                    return;
                }
                asking_ = false;
                const bool changed = devices != devices_;
                devices_ = std::move(devices);
                if (changed && onChange) {
                    onChange();
                }
                if (std::exchange(askAgain_, false)) {
                    refresh();
                }
            });
        });
}

} // namespace ambrel
