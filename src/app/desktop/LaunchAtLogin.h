#pragma once

#include <filesystem>

namespace ambrel::LaunchAtLogin {

// The XDG autostart entry that starts the app when the user logs in.
std::filesystem::path entryPath();
bool isEnabled();
// Writes the entry for this executable, or removes it; throws with the reason when the file
// cannot be written or removed.
void setEnabled(bool enabled, const std::filesystem::path& executable);

} // namespace ambrel::LaunchAtLogin
