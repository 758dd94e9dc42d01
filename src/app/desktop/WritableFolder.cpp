#include "WritableFolder.h"

#include "core/FileAccess.h"
#include "core/Uuid.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace ambrel::WritableFolder {

std::optional<std::string> problem(const std::filesystem::path& folder) {
    // Transcripts are private: folders made for them are the user's alone.
    try {
        core::FileAccess::createPrivateFolders(folder);
    } catch (const std::filesystem::filesystem_error& failure) {
        return failure.code().message();
    }
    std::error_code error;
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
