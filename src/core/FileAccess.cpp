#include "FileAccess.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace ambrel::core::FileAccess {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& what, const fs::path& path, int error) {
    throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor& operator=(FileDescriptor&&) = delete;

    int get() const { return fd_; }
    // Closes now, reporting the error that close() may report for delayed writes.
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int fd_;
};

// The permissions a rewrite of `path` keeps: those of the regular file there, if any.
std::optional<mode_t> existingMode(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return info.st_mode & 0777;
}

// Creates a new hidden file beside `path`, for the owner only.
FileDescriptor createTemporaryBeside(const fs::path& path, fs::path& temporary) {
    thread_local std::mt19937_64 engine{std::random_device{}()};
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder / fmt::format(".{}.{:012x}", path.filename().string(),
                                         engine() & 0xFFFFFFFFFFFFULL);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            return FileDescriptor(fd);
        }
        if (errno != EEXIST) {
            fail("Cannot create a file in", folder, errno);
        }
    }
    fail("Cannot create a file in", folder, EEXIST);
}

} // namespace

std::string read(const fs::path& path, std::uintmax_t maximumSize) {
    const auto refuseUnlessRegular = [&](const struct stat& info) {
        if (S_ISDIR(info.st_mode)) {
            fail("Cannot read", path, EISDIR);
        }
        if (!S_ISREG(info.st_mode)) {
            fail("Cannot read", path, ENODEV);
        }
    };
    // Opening a device can have effects of its own: look first. Opening without blocking keeps a
    // pipe that took the file's place in between from stopping us.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        fail("Cannot open", path, errno);
    }
    refuseUnlessRegular(info);
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) {
        fail("Cannot open", path, errno);
    }
    if (::fstat(file.get(), &info) != 0) {
        fail("Cannot read", path, errno);
    }
    refuseUnlessRegular(info);
    if (static_cast<std::uintmax_t>(info.st_size) > maximumSize) {
        fail("Too large to read", path, EFBIG);
    }
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    while (true) {
        if (filled == bytes.size()) {
            // The file may have grown since fstat; read on in steps, within the limit.
            if (bytes.size() >= maximumSize + 1) {
                fail("Too large to read", path, EFBIG);
            }
            bytes.resize(std::min<std::uintmax_t>(bytes.size() + 65536, maximumSize + 1));
        }
        const ssize_t count = ::read(file.get(), bytes.data() + filled, bytes.size() - filled);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("Cannot read", path, errno);
        }
        if (count == 0) {
            break;
        }
        filled += static_cast<std::size_t>(count);
    }
    if (filled > maximumSize) {
        fail("Too large to read", path, EFBIG);
    }
    bytes.resize(filled);
    return bytes;
}

void writeAtomically(const fs::path& path, std::string_view bytes) {
    fs::path temporaryPath;
    FileDescriptor file = createTemporaryBeside(path, temporaryPath);
    auto abandon = [&](const std::string& what, int error) {
        ::unlink(temporaryPath.c_str());
        fail(what, path, error);
    };
    // A file the user made private (or shared) stays so; set before any byte is in it.
    if (const auto mode = existingMode(path); mode && ::fchmod(file.get(), *mode) != 0) {
        abandon("Cannot write", errno);
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(file.get(), bytes.data() + written, bytes.size() - written);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            abandon("Cannot write", errno);
        }
        written += static_cast<std::size_t>(count);
    }
    if (::fsync(file.get()) != 0) {
        abandon("Cannot write", errno);
    }
    if (const int error = file.close(); error != 0) {
        abandon("Cannot write", error);
    }
    if (::rename(temporaryPath.c_str(), path.c_str()) != 0) {
        abandon("Cannot replace", errno);
    }
    // Make the rename itself durable; a failure here does not undo the write.
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) {
        ::fsync(directory.get());
    }
}

void createPrivateFolders(const fs::path& folder) {
    // The missing folders, outermost last.
    std::vector<fs::path> missing;
    struct stat info {};
    for (fs::path current = folder; !current.empty(); current = current.parent_path()) {
        if (::stat(current.c_str(), &info) == 0) {
            if (!S_ISDIR(info.st_mode)) {
                fail("Cannot create the folder", folder, ENOTDIR);
            }
            break;
        }
        if (errno != ENOENT) {
            fail("Cannot create the folder", folder, errno);
        }
        missing.push_back(current);
        if (current == current.parent_path()) {
            break;
        }
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), 0700) != 0) {
            const int error = errno;
            if (error != EEXIST) {
                fail("Cannot create the folder", *it, error);
            }
            // Someone else made it meanwhile; a folder is all that is needed.
            if (::stat(it->c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
                fail("Cannot create the folder", *it, ENOTDIR);
            }
        }
    }
}

void renameWithoutReplacing(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        throw fs::filesystem_error("Cannot move", from, to,
                                   std::error_code(errno, std::generic_category()));
    }
    // The file system cannot refuse atomically; check, then rename.
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0) {
        throw fs::filesystem_error("Cannot move", from, to,
                                   std::make_error_code(std::errc::file_exists));
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        throw fs::filesystem_error("Cannot move", from, to,
                                   std::error_code(errno, std::generic_category()));
    }
}

void moveAcrossFileSystems(const fs::path& from, const fs::path& to) {
    FileDescriptor input(
        ::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (input.get() < 0 || ::fstat(input.get(), &info) != 0) {
        throw fs::filesystem_error("Cannot move", from, to,
                                   std::error_code(errno, std::generic_category()));
    }
    if (!S_ISREG(info.st_mode)) {
        throw fs::filesystem_error("Cannot move", from, to,
                                   std::make_error_code(std::errc::no_such_device));
    }
    FileDescriptor output(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (output.get() < 0) {
        throw fs::filesystem_error("Cannot move", from, to,
                                   std::error_code(errno, std::generic_category()));
    }
    auto abandon = [&](int error) {
        ::unlink(to.c_str());
        throw fs::filesystem_error("Cannot move", from, to,
                                   std::error_code(error, std::generic_category()));
    };
    if (::fchmod(output.get(), info.st_mode & 0777) != 0) {
        abandon(errno);
    }
    char buffer[65536];
    while (true) {
        const ssize_t count = ::read(input.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            abandon(errno);
        }
        if (count == 0) {
            break;
        }
        for (ssize_t written = 0; written < count;) {
            const ssize_t step =
                ::write(output.get(), buffer + written, static_cast<std::size_t>(count - written));
            if (step < 0) {
                if (errno == EINTR) {
                    continue;
                }
                abandon(errno);
            }
            written += step;
        }
    }
    if (::fsync(output.get()) != 0) {
        abandon(errno);
    }
    if (const int error = output.close(); error != 0) {
        abandon(error);
    }
    if (::unlink(from.c_str()) != 0) {
        abandon(errno);
    }
}

} // namespace ambrel::core::FileAccess
