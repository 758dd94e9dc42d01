#include "app/desktop/InstanceSocketFolder.h"

#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace ambrel;
using ambrel::testing::TemporaryFolder;
namespace fs = std::filesystem;

namespace {

fs::perms mode(const fs::path& path) {
    return fs::symlink_status(path).permissions() & fs::perms::mask;
}

} // namespace

TEST(InstanceSocketFolder, LivesInAPrivateRuntimeFolderElseInOneOfItsOwn) {
    TemporaryFolder runtime;
    TemporaryFolder temporary;
    const auto fallback = temporary.path() / ("ambrel-" + std::to_string(::geteuid()));
    const auto umask = ::umask(0); // the folder is 0700 even when the umask would open it
    const auto inRuntime = InstanceSocketFolder::prepare(runtime.path().c_str(), temporary.path());
    ::umask(umask);
    ASSERT_EQ(inRuntime, runtime.path() / "ambrel");
    EXPECT_EQ(mode(*inRuntime), fs::perms::owner_all);
    EXPECT_EQ(InstanceSocketFolder::prepare(runtime.path().c_str(), temporary.path()), inRuntime);

    // A runtime folder others may enter, a relative one, or none: a folder in /tmp instead.
    fs::permissions(runtime.path(), fs::perms::owner_all | fs::perms::group_exec);
    EXPECT_EQ(InstanceSocketFolder::prepare(runtime.path().c_str(), temporary.path()), fallback);
    EXPECT_EQ(InstanceSocketFolder::prepare("relative", temporary.path()), fallback);
    EXPECT_EQ(InstanceSocketFolder::prepare(nullptr, temporary.path()), fallback);
    EXPECT_EQ(mode(fallback), fs::perms::owner_all);
    fs::permissions(runtime.path(), fs::perms::owner_all);

    // "ambrel" in the runtime folder that is not a private folder: the fallback.
    fs::remove(runtime.path() / "ambrel");
    runtime.write("ambrel", "");
    EXPECT_EQ(InstanceSocketFolder::prepare(runtime.path().c_str(), temporary.path()), fallback);
}

TEST(InstanceSocketFolder, RefusesAFolderInTmpThatIsNotPrivate) {
    TemporaryFolder temporary;
    const auto folder = temporary.path() / ("ambrel-" + std::to_string(::geteuid()));
    const auto prepare = [&] { return InstanceSocketFolder::prepare(nullptr, temporary.path()); };

    // Made by somebody else first, open to others: never used, nor fixed.
    fs::create_directory(folder);
    fs::permissions(folder, fs::perms::owner_all | fs::perms::others_all);
    EXPECT_EQ(prepare(), std::nullopt);
    EXPECT_EQ(mode(folder), fs::perms::owner_all | fs::perms::others_all);

    // A symbolic link to a private folder.
    fs::remove(folder);
    TemporaryFolder elsewhere;
    fs::create_directory_symlink(elsewhere.path(), folder);
    EXPECT_EQ(prepare(), std::nullopt);

    // A file, or a socket.
    fs::remove(folder);
    temporary.write(folder.filename().string(), "");
    EXPECT_EQ(prepare(), std::nullopt);

    // Another user's folder with the right mode; only root can make one to try.
    fs::remove(folder);
    fs::create_directory(folder);
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(prepare(), folder);
    if (::chown(folder.c_str(), 65534, 65534) == 0) {
        EXPECT_EQ(prepare(), std::nullopt);
    }
}
