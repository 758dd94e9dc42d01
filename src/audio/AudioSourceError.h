#pragma once

#include <stdexcept>
#include <string>

namespace ambrel {

// Why capture could not start or was lost; the message is shown to the user.
class AudioSourceError : public std::runtime_error {
public:
    explicit AudioSourceError(const std::string& message) : std::runtime_error(message) {}

    // The message followed by the sound server's error: " (PulseAudio error 6: Connection
    // refused)". An error code of 0 adds nothing.
    static AudioSourceError withServerError(const std::string& message, int errorCode);

    std::string message() const { return what(); }
};

} // namespace ambrel
