#include "MicrophoneSelection.h"

namespace ambrel::core {

namespace {
constexpr std::string_view devicePrefix = "device:";
}

MicrophoneSelection MicrophoneSelection::fromStorageValue(std::optional<std::string_view> value) {
    if (value && value->size() > devicePrefix.size() && value->starts_with(devicePrefix)) {
        return device(std::string(value->substr(devicePrefix.size())));
    }
    return automatic();
}

std::string MicrophoneSelection::storageValue() const {
    return uid_ ? std::string(devicePrefix) + *uid_ : "automatic";
}

} // namespace ambrel::core
