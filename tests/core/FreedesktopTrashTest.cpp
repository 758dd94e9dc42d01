#include "core/FreedesktopTrash.h"

#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <regex>

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
