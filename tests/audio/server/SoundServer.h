#pragma once

#include "AudioEnvelope.h"

#include <filesystem>
#include <string>
#include <vector>

namespace ambrel::testing {

// Commands against the test sound server (the one PULSE_SERVER names).
namespace SoundServer {

// Runs pactl with the arguments; returns its output, failing the test when it fails.
std::string pactl(const std::vector<std::string>& arguments);
// Loads a module and returns its index.
std::string loadModule(const std::vector<std::string>& arguments);

// Speech synthesised into a WAV file.
std::filesystem::path speak(const std::filesystem::path& folder, const std::string& name,
                            const std::string& text, const std::string& voice = "en");

// Starts or stops a private server of its own in `folder` (returns its PULSE_SERVER address).
std::string startPrivate(const std::filesystem::path& folder);
void stopPrivate(const std::filesystem::path& folder);

} // namespace SoundServer
} // namespace ambrel::testing
