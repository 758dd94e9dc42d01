#include "UpdateInstaller.h"

#include "core/AppVersion.h"
#include "core/Uuid.h"
#include "speech/ArchiveUnpacker.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace ambrel::UpdateInstaller {

namespace fs = std::filesystem;

namespace {

fs::path beside(const fs::path& target, const std::string& what) {
    return target.parent_path() / fmt::format(".{}.{}-{}", target.filename().string(), what,
                                              core::Uuid::random().string());
}

// A copy of the open file `release`, from its first byte, as a new file `to`.
void copyRelease(int release, const fs::path& to) {
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0700);
    if (out < 0) {
        throw std::system_error(errno, std::generic_category(), to.string());
    }
    off_t offset = 0;
    char buffer[64 * 1024];
    for (;;) {
        const auto count = ::pread(release, buffer, sizeof buffer, offset);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            const int error = count < 0 ? errno : 0;
            if (error != 0 || ::fsync(out) != 0) {
                const int failure = error != 0 ? error : errno;
                ::close(out);
                throw std::system_error(failure, std::generic_category(), to.string());
            }
            break;
        }
        for (ssize_t written = 0; written < count;) {
            const auto step =
                ::write(out, buffer + written, static_cast<std::size_t>(count - written));
            if (step < 0 && errno == EINTR) {
                continue;
            }
            if (step < 0) {
                const int failure = errno;
                ::close(out);
                throw std::system_error(failure, std::generic_category(), to.string());
            }
            written += step;
        }
        offset += count;
    }
    ::close(out);
}

fs::path replaceAppImage(const fs::path& image, int release) {
    const fs::path fresh = beside(image, "update");
    try {
        copyRelease(release, fresh);
        fs::permissions(fresh, fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
        fs::rename(fresh, image);
    } catch (const std::exception& error) {
        std::error_code ignored;
        fs::remove(fresh, ignored);
        throw std::runtime_error(
            fmt::format("cannot replace {}: {}", image.string(), error.what()));
    }
    return image;
}

// The version in the name of a release folder, "ambrel-<version>-linux-<arch>"; nothing for a
// folder named otherwise.
std::optional<std::string> folderVersion(const std::string& name) {
    static constexpr std::string_view prefix = "ambrel-";
    const auto platform = name.rfind("-linux-");
    if (name.rfind(prefix, 0) != 0 || platform == std::string::npos || platform < prefix.size()) {
        return std::nullopt;
    }
    return name.substr(prefix.size(), platform - prefix.size());
}

// Swaps two paths in one step where the file system can; otherwise moves the old one aside
// first and puts it back when the new one cannot take its place.
void exchange(const fs::path& installed, const fs::path& fresh, const fs::path& aside) {
    if (::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, installed.c_str(), RENAME_EXCHANGE) == 0) {
        fs::rename(fresh, aside); // `fresh` now names the old install
        return;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        throw std::system_error(errno, std::generic_category(), "exchange");
    }
    fs::rename(installed, aside);
    try {
        fs::rename(fresh, installed);
    } catch (...) {
        fs::rename(aside, installed);
        throw;
    }
}

fs::path replaceFolder(const fs::path& folder, int release, const std::string& version) {
    const fs::path unpacked = beside(folder, "update");
    const fs::path old = beside(folder, "old");
    std::error_code ignored;
    try {
        fs::create_directory(unpacked);
        // The open file's own entry, which no rename or link of the download's path can change.
        const auto root =
            ArchiveUnpacker::unpack(fmt::format("/proc/self/fd/{}", release), unpacked);
        if (!root || !fs::is_regular_file(*root / "bin" / "ambrel")) {
            throw std::runtime_error("the download holds no bin/ambrel");
        }
        const auto named = folderVersion(root->filename().string());
        const auto namedVersion = named ? core::AppVersion::parse(*named) : std::nullopt;
        const auto expected = core::AppVersion::parse(version);
        if (named && (!namedVersion || !expected || *namedVersion != *expected)) {
            throw std::runtime_error(
                fmt::format("the download is release {}, not {}", *named, version));
        }
        exchange(folder, *root, old);
    } catch (const std::exception& error) {
        fs::remove_all(unpacked, ignored);
        throw std::runtime_error(
            fmt::format("cannot replace {}: {}", folder.string(), error.what()));
    }
    fs::remove_all(unpacked, ignored);
    fs::remove_all(old, ignored);
    return folder / "bin" / "ambrel";
}

} // namespace

fs::path install(const InstallLocation& location, int release, const std::string& version) {
    switch (location.kind) {
    case InstallLocation::Kind::appImage:
        return replaceAppImage(location.path, release);
    case InstallLocation::Kind::folder:
        return replaceFolder(location.path, release, version);
    case InstallLocation::Kind::package:
        break;
    }
    throw std::runtime_error("a system package is updated by the package manager");
}

} // namespace ambrel::UpdateInstaller
