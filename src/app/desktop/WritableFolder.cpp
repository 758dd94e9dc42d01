#include "WritableFolder.h"

#include "core/Uuid.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace ambrel::WritableFolder {

std::optional<std::string> problem(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        return error.message();
    }
    if (!std::filesystem::is_directory(folder, error)) {
        return std::string("Not a directory");
    }
    const auto probe = folder / (".ambrel-probe-" + core::Uuid::random().string());
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return std::string(std::strerror(errno));
    }
    ::close(fd);
    if (::unlink(probe.c_str()) != 0) {
        return std::string(std::strerror(errno));
    }
    return std::nullopt;
}

} // namespace ambrel::WritableFolder
