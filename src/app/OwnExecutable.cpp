#include "OwnExecutable.h"

#include <cstdlib>

namespace ambrel::OwnExecutable {

namespace fs = std::filesystem;

fs::path running() {
    std::error_code error;
    const auto path = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path("ambrel") : path;
}

fs::path launcher() {
    if (const char* image = std::getenv("APPIMAGE"); image != nullptr && *image == '/') {
        return image;
    }
    return running();
}

} // namespace ambrel::OwnExecutable
