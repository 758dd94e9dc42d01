#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// Whole-file reads and writes that never leave a half-written file behind.
// Failures throw std::filesystem::filesystem_error carrying the path and the system's code.
namespace ambrel::core::FileAccess {

// Reads regular files only, and never waits for one: a pipe, a device or a socket fails at once
// with ENODEV, a folder with EISDIR. Fails with EFBIG when the file holds more than maximumSize
// bytes.
std::string read(const std::filesystem::path& path, std::uintmax_t maximumSize);

// Writes to a hidden temporary file in the same folder, flushes it to disk and renames it over
// the target, so readers see either the old or the new contents. The folder must exist. A new
// file is for its owner only (0600 less the umask); a replaced file keeps its permissions.
void writeAtomically(const std::filesystem::path& path, std::string_view bytes);

// Creates `folder` and its missing parents for the owner only (0700 less the umask); folders
// that exist keep their permissions. Fails like std::filesystem::create_directories.
void createPrivateFolders(const std::filesystem::path& folder);

// Renames without replacing an existing destination; fails with EEXIST if there is one.
void renameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// Moves a regular file to another file system: copies it with its permissions, flushes the copy
// to disk, then removes the original. Fails with EEXIST when `to` exists, leaving both alone.
void moveAcrossFileSystems(const std::filesystem::path& from, const std::filesystem::path& to);

} // namespace ambrel::core::FileAccess
