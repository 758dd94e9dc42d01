#pragma once

#include <filesystem>
#include <optional>

// The user's trash in the freedesktop.org layout that file managers share: the home trash
// ($XDG_DATA_HOME/Trash) for files on the home file system, $topdir/.Trash/$uid or
// $topdir/.Trash-$uid for files on other mounts.
namespace ambrel::core::FreedesktopTrash {

// Moves one file into the trash with its .trashinfo record. Throws
// std::filesystem::filesystem_error when no trash can take it; the file then stays in place.
void moveToTrash(const std::filesystem::path& file);

// The same for a file on another mount than the home trash, whose top folder is `mountTop`.
// When the mount has no trash that is ours alone, the file is copied into the home trash.
void moveToTrash(const std::filesystem::path& file, const std::filesystem::path& mountTop);

// The trash of the mount whose top folder is `mountTop`, made when missing. Absent unless it is
// a real folder (not a link) that we own and that only we may enter (0700), with the same kind
// of "files" and "info" folders in it: someone else could read or swap what goes in there.
std::optional<std::filesystem::path> mountTrash(const std::filesystem::path& mountTop);

} // namespace ambrel::core::FreedesktopTrash
