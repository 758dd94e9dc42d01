#include "core/AppStoreRelease.h"

#include <gtest/gtest.h>

using namespace ambrel::core;

namespace {

AppVersion version(std::string_view text) {
    const auto parsed = AppVersion::parse(text);
    EXPECT_TRUE(parsed) << text;
    return parsed.value_or(*AppVersion::parse("0"));
}

constexpr double march1 = 1709294400.0; // 2024-03-01T12:00:00Z
constexpr double day = 86400;

std::string answer(const std::string& results) {
    return R"({"resultCount": 1, "results": )" + results + "}";
}

const std::string good = R"({"kind": "mac-software", "trackId": 1234, "version": "2.1",
    "currentVersionReleaseDate": "2024-03-01T12:00:00Z", "minimumOsVersion": "13.0"})";

} // namespace

TEST(AppVersion, ParsesDottedWholeNumbersOnly) {
    EXPECT_EQ(version(" 2.0.1\t").parts(), (std::vector<std::int64_t>{2, 0, 1}));
    EXPECT_EQ(version("+1.2").parts(), (std::vector<std::int64_t>{1, 2}));
    EXPECT_EQ(version("01.2").description(), "1.2");
    EXPECT_EQ(version("\u00A02.0\u3000").description(), "2.0") << "blanks of any width";
    for (const char* bad : {"2.0.1\n", "1.-2", "1.a", "1..2", ".1", "1.", "", "   ", "+", "1.+",
                            "-0", "1.\u0663", "1 .2", "99999999999999999999", "1.2beta", "v1.2"}) {
        EXPECT_FALSE(AppVersion::parse(bad)) << bad;
    }
}

TEST(AppVersion, ComparesPartByPartWithMissingPartsAsZero) {
    EXPECT_EQ(version("1.2"), version("1.2.0"));
    EXPECT_FALSE(version("1.2") < version("1.2.0"));
    EXPECT_FALSE(version("1.2.0") < version("1.2"));
    EXPECT_LT(version("1.9"), version("1.10"));
    EXPECT_GT(version("2"), version("1.99.99"));
    EXPECT_LE(version("3.0.0.0"), version("3"));
    EXPECT_LT(version("0.9.9223372036854775806"), version("0.9.9223372036854775807"));
}

TEST(AppStoreRelease, BuildsTheLookupAddress) {
    EXPECT_EQ(AppStoreRelease::lookupURL("b", "DE"),
              "https://itunes.apple.com/lookup?bundleId=b&country=de");
    EXPECT_EQ(AppStoreRelease::lookupURL("org.ambrel.Ambrel", std::nullopt),
              "https://itunes.apple.com/lookup?bundleId=org.ambrel.Ambrel");
    EXPECT_EQ(AppStoreRelease::lookupURL("b", ""),
              "https://itunes.apple.com/lookup?bundleId=b&country=");
    // Values cannot smuggle in more query items.
    EXPECT_EQ(AppStoreRelease::lookupURL("a&b=c d#e", "x+y"),
              "https://itunes.apple.com/lookup?bundleId=a%26b%3Dc%20d%23e&country=x%2By");
}

TEST(AppStoreRelease, ReadsTheFirstDesktopEntryOfTheAnswer) {
    const auto release = AppStoreRelease::parse(
        answer(R"([{"kind": "software", "trackId": 1, "version": "9.0"}, )" + good + "]"));
    ASSERT_TRUE(release);
    EXPECT_EQ(release->version, version("2.1"));
    EXPECT_EQ(release->trackID, 1234);
    EXPECT_EQ(release->releaseDate, march1);
    EXPECT_EQ(release->minimumSystemVersion, version("13"));
    EXPECT_EQ(release->appStorePage(), "macappstore://apps.apple.com/app/id1234");
    EXPECT_EQ(*release, (AppStoreRelease{version("2.1.0"), 1234, march1, version("13.0.0")}));

    // Optional fields that do not parse are only dropped.
    const auto loose =
        AppStoreRelease::parse(answer(R"([{"kind": "mac-software", "trackId": 7, "version": "1",
        "currentVersionReleaseDate": "2024-03-01T12:00:00.5Z", "minimumOsVersion": "ten", "extra": [1, {}]}])"));
    ASSERT_TRUE(loose);
    EXPECT_FALSE(loose->releaseDate) << "fractions are not the store's form";
    EXPECT_FALSE(loose->minimumSystemVersion);
}

TEST(AppStoreRelease, AnythingElseIsNoRelease) {
    const std::vector<std::string> answers = {
        answer(
            R"([{"kind": "software"}, {"kind": "mac-software", "trackId": 1, "version": "beta"}, )" +
            good + "]"),
        answer("[]"),
        R"({"resultCount": 0})",
        answer(R"([{"kind": "mac-software", "version": "2.0"}])"),
        answer(R"([{"kind": "mac-software", "trackId": 3}])"),
        answer(R"([)" + good +
               R"(, {"kind": "mac-software", "trackId": "12"}])"), // wrong type anywhere
        answer(R"([{"kind": "mac-software", "trackId": 1.5, "version": "2.0"}])"),
        answer(R"([{"kind": "mac-software", "trackId": 18446744073709551615, "version": "2.0"}])"),
        answer(R"([{"kind": "mac-software", "trackId": 1, "version": 2}])"),
        answer(
            R"([{"kind": "mac-software", "trackId": 1, "version": "2.0", "minimumOsVersion": 13}])"),
        answer(R"([7])"),
        answer(R"({"kind": "mac-software"})"),
        answer(R"([{"kind": "Mac-Software", "trackId": 1, "version": "2.0"}])"),
        R"([])",
        "",
        "null",
        "{\"results\": [",
        answer("[" + good + "]") + "garbage",
        answer(R"([{"kind": "mac-software", "trackId": 1, "version": ")" +
               std::string(2'000'000, '1') + R"("}])"),
        std::string(100000, '[') + std::string(100000, ']'),
        answer(R"([{"kind": "mac-software", "trackId": 1, "version": "1e999"}])"),
        "{\"results\": [], \"n\": 1e999}",
    };
    for (const auto& body : answers) {
        EXPECT_FALSE(AppStoreRelease::parse(body)) << body.substr(0, 160);
    }
}

TEST(AppStoreRelease, OffersTheReleaseStageByStage) {
    const AppStoreRelease release{version("2.1"), 1, march1, version("13.0")};
    const auto current = version("2.0");
    const auto system = version("14.2");
    EXPECT_TRUE(release.isUpdate(current, system, march1 + 3 * day + 60, 0.049));
    EXPECT_FALSE(release.isUpdate(current, system, march1 + 3 * day + 60, 0.05));
    EXPECT_FALSE(release.isUpdate(current, system, march1 + 3600, 0.0))
        << "nobody on the first day";
    EXPECT_TRUE(release.isUpdate(current, system, march1 + day, 0.0099));
    EXPECT_TRUE(release.isUpdate(current, system, march1 + 30 * day, 0.999));
    EXPECT_FALSE(release.isUpdate(current, system, march1 + 30 * day, 1.0));
    EXPECT_FALSE(release.isUpdate(current, system, march1 - day, 0.0)) << "dated tomorrow";
    EXPECT_FALSE(release.isUpdate(version("2.1.0.0"), system, march1 + 30 * day, 0.0));
    EXPECT_FALSE(release.isUpdate(version("3"), system, march1 + 30 * day, 0.0));
    EXPECT_FALSE(release.isUpdate(current, version("12.9"), march1 + 30 * day, 0.0))
        << "system too old";

    const AppStoreRelease undated{version("2.1"), 1, std::nullopt, std::nullopt};
    EXPECT_TRUE(undated.isUpdate(current, system, 0, 0.999));
    EXPECT_FALSE(undated.isUpdate(version("2.1"), system, 0, 0.0));
}
