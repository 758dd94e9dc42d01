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

// A real folder (lstat: not a link to one) that belongs to us; with `privateMode`, also closed
// to everybody else.
bool isOurFolder(const fs::path& folder, bool privateMode) {
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (!privateMode || (info.st_mode & 0777) == 0700);
}

// Makes `trash` with its two folders, or checks that the one there is ours alone.
bool ownPrivateTrash(const fs::path& trash) {
    if (::mkdir(trash.c_str(), 0700) == 0) {
        ::chmod(trash.c_str(), 0700); // whatever the umask took away
    } else if (errno != EEXIST) {
        return false;
    }
    if (!isOurFolder(trash, true)) {
        return false;
    }
    for (const auto& folder : {trash / "files", trash / "info"}) {
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        // Made by us alone, as only we may enter the trash: a folder of ours is enough.
        if (!isOurFolder(folder, false)) {
            return false;
        }
    }
    return true;
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

// Moves `file` into `trash` under a free name, with its record; `move` does the moving.
template <typename Move>
void moveInto(const fs::path& trash, const fs::path& file, const std::string& storedPath,
              Move&& move) {
    const std::string name = reserveInfo(trash, file, storedPath);
    const fs::path info = trash / "info" / (name + ".trashinfo");
    try {
        move(file, trash / "files" / name);
    } catch (...) {
        ::unlink(info.c_str());
        throw;
    }
}

fs::path readyHomeTrash() {
    const fs::path trash = homeTrash();
    FileAccess::createPrivateFolders(trash.parent_path());
    makeFolders(trash);
    return trash;
}

} // namespace

std::optional<fs::path> mountTrash(const fs::path& top) {
    const std::string uid = std::to_string(::getuid());
    // $topdir/.Trash when the administrator provides it: a sticky folder, not a link.
    const fs::path shared = top / ".Trash";
    struct stat info {};
    if (::lstat(shared.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX)) {
        if (const fs::path own = shared / uid; ownPrivateTrash(own)) {
            return own;
        }
    }
    if (const fs::path own = top / (".Trash-" + uid); ownPrivateTrash(own)) {
        return own;
    }
    return std::nullopt;
}

void moveToTrash(const fs::path& file, const fs::path& mountTop) {
    const fs::path absolute = fs::absolute(file).lexically_normal();
    if (const auto trash = mountTrash(mountTop)) {
        moveInto(*trash, absolute, absolute.lexically_relative(mountTop).string(),
                 &FileAccess::renameWithoutReplacing);
        return;
    }
    moveInto(readyHomeTrash(), absolute, absolute.string(),
             [](const fs::path& from, const fs::path& to) {
                 try {
                     FileAccess::renameWithoutReplacing(from, to);
                 } catch (const fs::filesystem_error& error) {
                     if (error.code() != std::errc::cross_device_link) {
                         throw;
                     }
                     FileAccess::moveAcrossFileSystems(from, to);
                 }
             });
}

void moveToTrash(const fs::path& file) {
    const fs::path absolute = fs::absolute(file).lexically_normal();
    const fs::path folder = absolute.parent_path();
    const auto fileDevice = deviceOf(folder);
    if (!fileDevice) {
        throw fs::filesystem_error("Cannot move to the trash", file, lastError());
    }
    const fs::path home = homeTrash();
    FileAccess::createPrivateFolders(home.parent_path());
    if (deviceOf(home.parent_path()) != fileDevice) {
        moveToTrash(absolute, mountTop(folder, *fileDevice));
        return;
    }
    makeFolders(home);
    moveInto(home, absolute, absolute.string(), &FileAccess::renameWithoutReplacing);
}

} // namespace ambrel::core::FreedesktopTrash
