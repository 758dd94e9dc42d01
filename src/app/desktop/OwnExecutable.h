#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace ambrel::OwnExecutable {

// The running program's file, as the updater replaces it: /proc/self/exe.
std::filesystem::path running();

// The AppImage this program runs from, as its runtime tells ($APPIMAGE), when that can be
// believed (see trustedAppImage); absent otherwise.
std::optional<std::string> appImage();

// `appImage` ($APPIMAGE) when the program `running` lies inside that image's mount `appDir`
// ($APPDIR, resolved) and the image is a regular file at an absolute path. AppImage runtimes
// hand both variables down to every program started from them, so a program that merely
// inherited them must not take that image for its own.
std::optional<std::string> trustedAppImage(const std::filesystem::path& running,
                                           const char* appImage, const char* appDir);

// The file that starts this program again later (at login, after a restart): the AppImage when
// running from one, since the running file lives in a mount that is gone by then; otherwise the
// running file.
std::filesystem::path launcher();

} // namespace ambrel::OwnExecutable
