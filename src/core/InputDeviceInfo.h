#pragma once

#include <string>

namespace ambrel::core {

// What is known about one input device when choosing the microphone.
struct InputDeviceInfo {
    std::string uid;
    std::string name; // the uid when the device has no name
    bool isDefault = false;
    bool isBuiltIn = false;
    bool isVirtual = false;       // software, loopback or combined devices
    bool usedByOtherApp = false;  // another process records from it
    bool usedByCallApp = false;   // a process that records and plays (a call) uses it
    bool mayBeOutputOnly = false; // the only user may merely be playing to it

    bool operator==(const InputDeviceInfo&) const = default;
};

} // namespace ambrel::core
