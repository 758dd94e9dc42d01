#pragma once

#include <string>

// Whether this user may record what the computer plays and the microphone, found out by trying:
// a recording stream the server accepts means "allowed", one refused for access means "denied".
namespace ambrel::PermissionProbe {

struct Answer {
    std::string systemAudio = "unknown"; // "allowed", "denied" or "unknown"
    std::string microphone = "notAsked"; // "allowed", "denied" or "notAsked"
};

// Asks the server with a short-lived connection, within the time given.
Answer probe(double timeoutSeconds);

// "systemAudio=<word> microphone=<word>"
std::string line(const Answer& answer);

} // namespace ambrel::PermissionProbe
