#pragma once

#include <filesystem>

// The user's base folders as desktops lay them out: each $XDG_*_HOME when it holds an absolute
// path, else its usual place in the home folder.
namespace ambrel::core::XdgFolders {

// $HOME when absolute, else the account database; empty when neither knows.
std::filesystem::path home();

// $XDG_DATA_HOME, else ~/.local/share.
std::filesystem::path dataHome();

// $XDG_CONFIG_HOME, else ~/.config.
std::filesystem::path configHome();

// $XDG_CACHE_HOME, else ~/.cache.
std::filesystem::path cacheHome();

} // namespace ambrel::core::XdgFolders
