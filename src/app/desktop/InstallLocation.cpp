#include "InstallLocation.h"

#include <unistd.h>

namespace ambrel {

namespace fs = std::filesystem;

namespace {

bool isWritable(const fs::path& path) {
    return ::access(path.c_str(), W_OK) == 0;
}

// Folders the system's package manager owns.
bool isSystemPrefix(const fs::path& prefix) {
    const auto normal = prefix.lexically_normal();
    for (const fs::path system : {"/usr", "/bin", "/sbin", "/lib", "/etc", "/snap"}) {
        const auto relative = normal.lexically_relative(system);
        if (!relative.empty() && *relative.begin() != "..") {
            return true;
        }
    }
    return normal == "/";
}

} // namespace

InstallLocation InstallLocation::detect(const fs::path& executable,
                                        const std::optional<std::string>& appImage) {
    std::error_code error;
    if (appImage && !appImage->empty()) {
        const fs::path image(*appImage);
        if (fs::is_regular_file(image, error) && isWritable(image.parent_path())) {
            return {Kind::appImage, image};
        }
        return {Kind::package, image};
    }
    // An unpacked release: bin/ambrel beside share/applications, in a folder of the user's.
    const fs::path prefix = executable.parent_path().parent_path();
    if (!isSystemPrefix(prefix) &&
        fs::exists(prefix / "share/applications/org.ambrel.Ambrel.desktop", error) &&
        isWritable(prefix) && isWritable(prefix.parent_path())) {
        return {Kind::folder, prefix};
    }
    return {Kind::package, executable};
}

std::string InstallLocation::downloadSuffix() const {
    switch (kind) {
    case Kind::appImage:
        return ".AppImage";
    case Kind::folder:
        return ".tar.gz";
    case Kind::package:
        break;
    }
    return {};
}

} // namespace ambrel
