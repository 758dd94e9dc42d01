#pragma once

#include "InputDeviceInfo.h"
#include "MicrophoneSelection.h"

#include <optional>
#include <span>

namespace ambrel::core::MicrophoneChoice {

// The device to record as "the microphone": the selected one when present; otherwise a device
// another application records from (a call first, external before built-in), else the default,
// else the first. Absent only for an empty list.
std::optional<InputDeviceInfo> choose(const MicrophoneSelection& selection,
                                      std::span<const InputDeviceInfo> devices);

} // namespace ambrel::core::MicrophoneChoice
