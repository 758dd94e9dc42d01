#pragma once

#include <filesystem>

namespace ambrel::OwnExecutable {

// The running program's file, as the updater replaces it: /proc/self/exe.
std::filesystem::path running();

// The file that starts this program again later (at login, after a restart): the AppImage when
// running from one, since the running file lives in a mount that is gone by then; otherwise the
// running file.
std::filesystem::path launcher();

} // namespace ambrel::OwnExecutable
