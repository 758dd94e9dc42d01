#include "UpdateInstaller.h"

#include "core/Uuid.h"
#include "speech/ArchiveUnpacker.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
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

void syncFile(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

fs::path replaceAppImage(const fs::path& image, const fs::path& download) {
    const fs::path fresh = beside(image, "update");
    try {
        // The download goes once installed: moved where it can be, copied across file systems.
        std::error_code moved;
        fs::rename(download, fresh, moved);
        if (moved) {
            fs::copy_file(download, fresh);
        }
        fs::permissions(fresh, fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
        syncFile(fresh);
        fs::rename(fresh, image);
    } catch (const std::exception& error) {
        std::error_code ignored;
        fs::remove(fresh, ignored);
        throw std::runtime_error(
            fmt::format("cannot replace {}: {}", image.string(), error.what()));
    }
    return image;
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

fs::path replaceFolder(const fs::path& folder, const fs::path& download) {
    const fs::path unpacked = beside(folder, "update");
    const fs::path old = beside(folder, "old");
    std::error_code ignored;
    try {
        fs::create_directory(unpacked);
        const auto root = ArchiveUnpacker::unpack(download, unpacked);
        if (!root || !fs::is_regular_file(*root / "bin" / "ambrel")) {
            throw std::runtime_error("the download holds no bin/ambrel");
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

fs::path install(const InstallLocation& location, const fs::path& download) {
    switch (location.kind) {
    case InstallLocation::Kind::appImage:
        return replaceAppImage(location.path, download);
    case InstallLocation::Kind::folder:
        return replaceFolder(location.path, download);
    case InstallLocation::Kind::package:
        break;
    }
    throw std::runtime_error("a system package is updated by the package manager");
}

} // namespace ambrel::UpdateInstaller
