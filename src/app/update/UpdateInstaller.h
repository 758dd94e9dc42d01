#pragma once

#include "app/desktop/InstallLocation.h"

#include <filesystem>
#include <string>

namespace ambrel::UpdateInstaller {

// Puts a checked download, the open file `release`, in place of the installed app, replacing it
// in one step (a rename), and returns the executable to start. The bytes are read from
// `release` itself, never from its path, so they are the ones that were checked. A release
// folder named for a version ("ambrel-1.3-linux-x86_64") must be `version`. Throws
// std::runtime_error with the reason, leaving the installed app as it was.
std::filesystem::path install(const InstallLocation& location, int release,
                              const std::string& version);

} // namespace ambrel::UpdateInstaller
