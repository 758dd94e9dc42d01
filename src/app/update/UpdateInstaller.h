#pragma once

#include "app/desktop/InstallLocation.h"

#include <filesystem>

namespace ambrel::UpdateInstaller {

// Puts a checked download in place of the installed app, replacing it in one step (a rename),
// and returns the executable to start. Throws std::runtime_error with the reason, leaving the
// installed app as it was.
std::filesystem::path install(const InstallLocation& location,
                              const std::filesystem::path& download);

} // namespace ambrel::UpdateInstaller
