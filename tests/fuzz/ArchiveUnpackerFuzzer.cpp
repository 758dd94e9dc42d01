// Model archives come from a server: any bytes must unpack within the folder and the byte
// limit, or be refused with a message; nothing may land outside, however the archive is made.
#include "FuzzFailure.h"
#include "speech/ArchiveUnpacker.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t maximumBytes = 64 * 1024;

using ambrel::fuzz::fail;

// A folder of the process's own, on a memory file system when there is one. libFuzzer ends
// without running exit handlers, so each run clears what runs that have ended left behind.
const fs::path& sandbox() {
    static const fs::path folder = [] {
        const fs::path base =
            ::access("/dev/shm", W_OK) == 0 ? fs::path("/dev/shm") : fs::temp_directory_path();
        const std::string prefix = "ambrel-archive-fuzz-";
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(base, error)) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with(prefix) &&
                ::kill(std::atoi(name.c_str() + prefix.size()), 0) != 0 && errno == ESRCH) {
                fs::remove_all(entry.path(), error);
            }
        }
        const fs::path own = base / (prefix + std::to_string(::getpid()));
        fs::remove_all(own, error);
        if (!fs::create_directory(own, error)) {
            fail("cannot create a sandbox");
        }
        return own;
    }();
    return folder;
}

bool isInside(const fs::path& path, const fs::path& root) {
    const auto relative = path.lexically_relative(root);
    return !relative.empty() && *relative.begin() != "..";
}

void check(const fs::path& out, bool unpacked) {
    std::set<std::pair<dev_t, ino_t>> files;
    std::uint64_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(out)) {
        struct stat info {};
        if (::lstat(entry.path().c_str(), &info) != 0) {
            fail("cannot look at", entry.path());
        }
        if (S_ISREG(info.st_mode) && files.insert({info.st_dev, info.st_ino}).second) {
            bytes += static_cast<std::uint64_t>(info.st_size);
        } else if (S_ISLNK(info.st_mode) && unpacked &&
                   !isInside(fs::weakly_canonical(entry.path()), out)) {
            fail("a link leads outside the folder:", entry.path());
        } else if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode) && !S_ISDIR(info.st_mode)) {
            fail("something other than files, folders and links:", entry.path());
        }
    }
    if (bytes > maximumBytes) {
        fail("more bytes unpacked than allowed");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path archive = sandbox() / "archive";
    const fs::path out = sandbox() / "out";
    {
        std::ofstream file(archive, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    fs::remove_all(out);
    fs::create_directory(out);
    const fs::path root = fs::canonical(out);
    bool unpacked = false;
    try {
        const auto contents = ambrel::ArchiveUnpacker::unpack(archive, out, maximumBytes);
        unpacked = true;
        if (!contents || (*contents != root && contents->parent_path() != root)) {
            fail("the contents are not in the folder");
        }
    } catch (const std::runtime_error&) {
    }
    for (const auto& entry : fs::directory_iterator(sandbox())) {
        if (entry.path() != archive && entry.path() != out) {
            fail("something was unpacked outside the folder:", entry.path());
        }
    }
    check(root, unpacked);
    fs::remove_all(out);
    return 0;
}
