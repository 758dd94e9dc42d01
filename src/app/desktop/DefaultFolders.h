#pragma once

#include <filesystem>

namespace ambrel::DefaultFolders {

// The user's home folder: $HOME, else the account database.
std::filesystem::path home();

// The XDG documents folder (user-dirs.dirs), else ~/Documents.
std::filesystem::path documents();

// Where sessions go until the user picks a folder: "Ambrel" in the documents folder.
std::filesystem::path transcripts();

} // namespace ambrel::DefaultFolders
