#include "core/FreedesktopTrash.h"

#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

using ambrel::testing::ScopedEnvironment;
using ambrel::testing::TemporaryFolder;
namespace fs = std::filesystem;
namespace FreedesktopTrash = ambrel::core::FreedesktopTrash;

TEST(FreedesktopTrash, MovesFilesWithTheirInfoRecordAndUniqueNames) {
    TemporaryFolder folder;
    ScopedEnvironment dataHome("XDG_DATA_HOME", (folder.path() / "data").string());
    const auto trash = folder.path() / "data/Trash";

    folder.write("my notes/2025 #1.md", "first");
    FreedesktopTrash::moveToTrash(folder.path() / "my notes/2025 #1.md");
    folder.write("my notes/2025 #1.md", "second");
    FreedesktopTrash::moveToTrash(folder.path() / "my notes/2025 #1.md");

    EXPECT_FALSE(fs::exists(folder.path() / "my notes/2025 #1.md"));
    EXPECT_EQ(folder.read("data/Trash/files/2025 #1.md"), "first");
    EXPECT_EQ(folder.read("data/Trash/files/2025 #1 (2).md"), "second");

    const auto info = folder.read("data/Trash/info/2025 #1 (2).md.trashinfo");
    const std::string encodedPath = (folder.path() / "my%20notes/2025%20%231.md").string();
    EXPECT_NE(info.find("[Trash Info]\nPath=" + encodedPath + "\n"), std::string::npos) << info;
    EXPECT_TRUE(std::regex_search(
        info, std::regex("\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n$")))
        << info;
    EXPECT_EQ(fs::status(trash).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST(FreedesktopTrash, AMissingFileFailsWithoutLeavingARecord) {
    TemporaryFolder folder;
    ScopedEnvironment dataHome("XDG_DATA_HOME", (folder.path() / "data").string());
    EXPECT_THROW(FreedesktopTrash::moveToTrash(folder.path() / "gone.json"), fs::filesystem_error);
    if (fs::exists(folder.path() / "data/Trash/info")) {
        EXPECT_TRUE(fs::is_empty(folder.path() / "data/Trash/info"));
    }
}

namespace {

fs::perms permissions(const fs::path& path) {
    return fs::symlink_status(path).permissions() & fs::perms::all;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(FreedesktopTrash, AMountTrashIsUsedOnlyWhenItIsOursAlone) {
    TemporaryFolder folder;
    ScopedEnvironment dataHome("XDG_DATA_HOME", (folder.path() / "data").string());
    const std::string own = ".Trash-" + std::to_string(::getuid());

    // Made when missing: private, and the record names the file relative to the mount.
    const auto mount = folder.path() / "mount";
    folder.write("mount/notes/a.md", "a");
    FreedesktopTrash::moveToTrash(mount / "notes/a.md", mount);
    EXPECT_EQ(folder.read("mount/" + own + "/files/a.md"), "a");
    EXPECT_NE(folder.read("mount/" + own + "/info/a.md.trashinfo").find("\nPath=notes/a.md\n"),
              std::string::npos);
    EXPECT_EQ(permissions(mount / own), fs::perms::owner_all);

    // An administrator's sticky .Trash gets a private folder of ours.
    const auto administered = folder.path() / "administered";
    fs::create_directories(administered / ".Trash");
    fs::permissions(administered / ".Trash", fs::perms::all | fs::perms::sticky_bit);
    EXPECT_EQ(FreedesktopTrash::mountTrash(administered),
              administered / ".Trash" / std::to_string(::getuid()));
    EXPECT_EQ(permissions(administered / ".Trash" / std::to_string(::getuid())),
              fs::perms::owner_all);

    // Trash folders someone else could have made or could enter: the file goes home instead.
    struct Case {
        const char* name;
        std::function<void(const fs::path& trash)> prepare;
    };
    const std::vector<Case> cases = {
        {"open to all",
         [](const fs::path& trash) {
             fs::create_directories(trash / "files");
             fs::permissions(trash, fs::perms::all);
         }},
        {"open to the group",
         [](const fs::path& trash) {
             fs::create_directory(trash);
             fs::permissions(trash, fs::perms::owner_all | fs::perms::group_all);
         }},
        {"a link to a private folder",
         [](const fs::path& trash) {
             fs::create_directory(trash.parent_path() / "elsewhere");
             fs::permissions(trash.parent_path() / "elsewhere", fs::perms::owner_all);
             fs::create_directory_symlink("elsewhere", trash);
         }},
        {"a file", [](const fs::path& trash) { std::ofstream(trash).put('x'); }},
        {"files/ a link",
         [](const fs::path& trash) {
             fs::create_directories(trash.parent_path() / "elsewhere");
             fs::create_directory(trash);
             fs::permissions(trash, fs::perms::owner_all);
             fs::create_directory_symlink("../elsewhere", trash / "files");
         }},
        {"someone else's",
         [](const fs::path& trash) {
             fs::create_directory(trash);
             fs::permissions(trash, fs::perms::owner_all);
             if (::getuid() == 0) {
                 ASSERT_EQ(::chown(trash.c_str(), 12345, 12345), 0);
             } else {
                 fs::permissions(trash, fs::perms::all); // cannot give it away: open it instead
             }
         }},
    };
    int round = 0;
    for (const auto& [name, prepare] : cases) {
        SCOPED_TRACE(name);
        const auto top = folder.path() / ("hostile" + std::to_string(++round));
        fs::create_directory(top);
        prepare(top / own);
        folder.write(top.filename().string() + "/t.md", name);
        const auto before =
            fs::is_directory(top / own) ? namesIn(top / own) : std::vector<std::string>{};

        EXPECT_FALSE(FreedesktopTrash::mountTrash(top));
        FreedesktopTrash::moveToTrash(top / "t.md", top);
        EXPECT_FALSE(fs::exists(top / "t.md"));
        const std::string trashed = round == 1 ? "t.md" : "t (" + std::to_string(round) + ").md";
        EXPECT_EQ(folder.read("data/Trash/files/" + trashed), name);
        EXPECT_NE(folder.read("data/Trash/info/" + trashed + ".trashinfo")
                      .find("\nPath=" + (top / "t.md").string() + "\n"),
                  std::string::npos);
        if (fs::is_directory(top / own)) {
            EXPECT_EQ(namesIn(top / own), before);
        }
    }
}

TEST(FreedesktopTrash, TheHomeTrashTakesFilesFromOtherFileSystemsByCopying) {
    TemporaryFolder folder;
    struct stat temporary {
    }, shared{};
    if (::stat(folder.path().c_str(), &temporary) != 0 || ::stat("/dev/shm", &shared) != 0 ||
        temporary.st_dev == shared.st_dev || ::access("/dev/shm", W_OK) != 0) {
        GTEST_SKIP() << "needs /dev/shm on a file system of its own";
    }
    std::string pattern = "/dev/shm/ambrel-trash-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    struct Remove {
        fs::path path;
        ~Remove() { fs::remove_all(path); }
    } remove{pattern};
    ScopedEnvironment dataHome("XDG_DATA_HOME", pattern);

    // The mount's trash is not ours alone, so the file crosses to the home trash.
    fs::create_directory(folder.path() / (".Trash-" + std::to_string(::getuid())));
    fs::permissions(folder.path() / (".Trash-" + std::to_string(::getuid())), fs::perms::all);
    folder.write("s.json", "{}");
    fs::permissions(folder / "s.json", fs::perms::owner_read | fs::perms::owner_write);
    FreedesktopTrash::moveToTrash(folder / "s.json", folder.path());

    EXPECT_FALSE(fs::exists(folder / "s.json"));
    const fs::path trashed = fs::path(pattern) / "Trash/files/s.json";
    std::ifstream input(trashed);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(input), {}), "{}");
    EXPECT_EQ(permissions(trashed), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(fs::exists(fs::path(pattern) / "Trash/info/s.json.trashinfo"));
}
