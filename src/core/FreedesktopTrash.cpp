#include "FreedesktopTrash.h"

#include "FileAccess.h"
#include "PercentEncoding.h"
#include "XdgFolders.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace ambrel::core::FreedesktopTrash {

namespace fs = std::filesystem;

namespace {

std::error_code lastError() {
    return std::error_code(errno, std::generic_category());
}

fs::path homeTrash() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
        return fs::path(data) / "Trash";
    }
    if (XdgFolders::home().empty()) {
        throw fs::filesystem_error("No home folder for the trash",
                                   std::make_error_code(std::errc::no_such_file_or_directory));
    }
    return XdgFolders::dataHome() / "Trash";
}

std::optional<dev_t> deviceOf(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return info.st_dev;
}

// The top of the mount that holds `folder`: the last ancestor still on the same device.
fs::path mountTop(const fs::path& folder, dev_t device) {
    fs::path top = folder;
    while (top.has_relative_path()) {
        const fs::path parent = top.parent_path();
        if (deviceOf(parent) != device) {
            break;
        }
        top = parent;
    }
    return top;
}

void makeFolders(const fs::path& trash) {
    for (const auto& folder : {trash, trash / "files", trash / "info"}) {
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            throw fs::filesystem_error("Cannot create the trash", folder, lastError());
        }
    }
}

// $topdir/.Trash/$uid when the administrator provides .Trash (a sticky folder, not a link),
// otherwise $topdir/.Trash-$uid.
fs::path topTrash(const fs::path& top) {
    const fs::path shared = top / ".Trash";
    struct stat info {};
    if (::lstat(shared.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX)) {
        const fs::path own = shared / std::to_string(::getuid());
        if (::mkdir(own.c_str(), 0700) == 0 || errno == EEXIST) {
            try {
                makeFolders(own);
                return own;
            } catch (const fs::filesystem_error&) {
                // fall through to the per-user folder
            }
        }
    }
    const fs::path own = top / (".Trash-" + std::to_string(::getuid()));
    makeFolders(own);
    return own;
}

std::string localDeletionDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}", local.tm_year + 1900,
                       local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

// Reserves a name in info/ by creating its .trashinfo exclusively; returns the name.
std::string reserveInfo(const fs::path& trash, const fs::path& file,
                        const std::string& storedPath) {
    const std::string stem = file.stem().string();
    const std::string extension = file.extension().string();
    const std::string contents = fmt::format("[Trash Info]\nPath={}\nDeletionDate={}\n",
                                             percentEncoded(storedPath, "/"), localDeletionDate());
    for (int n = 1; n < 10000; ++n) {
        const std::string name =
            n == 1 ? file.filename().string() : fmt::format("{} ({}){}", stem, n, extension);
        const fs::path info = trash / "info" / (name + ".trashinfo");
        const int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            throw fs::filesystem_error("Cannot write to the trash", info, lastError());
        }
        const bool written =
            ::write(fd, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size());
        const bool closed = ::close(fd) == 0;
        if (!written || !closed) {
            const auto error = lastError();
            ::unlink(info.c_str());
            throw fs::filesystem_error("Cannot write to the trash", info, error);
        }
        struct stat existing {};
        if (::lstat((trash / "files" / name).c_str(), &existing) == 0) {
            ::unlink(info.c_str()); // a stray file without its info record
            continue;
        }
        return name;
    }
    throw fs::filesystem_error("The trash has no free name for", file,
                               std::make_error_code(std::errc::file_exists));
}

} // namespace

void moveToTrash(const fs::path& file) {
    const fs::path absolute = fs::absolute(file).lexically_normal();
    const fs::path folder = absolute.parent_path();
    const auto fileDevice = deviceOf(folder);
    if (!fileDevice) {
        throw fs::filesystem_error("Cannot move to the trash", file, lastError());
    }

    fs::path trash = homeTrash();
    std::string storedPath = absolute.string();
    fs::create_directories(trash.parent_path());
    if (deviceOf(trash.parent_path()) != fileDevice) {
        const fs::path top = mountTop(folder, *fileDevice);
        trash = topTrash(top);
        storedPath = absolute.lexically_relative(top).string();
    } else {
        makeFolders(trash);
    }

    const std::string name = reserveInfo(trash, absolute, storedPath);
    const fs::path info = trash / "info" / (name + ".trashinfo");
    try {
        FileAccess::renameWithoutReplacing(absolute, trash / "files" / name);
    } catch (...) {
        ::unlink(info.c_str());
        throw;
    }
}

} // namespace ambrel::core::FreedesktopTrash
