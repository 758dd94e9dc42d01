#include "speech/FileDigest.h"

#include "TemporaryFolder.h"

#include <gtest/gtest.h>

using namespace ambrel;
using namespace ambrel::testing;
using Algorithm = FileDigest::Algorithm;

namespace {

TEST(FileDigestTest, ComputesKnownDigests) {
    TemporaryFolder folder;
    folder.write("abc", "abc");
    folder.write("empty", "");
    folder.write("large", std::string(3 << 20, 'a'));

    EXPECT_EQ(FileDigest::hex(Algorithm::sha256, folder / "abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(FileDigest::hex(Algorithm::md5, folder / "abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(FileDigest::hex(Algorithm::sha256, folder / "empty"),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    // Read in several pieces.
    EXPECT_EQ(FileDigest::hex(Algorithm::md5, folder / "large"),
              "6a11a8872b36343799a15617bea78cef");
    EXPECT_THROW(FileDigest::hex(Algorithm::md5, folder / "missing"), std::runtime_error);
}

TEST(FileDigestTest, StopsWhenAskedAndComparesIgnoringCase) {
    TemporaryFolder folder;
    folder.write("abc", "abc");

    EXPECT_EQ(FileDigest::hex(Algorithm::sha256, folder / "abc", [] { return false; }),
              std::nullopt);
    EXPECT_TRUE(
        FileDigest::same("900150983CD24FB0d6963f7d28e17f72", "900150983cd24fb0D6963F7D28E17F72"));
    EXPECT_FALSE(FileDigest::same("90015098", "900150983cd24fb0d6963f7d28e17f72"));
    EXPECT_FALSE(
        FileDigest::same("900150983cd24fb0d6963f7d28e17f73", "900150983cd24fb0d6963f7d28e17f72"));
}

} // namespace
