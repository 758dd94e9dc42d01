#pragma once

#include <filesystem>
#include <optional>

// The folder that holds the single-instance socket: private to the user, so that nobody else
// can put a socket where the app looks for its running copy.
namespace ambrel::InstanceSocketFolder {

// "ambrel" in the runtime folder when that is a folder of ours with mode 0700, else
// "ambrel-<uid>" in `temporaryFolder`; made with mode 0700 when missing. Nothing when the one
// found is not a folder, is a symbolic link, belongs to somebody else or is open to others.
std::optional<std::filesystem::path> prepare(const char* runtimeFolder,
                                             const std::filesystem::path& temporaryFolder = "/tmp");

// A real folder (no symbolic link), owned by this process's user, with mode 0700.
bool isPrivateFolder(const std::filesystem::path& folder);

} // namespace ambrel::InstanceSocketFolder
