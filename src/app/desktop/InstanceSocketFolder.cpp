#include "InstanceSocketFolder.h"

#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace ambrel::InstanceSocketFolder {

namespace {

// Made if missing (mode 0700 whatever the umask), then checked either way: a folder that was
// already there may be anybody's.
std::optional<std::filesystem::path> ownFolder(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), 0700) == 0) {
        ::chmod(folder.c_str(), 0700);
    } else if (errno != EEXIST) {
        return std::nullopt;
    }
    if (!isPrivateFolder(folder)) {
        return std::nullopt;
    }
    return folder;
}

} // namespace

bool isPrivateFolder(const std::filesystem::path& folder) {
    struct stat status {};
    return ::lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == ::geteuid() && (status.st_mode & 07777) == 0700;
}

std::optional<std::filesystem::path> prepare(const char* runtimeFolder,
                                             const std::filesystem::path& temporaryFolder) {
    if (runtimeFolder && runtimeFolder[0] == '/' && isPrivateFolder(runtimeFolder)) {
        if (auto folder = ownFolder(std::filesystem::path(runtimeFolder) / "ambrel")) {
            return folder;
        }
    }
    return ownFolder(temporaryFolder / ("ambrel-" + std::to_string(::geteuid())));
}

} // namespace ambrel::InstanceSocketFolder
