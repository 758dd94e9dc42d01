#include "app/SessionsFolder.h"

#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"
#include "locale/L10n.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace ambrel;
using ambrel::testing::ScopedEnvironment;
using ambrel::testing::TemporaryFolder;
namespace fs = std::filesystem;

namespace {

class SessionsFolderTest : public ::testing::Test {
protected:
    SessionsFolderTest()
        : homeVariable_("HOME", home.path().string())
        , data_("XDG_DATA_HOME", std::nullopt)
        , config_("XDG_CONFIG_HOME", std::nullopt) {
        L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"en"});
        fs::create_directories(home.path() / "Documents");
    }

    SessionsFolder folder() {
        return SessionsFolder(
            settings,
            [this](const fs::path& start, const std::string& message) {
                starts.push_back(start);
                messages.push_back(message);
                return next;
            },
            [this](const std::string& title, const std::string& message) {
                warnings.push_back(title + " / " + message);
            });
    }

    TemporaryFolder home;
    AppSettings settings{std::make_shared<core::MemorySettingsStore>()};
    std::optional<fs::path> next;
    std::vector<fs::path> starts;
    std::vector<std::string> messages;
    std::vector<std::string> warnings;

private:
    ScopedEnvironment homeVariable_;
    ScopedEnvironment data_;
    ScopedEnvironment config_;
};

} // namespace

TEST_F(SessionsFolderTest, TheFirstChoiceMakesAnAmbrelFolderAndIsRemembered) {
    auto first = folder();
    EXPECT_FALSE(first.wasChosen());
    EXPECT_FALSE(first.restore());

    next = home.path() / "Documents";
    const auto chosen = first.chooseFirst();
    EXPECT_EQ(chosen, home.path() / "Documents" / "Ambrel");
    EXPECT_TRUE(fs::is_directory(*chosen));
    EXPECT_EQ(starts.front(), home.path() / "Documents");
    EXPECT_EQ(messages.front(), "Choose the folder where transcripts are saved");
    EXPECT_TRUE(first.wasChosen());
    EXPECT_EQ(SessionsFolder::displayPath(*chosen), "~/Documents/Ambrel");

    // A folder already named Ambrel is used as it is; the next launch restores it.
    next = home.path() / "Work" / "Ambrel";
    EXPECT_EQ(first.chooseFirst(), next);
    auto later = folder();
    EXPECT_EQ(later.restore(), next);
    EXPECT_EQ(later.current(), next);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(SessionsFolder::displayPath("/srv/shared"), "/srv/shared");

    // The picker opens in the desktop's own documents folder, whatever its name.
    home.write(".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    fs::create_directories(home.path() / "Dokumente");
    next = std::nullopt;
    EXPECT_FALSE(folder().chooseFirst());
    EXPECT_EQ(starts.back(), home.path() / "Dokumente");
}

TEST_F(SessionsFolderTest, FoldersThatCannotHoldSessionsAreRefused) {
    auto chooser = folder();
    next = home.path() / "Documents";
    ASSERT_TRUE(chooser.chooseFirst());
    const auto kept = *chooser.current();

    // A file where the folder should be.
    home.write("notes.txt", "");
    next = home.path() / "notes.txt";
    EXPECT_FALSE(chooser.choose());
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0],
              "This folder isn’t writable / Choose another folder.\n" + next->string());
    EXPECT_EQ(chooser.current(), kept);
    EXPECT_EQ(starts.back(), kept); // the next choice starts at the folder in use

    if (::geteuid() != 0) {
        const auto locked = home.path() / "locked";
        fs::create_directory(locked);
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
        next = locked;
        EXPECT_FALSE(chooser.choose());
        EXPECT_EQ(warnings.size(), 2u);
        fs::permissions(locked, fs::perms::owner_all);
    }

    // A remembered folder that went to the trash is not used again.
    const auto trashed = home.path() / ".local/share/Trash/files/Ambrel";
    fs::create_directories(trashed);
    settings.setText(AppSettings::Keys::sessionsFolderBookmark, trashed.string());
    EXPECT_FALSE(folder().restore());
    EXPECT_TRUE(SessionsFolder::isInTrash("/media/usb/.Trash-1000/files/Ambrel"));
    EXPECT_FALSE(SessionsFolder::isInTrash(home.path() / "Documents/Trash notes"));

    // Cancelling changes nothing.
    next.reset();
    EXPECT_FALSE(chooser.choose());
    EXPECT_EQ(chooser.current(), kept);
}
