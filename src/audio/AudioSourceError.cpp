#include "AudioSourceError.h"

#include <fmt/format.h>
#include <pulse/error.h>

namespace ambrel {

AudioSourceError AudioSourceError::withServerError(const std::string& message, int errorCode) {
    if (errorCode == 0) {
        return AudioSourceError(message);
    }
    const char* text = pa_strerror(errorCode);
    return AudioSourceError(
        fmt::format("{} (PulseAudio error {}: {})", message, errorCode, text ? text : "unknown"));
}

} // namespace ambrel
