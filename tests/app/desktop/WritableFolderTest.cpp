#include "app/desktop/WritableFolder.h"

#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace ambrel;

TEST(WritableFolderTest, MakesMissingFoldersAndRefusesWhatCannotHoldFiles) {
    ambrel::testing::TemporaryFolder folder;
    const auto nested = folder.path() / "Documents" / "Ambrel";
    EXPECT_EQ(WritableFolder::problem(nested), std::nullopt);
    EXPECT_TRUE(std::filesystem::is_directory(nested));
    EXPECT_TRUE(std::filesystem::is_empty(nested)); // the probe is gone again
    // Made for the user alone.
    for (const auto& made : {nested, nested.parent_path()}) {
        EXPECT_EQ(std::filesystem::status(made).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_all)
            << made;
    }

    folder.write("file", "");
    EXPECT_TRUE(WritableFolder::problem(folder.path() / "file"));
    EXPECT_TRUE(WritableFolder::problem(folder.path() / "file" / "below"));

    if (::geteuid() != 0) { // permissions do not hold back root
        const auto locked = folder.path() / "locked";
        std::filesystem::create_directory(locked);
        std::filesystem::permissions(locked, std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::owner_exec);
        EXPECT_EQ(WritableFolder::problem(locked), "Permission denied");
        std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
    }
}
