#include "MicrophoneChoice.h"

#include "UnicodeText.h"

#include <algorithm>
#include <vector>

namespace ambrel::core::MicrophoneChoice {

namespace {

// Negative when a should be preferred, positive when b should, zero when they tie.
int preference(const InputDeviceInfo& a, const InputDeviceInfo& b) {
    auto prefer = [](bool aWins, bool bWins) { return aWins == bWins ? 0 : aWins ? -1 : 1; };
    for (const int rule :
         {prefer(!a.mayBeOutputOnly, !b.mayBeOutputOnly), prefer(a.usedByCallApp, b.usedByCallApp),
          prefer(a.isDefault, b.isDefault), prefer(!a.isVirtual, !b.isVirtual),
          prefer(!a.isBuiltIn, !b.isBuiltIn)}) {
        if (rule != 0) {
            return rule;
        }
    }
    return UnicodeText::localizedStandardCompare(a.name, b.name);
}

} // namespace

std::optional<InputDeviceInfo> choose(const MicrophoneSelection& selection,
                                      std::span<const InputDeviceInfo> devices) {
    if (const auto& uid = selection.uid()) {
        const auto selected = std::find_if(devices.begin(), devices.end(),
                                           [&](const auto& device) { return device.uid == *uid; });
        if (selected != devices.end()) {
            return *selected;
        }
    }
    std::vector<InputDeviceInfo> candidates;
    std::copy_if(devices.begin(), devices.end(), std::back_inserter(candidates),
                 [](const auto& device) { return device.usedByOtherApp || device.usedByCallApp; });
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const auto& a, const auto& b) { return preference(a, b) < 0; });
    if (!candidates.empty()) {
        return candidates.front();
    }
    if (devices.empty()) {
        return std::nullopt;
    }
    const auto standard = std::find_if(devices.begin(), devices.end(),
                                       [](const auto& device) { return device.isDefault; });
    return standard != devices.end() ? *standard : devices.front();
}

} // namespace ambrel::core::MicrophoneChoice
