#include "app/desktop/OwnExecutable.h"

#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

using namespace ambrel;
using ambrel::testing::ScopedEnvironment;
using ambrel::testing::TemporaryFolder;
namespace fs = std::filesystem;

TEST(OwnExecutable, BelievesAnAppImageOnlyFromInsideItsMount) {
    TemporaryFolder folder;
    folder.write("Ambrel.AppImage", "image");
    folder.write("mount/usr/bin/ambrel", "program");
    folder.write("mount-other/usr/bin/ambrel", "program");
    fs::create_directory_symlink(folder / "mount", folder / "mount-link");
    fs::create_symlink(folder / "Ambrel.AppImage", folder / "link.AppImage");
    const auto image = (folder / "Ambrel.AppImage").string();
    const auto mount = (folder / "mount").string();
    const auto inside = folder / "mount/usr/bin/ambrel";
    const auto trusted = [](const fs::path& running, const std::string& appImage,
                            const std::string& appDir) {
        return OwnExecutable::trustedAppImage(running, appImage.c_str(), appDir.c_str());
    };

    EXPECT_EQ(trusted(inside, image, mount), image);
    EXPECT_EQ(trusted(inside, image, mount + "/"), image);
    EXPECT_EQ(trusted(inside, image, (folder / "mount-link").string()), image); // resolved

    // Inherited by a program that runs from elsewhere: a system one, or a neighbour whose name
    // merely starts like the mount.
    EXPECT_EQ(trusted("/usr/bin/ambrel", image, mount), std::nullopt);
    EXPECT_EQ(trusted(folder / "mount-other/usr/bin/ambrel", image, mount), std::nullopt);
    EXPECT_EQ(trusted(folder / "mount/../mount-other/usr/bin/ambrel", image, mount), std::nullopt);
    EXPECT_EQ(trusted(folder / "mount", image, mount), std::nullopt);
    EXPECT_EQ(trusted("usr/bin/ambrel", image, "usr"), std::nullopt);
    EXPECT_EQ(trusted("/usr/bin/ambrel", image, "/"), std::nullopt); // no image mounts at /

    // An image that is no regular file at an absolute path, or a mount that is not there.
    EXPECT_EQ(trusted(inside, (folder / "link.AppImage").string(), mount), std::nullopt);
    EXPECT_EQ(trusted(inside, (folder / "gone.AppImage").string(), mount), std::nullopt);
    EXPECT_EQ(trusted(inside, folder.path().string(), mount), std::nullopt);
    EXPECT_EQ(trusted(inside, "Ambrel.AppImage", mount), std::nullopt);
    EXPECT_EQ(trusted(inside, image, (folder / "unmounted").string()), std::nullopt);
    EXPECT_EQ(OwnExecutable::trustedAppImage(inside, nullptr, mount.c_str()), std::nullopt);
    EXPECT_EQ(OwnExecutable::trustedAppImage(inside, image.c_str(), nullptr), std::nullopt);
}

TEST(OwnExecutable, AnInheritedAppImageIsIgnoredForRestartsAndUpdates) {
    TemporaryFolder folder;
    folder.write("Other.AppImage", "another program's image");
    fs::create_directory(folder / "mount");
    const ScopedEnvironment image("APPIMAGE", (folder / "Other.AppImage").string());
    const ScopedEnvironment mount("APPDIR", (folder / "mount").string());
    EXPECT_EQ(OwnExecutable::appImage(), std::nullopt);
    EXPECT_EQ(OwnExecutable::launcher(), OwnExecutable::running());
    EXPECT_EQ(OwnExecutable::launcher(), fs::canonical("/proc/self/exe"));
}
