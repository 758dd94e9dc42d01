#include "OwnExecutable.h"

#include <cstdlib>

namespace ambrel::OwnExecutable {

namespace fs = std::filesystem;

fs::path running() {
    std::error_code error;
    const auto path = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path("ambrel") : path;
}

std::optional<std::string> appImage() {
    const char* image = std::getenv("APPIMAGE");
    return image != nullptr ? std::optional<std::string>(image) : std::nullopt;
}

fs::path launcher() {
    if (const auto image = appImage(); image && image->starts_with('/')) {
        return *image;
    }
    return running();
}

} // namespace ambrel::OwnExecutable
