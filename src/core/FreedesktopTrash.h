#pragma once

#include <filesystem>

// The user's trash in the freedesktop.org layout that file managers share: the home trash
// ($XDG_DATA_HOME/Trash) for files on the home file system, $topdir/.Trash/$uid or
// $topdir/.Trash-$uid for files on other mounts.
namespace ambrel::core::FreedesktopTrash {

// Moves one file into the trash with its .trashinfo record. Throws
// std::filesystem::filesystem_error when no trash can take it; the file then stays in place.
void moveToTrash(const std::filesystem::path& file);

} // namespace ambrel::core::FreedesktopTrash
