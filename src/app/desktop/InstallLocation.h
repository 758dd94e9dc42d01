#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace ambrel {

// Where the running app was installed, and whether an update can replace it: an AppImage, or a
// release folder the user unpacked somewhere writable. System packages are the package
// manager's to update.
struct InstallLocation {
    enum class Kind { appImage, folder, package };

    Kind kind = Kind::package;
    std::filesystem::path path; // the AppImage, the release folder, or the executable

    // `appImage`: the APPIMAGE variable of the process, when set.
    static InstallLocation detect(const std::filesystem::path& executable,
                                  const std::optional<std::string>& appImage);

    // What a download for this kind of install is called at its end; empty for packages.
    std::string downloadSuffix() const;
    bool canUpdate() const { return kind != Kind::package; }
};

} // namespace ambrel
