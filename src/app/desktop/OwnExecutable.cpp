#include "OwnExecutable.h"

#include <cstdlib>

namespace ambrel::OwnExecutable {

namespace fs = std::filesystem;

fs::path running() {
    std::error_code error;
    const auto path = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path("ambrel") : path;
}

std::optional<std::string> trustedAppImage(const fs::path& running, const char* appImage,
                                           const char* appDir) {
    if (appImage == nullptr || appImage[0] != '/' || appDir == nullptr || appDir[0] != '/') {
        return std::nullopt;
    }
    std::error_code error;
    const auto mount = fs::canonical(appDir, error);
    if (error || mount == mount.root_path() || !fs::is_directory(mount, error)) {
        return std::nullopt;
    }
    if (!running.is_absolute()) {
        return std::nullopt;
    }
    const auto inside = fs::weakly_canonical(running, error).lexically_relative(mount);
    if (error || inside.empty() || *inside.begin() == ".." || inside == ".") {
        return std::nullopt;
    }
    // The file itself, not a link: the updater replaces it by renaming over it.
    if (!fs::is_regular_file(fs::symlink_status(appImage, error))) {
        return std::nullopt;
    }
    return std::string(appImage);
}

std::optional<std::string> appImage() {
    return trustedAppImage(running(), std::getenv("APPIMAGE"), std::getenv("APPDIR"));
}

fs::path launcher() {
    if (const auto image = appImage()) {
        return *image;
    }
    return running();
}

} // namespace ambrel::OwnExecutable
