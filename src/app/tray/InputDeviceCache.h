#pragma once

#include "core/InputDeviceInfo.h"
#include "core/Scheduler.h"
#include "core/SerialQueue.h"

#include <functional>
#include <memory>
#include <vector>

namespace ambrel {

// The microphones as last heard from the sound server: menus read them at once, and a fresh
// list is asked for on a worker, so that a slow or absent server never holds up the window
// thread.
class InputDeviceCache {
public:
    using Query = std::function<std::vector<core::InputDeviceInfo>()>;
    // `background`: where queries run; empty: a worker of the cache's own.
    InputDeviceCache(core::Scheduler& scheduler, Query query,
                     std::function<void(std::function<void()>)> background = {});
    ~InputDeviceCache();
    InputDeviceCache(const InputDeviceCache&) = delete;
    InputDeviceCache& operator=(const InputDeviceCache&) = delete;

    const std::vector<core::InputDeviceInfo>& devices() const { return devices_; }
    // Asks the server again; a question already on its way is not asked twice.
    void refresh();
    // The list changed (on the scheduler's thread).
    std::function<void()> onChange;

private:
    core::Scheduler& scheduler_;
    Query query_;
    std::function<void(std::function<void()>)> background_;
    std::unique_ptr<core::SerialQueue> worker_;
    std::vector<core::InputDeviceInfo> devices_;
    bool asking_ = false;
    bool askAgain_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace ambrel
