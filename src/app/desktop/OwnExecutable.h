#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace ambrel::OwnExecutable {

// The running program's file, as the updater replaces it: /proc/self/exe.
std::filesystem::path running();

// The AppImage this program runs from, as its runtime tells ($APPIMAGE); absent otherwise.
std::optional<std::string> appImage();

// The file that starts this program again later (at login, after a restart): the AppImage when
// running from one, since the running file lives in a mount that is gone by then; otherwise the
// running file.
std::filesystem::path launcher();

} // namespace ambrel::OwnExecutable
