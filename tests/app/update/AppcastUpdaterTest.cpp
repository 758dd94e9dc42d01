// The updater against a release server of the test's own: finding, checking and installing
// releases, and refusing every kind of bad input without touching the installed app.
#include "app/update/AppcastUpdater.h"

#include "DeferredWork.h"
#include "HttpServer.h"
#include "Subprocess.h"
#include "TemporaryFolder.h"
#include "app/desktop/InstallLocation.h"
#include "app/update/Appcast.h"
#include "app/update/UpdateSignature.h"
#include "core/Log.h"
#include "core/SettingsStore.h"
#include "core/VirtualScheduler.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <unistd.h>

using namespace ambrel;
using ambrel::testing::DeferredWork;
using ambrel::testing::HttpServer;
using ambrel::testing::Subprocess;
using ambrel::testing::TemporaryFolder;
namespace fs = std::filesystem;

namespace {

std::string base64(const unsigned char* bytes, std::size_t size) {
    std::string text(sodium_base64_encoded_len(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    text.pop_back(); // the terminating zero
    return text;
}

// A release signing key made for the test.
struct SigningKey {
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char secretKey[crypto_sign_SECRETKEYBYTES];

    SigningKey() {
        EXPECT_EQ(sodium_init() >= 0, true);
        crypto_sign_keypair(publicKey, secretKey);
    }
    std::string publicText() const { return base64(publicKey, sizeof publicKey); }
    std::string sign(std::string_view bytes) const {
        unsigned char signature[crypto_sign_BYTES];
        crypto_sign_detached(signature, nullptr,
                             reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                             secretKey);
        return base64(signature, sizeof signature);
    }
    // As scripts/release-feed signs a release offered as `version`.
    std::string signRelease(const std::string& version, std::string_view bytes) const {
        unsigned char digest[crypto_hash_sha512_BYTES];
        crypto_hash_sha512(digest, reinterpret_cast<const unsigned char*>(bytes.data()),
                           bytes.size());
        char hex[sizeof digest * 2 + 1];
        sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
        return sign(UpdateSignature::signedMessage(version, bytes.size(), hex));
    }
};

struct Enclosure {
    std::string url;
    std::size_t length = 0;
    std::string signature;
};

std::string feed(const std::string& version, const std::string& shortVersion,
                 const std::vector<Enclosure>& enclosures, const std::string& link = {}) {
    std::string item = fmt::format("<item><title>Ambrel {}</title>"
                                   "<ambrel:version>{}</ambrel:version>"
                                   "<ambrel:shortVersionString>{}</ambrel:shortVersionString>",
                                   shortVersion, version, shortVersion);
    if (!link.empty()) {
        item += fmt::format("<link>{}</link>", link);
    }
    for (const auto& enclosure : enclosures) {
        item += fmt::format(R"(<enclosure url="{}" length="{}" ambrel:edSignature="{}" )"
                            R"(type="application/octet-stream"/>)",
                            enclosure.url, enclosure.length, enclosure.signature);
    }
    return R"(<?xml version="1.0" encoding="utf-8"?>)"
           R"(<rss version="2.0" xmlns:ambrel="https://ambrel.org/xml/appcast"><channel>)"
           "<title>Ambrel</title>" +
           item + "</item></channel></rss>";
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& path, std::string_view contents) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << contents;
}

// A release folder as the tarball unpacks it.
void writeRelease(const fs::path& root, std::string_view executable) {
    writeFile(root / "bin/ambrel", executable);
    fs::permissions(root / "bin/ambrel", fs::perms::owner_all);
    writeFile(root / "share/applications/org.ambrel.Ambrel.desktop", "[Desktop Entry]\n");
}

class AppcastUpdaterTest : public ::testing::Test {
protected:
    void SetUp() override {
        core::Log::setSink([this](std::string_view, core::LogLevel, std::string_view message) {
            std::lock_guard lock(logMutex);
            log.emplace_back(message);
        });
    }
    void TearDown() override { core::Log::setSink({}); }

    std::unique_ptr<AppcastUpdater> makeUpdater(InstallLocation location,
                                                std::optional<std::string> publicKey = {}) {
        AppcastUpdater::Configuration configuration;
        configuration.feed = server.url("/appcast.xml");
        configuration.publicKey = publicKey.value_or(key.publicText());
        configuration.currentVersion = "1.2";
        configuration.location = std::move(location);
        configuration.downloads = folder / "cache/updates";
        configuration.settings = settings;
        configuration.isIdle = [this] { return idle; };
        configuration.relaunch = [this](const fs::path& executable) {
            relaunched.push_back(executable);
        };
        configuration.openPage = [this](const std::string& url) { pages.push_back(url); };
        configuration.background = work.submitter();
        configuration.onUpToDate = [this] { ++upToDate; };
        configuration.onCheckFailed = [this](const std::string& reason) {
            failures.push_back(reason);
        };
        auto updater = std::make_unique<AppcastUpdater>(std::move(configuration), scheduler);
        updater->onOfferChanged = [this, raw = updater.get()] {
            if (const auto progress = raw->downloadProgress()) {
                progressSeen.push_back(*progress);
            }
        };
        return updater;
    }

    // Serves `bytes` at `path` and an appcast offering them as `version`.
    void publish(const std::string& path, const std::string& bytes,
                 const std::string& version = "1.3") {
        server.route(path, HttpServer::Route(bytes));
        server.route("/appcast.xml",
                     HttpServer::Route(
                         feed(version, version + " (beta)",
                              {{server.url(path), bytes.size(), key.signRelease(version, bytes)}},
                              "https://ambrel.org/releases/" + version)));
    }

    bool logged(std::string_view text) {
        std::lock_guard lock(logMutex);
        return std::any_of(log.begin(), log.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    }

    std::vector<fs::path> downloadsLeft() const {
        std::vector<fs::path> files;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(folder / "cache/updates", ignored)) {
            files.push_back(entry.path());
        }
        return files;
    }

    TemporaryFolder folder;
    HttpServer server;
    core::VirtualScheduler scheduler;
    DeferredWork work;
    SigningKey key;
    std::shared_ptr<core::MemorySettingsStore> settings =
        std::make_shared<core::MemorySettingsStore>();
    bool idle = true;
    std::vector<fs::path> relaunched;
    std::vector<std::string> pages;
    std::vector<std::string> failures;
    std::vector<double> progressSeen;
    int upToDate = 0;
    std::mutex logMutex;
    std::vector<std::string> log;
};

} // namespace

TEST(AppcastTest, ReadsReleasesAndSkipsWhatCannotBeChecked) {
    const std::string xml =
        R"(<rss xmlns:x="urn:x"><channel>)"
        R"(<item><x:version>1.10</x:version><link>https://example.org/1.10</link>)"
        R"(<enclosure url="https://example.org/a.AppImage" length="10" x:edSignature="c2ln"/>)"
        R"(<enclosure url="https://example.org/a.tar.gz" length="ten" x:edSignature="c2ln"/>)"
        R"(<enclosure url="https://example.org/b.tar.gz" length="12"/></item>)"
        R"(<item><enclosure url="https://example.org/c.AppImage" length="5" x:edSignature="c2ln")"
        R"( x:version="1.9" x:shortVersionString="1.9 final"/></item>)"
        R"(<item><x:version>1.2-nightly</x:version>)"
        R"(<enclosure url="https://example.org/d.AppImage" length="5" x:edSignature="c2ln"/>)"
        R"(</item><item><x:version>2.0</x:version></item>)"
        R"(</channel></rss>)";
    const auto appcast = Appcast::parse(xml);
    ASSERT_EQ(appcast.items.size(), 4u);
    ASSERT_EQ(appcast.items[0].downloads.size(), 1u); // no length, bad length: not offered
    EXPECT_EQ(appcast.items[0].downloads[0].length, 10u);
    EXPECT_EQ(appcast.items[1].version, "1.9");
    EXPECT_EQ(appcast.items[1].shortVersion, "1.9 final");

    // Numeric order, not text order; a release without a download is never the newest.
    const auto newest = appcast.newest(*core::AppVersion::parse("1.2"));
    ASSERT_TRUE(newest);
    EXPECT_EQ(newest->version, "1.10");
    EXPECT_EQ(newest->shortVersion, "1.10"); // falls back to the version
    EXPECT_EQ(newest->link, "https://example.org/1.10");
    EXPECT_FALSE(appcast.newest(*core::AppVersion::parse("1.10")));

    EXPECT_THROW(Appcast::parse("<rss><channel><item>"), Appcast::Error);
    EXPECT_THROW(Appcast::parse("<html><body>Not here</body></html>"), Appcast::Error);
    EXPECT_THROW(Appcast::parse("{\"version\": \"9\"}"), Appcast::Error);
    EXPECT_THROW(Appcast::parse(std::string(Appcast::maximumBytes + 1, ' ')), Appcast::Error);
    std::string many = "<rss><channel>";
    for (int i = 0; i < 1001; ++i) {
        many += "<item/>";
    }
    EXPECT_THROW(Appcast::parse(many + "</channel></rss>"), Appcast::Error);
    // Entities that expand beyond reason are not followed.
    EXPECT_THROW(Appcast::parse(R"(<!DOCTYPE r [<!ENTITY a "aaaaaaaaaa">)"
                                R"(<!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">]>)"
                                R"(<rss><channel><item><x:version>&b;</x:version></item>)"
                                R"(</channel></rss>)"),
                 Appcast::Error);
}

TEST(UpdateSignatureTest, AcceptsOnlyTheReleaseKeysSignatureOfTheseBytesAsThisVersion) {
    TemporaryFolder folder;
    SigningKey key;
    SigningKey other;
    const std::string bytes = "the new release";
    folder.write("release", bytes);
    folder.write("empty", "");
    const int file = ::open((folder / "release").c_str(), O_RDONLY | O_CLOEXEC);
    const int empty = ::open((folder / "empty").c_str(), O_RDONLY | O_CLOEXEC);
    const int directory = ::open(folder.path().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(file, 0);
    const auto signature = key.signRelease("1.3", bytes);
    const auto publicKey = key.publicText();
    const auto verify = [&](std::string_view version, std::uint64_t length,
                            std::string_view signature, std::string_view publicKey) {
        return UpdateSignature::verify(file, version, length, signature, publicKey);
    };
    EXPECT_TRUE(verify("1.3", bytes.size(), signature, publicKey));
    ::lseek(file, 5, SEEK_SET); // read from the start whatever the offset
    EXPECT_TRUE(verify("1.3", bytes.size(), signature, publicKey));
    // Another key, other bytes, or the same bytes offered as another version.
    EXPECT_FALSE(verify("1.3", bytes.size(), other.signRelease("1.3", bytes), publicKey));
    EXPECT_FALSE(verify("1.3", bytes.size(), signature, other.publicText()));
    EXPECT_FALSE(verify("1.3", bytes.size(), key.signRelease("1.3", "the old release"), publicKey));
    EXPECT_FALSE(verify("1.4", bytes.size(), signature, publicKey));
    EXPECT_FALSE(verify("1.3.0", bytes.size(), signature, publicKey));
    EXPECT_FALSE(verify("1.3", bytes.size(), key.sign(bytes), publicKey)); // the bytes alone
    EXPECT_FALSE(verify("1.3", bytes.size() + 1, signature, publicKey));
    EXPECT_FALSE(verify("1.3\n" + std::to_string(bytes.size()), bytes.size(),
                        key.signRelease("1.3\n" + std::to_string(bytes.size()), bytes), publicKey));
    EXPECT_FALSE(verify("", bytes.size(), key.signRelease("", bytes), publicKey));
    // Malformed signatures and keys.
    EXPECT_FALSE(verify("1.3", bytes.size(), "", publicKey));
    EXPECT_FALSE(verify("1.3", bytes.size(), "not base64!", publicKey));
    EXPECT_FALSE(verify("1.3", bytes.size(), signature.substr(4), publicKey));
    EXPECT_FALSE(verify("1.3", bytes.size(), signature + "AAAA", publicKey));
    EXPECT_FALSE(verify("1.3", bytes.size(), signature, ""));
    // Files that are no release.
    EXPECT_TRUE(UpdateSignature::verify(empty, "1.3", 0, key.signRelease("1.3", ""), publicKey));
    EXPECT_FALSE(UpdateSignature::verify(directory, "1.3", 0, signature, publicKey));
    EXPECT_FALSE(UpdateSignature::verify(-1, "1.3", bytes.size(), signature, publicKey));
    ::close(file);
    ::close(empty);
    ::close(directory);

    // Base64 of exactly the size asked for, white space between allowed.
    EXPECT_EQ(UpdateSignature::decodeBase64("AAEC", 3), (std::vector<unsigned char>{0, 1, 2}));
    EXPECT_EQ(UpdateSignature::decodeBase64(" AA\nEC\t", 3), (std::vector<unsigned char>{0, 1, 2}));
    for (const char* text : {"AAE=", "AAECAw==", "AAEC!", "AAE", "", "AA=C", "AAEC====",
                             "AA\xc4"
                             "EC",
                             "AAEC\xff"}) {
        EXPECT_EQ(UpdateSignature::decodeBase64(text, 3), std::nullopt) << text;
    }
}

TEST(InstallLocationTest, TellsWhatAnUpdateMayReplace) {
    TemporaryFolder folder;
    writeFile(folder / "Ambrel.AppImage", "image");
    auto location = InstallLocation::detect("/tmp/.mount_Ambrel/usr/bin/ambrel",
                                            (folder / "Ambrel.AppImage").string());
    EXPECT_EQ(location.kind, InstallLocation::Kind::appImage);
    EXPECT_EQ(location.path, folder / "Ambrel.AppImage");
    EXPECT_EQ(location.downloadSuffix(), ".AppImage");
    // A variable naming no file is not trusted.
    EXPECT_FALSE(InstallLocation::detect("/usr/bin/ambrel", (folder / "gone.AppImage").string())
                     .canUpdate());

    writeRelease(folder / "Ambrel-1.2", "old");
    location = InstallLocation::detect(folder / "Ambrel-1.2/bin/ambrel", std::nullopt);
    EXPECT_EQ(location.kind, InstallLocation::Kind::folder);
    EXPECT_EQ(location.path, folder / "Ambrel-1.2");
    EXPECT_EQ(location.downloadSuffix(), ".tar.gz");

    // A build folder, and the system's own folders, are not release folders.
    writeFile(folder / "build/bin/ambrel", "");
    EXPECT_EQ(InstallLocation::detect(folder / "build/bin/ambrel", std::nullopt).kind,
              InstallLocation::Kind::package);
    location = InstallLocation::detect("/usr/bin/ambrel", std::nullopt);
    EXPECT_EQ(location.kind, InstallLocation::Kind::package);
    EXPECT_FALSE(location.canUpdate());
    EXPECT_EQ(location.downloadSuffix(), "");
}

TEST_F(AppcastUpdaterTest, FindsChecksAndInstallsAnAppImageWhenIdle) {
    const auto image = folder / "Apps/Ambrel.AppImage";
    writeFile(image, "old release");
    const std::string release(300 * 1024, 'n');
    publish("/Ambrel-1.3-x86_64.AppImage", release);
    idle = false;
    auto updater = makeUpdater({InstallLocation::Kind::appImage, image});
    updater->start();

    // The first check waits a minute after start-up.
    scheduler.advance(59);
    work.settle(scheduler);
    EXPECT_EQ(server.requestCount("/appcast.xml"), 0u);
    scheduler.advance(1);
    work.settle(scheduler);
    EXPECT_EQ(server.requestCount("/appcast.xml"), 1u);
    ASSERT_TRUE(updater->offer());
    EXPECT_EQ(*updater->offer(), (UpdateOffer{UpdateOffer::Kind::readyToInstall, "1.3 (beta)"}));
    EXPECT_FALSE(updater->downloadProgress());
    ASSERT_FALSE(progressSeen.empty());
    EXPECT_EQ(progressSeen.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(progressSeen.begin(), progressSeen.end()));

    // Busy: the installation waits, trying again every minute.
    for (int minute = 0; minute < 5; ++minute) {
        scheduler.advance(60);
        work.settle(scheduler);
    }
    EXPECT_EQ(readFile(image), "old release");
    EXPECT_TRUE(relaunched.empty());
    EXPECT_FALSE(settings->stringValue(AppcastUpdater::quietTargetKey));

    // A still newer release, found by the next day's check, takes the waiting one's place
    // without a download shown in the menu.
    const std::string newer(100 * 1024, 'N');
    publish("/Ambrel-1.4-x86_64.AppImage", newer, "1.4");
    const auto shown = progressSeen.size();
    scheduler.advance(AppcastUpdater::checkInterval);
    work.settle(scheduler);
    EXPECT_EQ(*updater->offer(), (UpdateOffer{UpdateOffer::Kind::readyToInstall, "1.4 (beta)"}));
    EXPECT_EQ(progressSeen.size(), shown);
    EXPECT_EQ(downloadsLeft().size(), 1u);
    scheduler.advance(AppcastUpdater::checkInterval); // nothing newer still: nothing new
    work.settle(scheduler);
    EXPECT_EQ(server.requestCount("/Ambrel-1.4-x86_64.AppImage"), 1u);

    idle = true;
    scheduler.advance(59);
    EXPECT_TRUE(relaunched.empty());
    scheduler.advance(1);
    EXPECT_EQ(readFile(image), newer);
    EXPECT_TRUE((fs::status(image).permissions() & fs::perms::owner_exec) != fs::perms::none);
    EXPECT_EQ(relaunched, std::vector<fs::path>{image});
    EXPECT_EQ(settings->stringValue(AppcastUpdater::quietTargetKey), "1.4");
    EXPECT_TRUE(downloadsLeft().empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "Apps"), fs::directory_iterator()), 1);

    // The launch that follows knows it came from the quiet update, once.
    EXPECT_TRUE(AppcastUpdater::reopenedByQuietUpdate(*settings, "1.4"));
    EXPECT_FALSE(AppcastUpdater::reopenedByQuietUpdate(*settings, "1.4"));
    // A feed that writes the version shorter than the build does is still the same version.
    settings->setValue(AppcastUpdater::quietTargetKey, std::string("1.4"));
    EXPECT_TRUE(AppcastUpdater::reopenedByQuietUpdate(*settings, "1.4.0"));
}

TEST_F(AppcastUpdaterTest, AQuietUpdateThatDidNotTakeEffectIsNotRepeated) {
    // The old build came back up after the quiet installation: not reopened by the update.
    settings->setValue(AppcastUpdater::quietTargetKey, std::string("1.3"));
    EXPECT_FALSE(AppcastUpdater::reopenedByQuietUpdate(*settings, "1.2"));
    EXPECT_FALSE(settings->stringValue(AppcastUpdater::quietTargetKey));
    EXPECT_TRUE(logged("The update to 1.3 did not take effect; 1.2 is still running"));

    // The same release again waits for the user instead of restarting the app every minute.
    const auto image = folder / "Ambrel.AppImage";
    writeFile(image, "old release");
    publish("/Ambrel-1.3.AppImage", "release 1.3");
    auto updater = makeUpdater({InstallLocation::Kind::appImage, image});
    updater->start();
    scheduler.advance(60);
    work.settle(scheduler);
    EXPECT_EQ(updater->offer()->kind, UpdateOffer::Kind::readyToInstall);
    scheduler.advance(600);
    EXPECT_TRUE(relaunched.empty());
    updater->installUpdate();
    EXPECT_EQ(readFile(image), "release 1.3");
    EXPECT_EQ(relaunched.size(), 1u);

    // A later release is installed quietly as usual.
    updater = makeUpdater({InstallLocation::Kind::appImage, image});
    publish("/Ambrel-1.4.AppImage", "release 1.4", "1.4");
    updater->checkForUpdates();
    work.settle(scheduler);
    EXPECT_EQ(readFile(image), "release 1.4");
    EXPECT_EQ(relaunched.size(), 2u);
}

TEST_F(AppcastUpdaterTest, ReplacesAnUnpackedReleaseFolderOnRequest) {
    const auto install = folder / "Programs/Ambrel";
    writeRelease(install, "old");
    writeFile(install / "lib/ambrel/removed-in-1.3.so", "old library");
    TemporaryFolder staging;
    writeRelease(staging / "Ambrel-1.3", "new");
    ASSERT_EQ(Subprocess::run({"tar", "-C", staging.path().string(), "-czf",
                               (staging / "release.tar.gz").string(), "Ambrel-1.3"}),
              0);
    // Signed and announced with the release tools, as a release would be.
    const auto tools = fs::path(AMBREL_SOURCE_DIR) / "scripts/release-feed";
    Subprocess makeKey({tools.string(), "key", (staging / "release.pem").string()});
    ASSERT_EQ(makeKey.wait(), 0) << makeKey.errors();
    const auto tarball = staging / "ambrel-1.3-linux-x86_64.tar.gz";
    fs::rename(staging / "release.tar.gz", tarball);
    Subprocess makeFeed({tools.string(), "feed", (staging / "release.pem").string(), "1.3",
                         server.url("/releases/"), "https://ambrel.org/releases/1.3",
                         tarball.string()});
    ASSERT_EQ(makeFeed.wait(), 0) << makeFeed.errors();
    server.route("/appcast.xml", HttpServer::Route(makeFeed.output()));
    server.route("/releases/ambrel-1.3-linux-x86_64.tar.gz", HttpServer::Route(readFile(tarball)));

    idle = false; // the user's own choice does not wait for idleness
    auto updater = makeUpdater(InstallLocation::detect(install / "bin/ambrel", std::nullopt),
                               makeKey.output().substr(0, makeKey.output().find('\n')));
    updater->checkForUpdates();
    EXPECT_FALSE(updater->canCheckForUpdates());
    work.settle(scheduler);
    ASSERT_TRUE(updater->offer());
    EXPECT_EQ(*updater->offer(), (UpdateOffer{UpdateOffer::Kind::readyToInstall, "1.3"}));
    EXPECT_EQ(readFile(install / "bin/ambrel"), "old");

    updater->installUpdate();
    EXPECT_EQ(readFile(install / "bin/ambrel"), "new");
    EXPECT_FALSE(fs::exists(install / "lib/ambrel/removed-in-1.3.so"));
    EXPECT_EQ(relaunched, std::vector<fs::path>{install / "bin/ambrel"});
    // Nothing is left beside the install; a user-chosen installation is no quiet one.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "Programs"), fs::directory_iterator()),
              1);
    EXPECT_FALSE(settings->stringValue(AppcastUpdater::quietTargetKey));
    EXPECT_EQ(upToDate, 0);
    EXPECT_TRUE(failures.empty());
}

TEST_F(AppcastUpdaterTest, RefusesBadReleasesAndLeavesTheInstallAsItWas) {
    struct Case {
        std::string name;
        std::function<void()> serve;
        std::string reason; // in the log
    };
    const std::string release(200 * 1024, 'r');
    const std::string path = "/Ambrel-1.3.AppImage";
    SigningKey stranger;
    const std::vector<Case> cases = {
        {"malformed feed",
         [&] { server.route("/appcast.xml", HttpServer::Route("<rss><channel><item>")); },
         "not valid XML"},
        {"feed too large",
         [&] {
             server.route("/appcast.xml",
                          HttpServer::Route("<rss>" + std::string(2 << 20, ' ') + "</rss>"));
         },
         "Update refused: the release feed"},
        {"missing feed", [&] { server.route("/appcast.xml", HttpServer::Route("gone", 404)); },
         "404"},
        {"wrong signature",
         [&] {
             server.route(path, HttpServer::Route(release));
             server.route("/appcast.xml",
                          HttpServer::Route(feed("1.3", "1.3",
                                                 {{server.url(path), release.size(),
                                                   stranger.signRelease("1.3", release)}})));
         },
         "signature does not match"},
        {"signature of other bytes",
         [&] {
             server.route(path, HttpServer::Route(release));
             server.route("/appcast.xml",
                          HttpServer::Route(feed("1.3", "1.3",
                                                 {{server.url(path), release.size(),
                                                   key.signRelease("1.3", "other bytes")}})));
         },
         "signature does not match"},
        {"release signed as an older version",
         [&] {
             server.route(path, HttpServer::Route(release));
             server.route("/appcast.xml",
                          HttpServer::Route(feed("1.3", "1.3",
                                                 {{server.url(path), release.size(),
                                                   key.signRelease("1.1", release)}})));
         },
         "signature does not match the release key and version"},
        {"release signed by its bytes alone",
         [&] {
             server.route(path, HttpServer::Route(release));
             server.route(
                 "/appcast.xml",
                 HttpServer::Route(
                     feed("1.3", "1.3", {{server.url(path), release.size(), key.sign(release)}})));
         },
         "signature does not match"},
        {"truncated download",
         [&] {
             publish(path, release);
             server.route(path, HttpServer::Route(release).withoutRanges().cutAfter(1000));
         },
         "Update refused: " + server.url(path)},
        {"download shorter than announced",
         [&] {
             publish(path, release);
             server.route(path, HttpServer::Route(release.substr(0, 5000)));
         },
         "5000 bytes arrived where 204800 were announced"},
        {"oversized download",
         [&] {
             publish(path, release);
             server.route(path, HttpServer::Route(release + release));
         },
         "larger than 204800 bytes"}, // the download stops at the announced length
        {"absurd announced length",
         [&] {
             server.route(
                 "/appcast.xml",
                 HttpServer::Route(feed(
                     "1.3", "1.3", {{server.url(path), std::size_t{1} << 40, key.sign(release)}})));
         },
         "is more than a release can be"},
        {"same version", [&] { publish(path, release, "1.2"); }, "No release newer than 1.2"},
        {"older version", [&] { publish(path, release, "1.1.9"); }, "No release newer than 1.2"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        TemporaryFolder apps;
        const auto image = apps / "Ambrel.AppImage";
        writeFile(image, "old release");
        log.clear();
        testCase.serve();
        auto updater = makeUpdater({InstallLocation::Kind::appImage, image});
        updater->start();
        scheduler.advance(60);
        work.settle(scheduler);
        updater->installUpdate();
        work.settle(scheduler);
        scheduler.advance(120);
        work.settle(scheduler);

        EXPECT_TRUE(logged(testCase.reason)) << (log.empty() ? "" : log.back());
        EXPECT_TRUE(!updater->offer() || updater->offer()->kind == UpdateOffer::Kind::available);
        EXPECT_FALSE(updater->downloadProgress());
        EXPECT_EQ(readFile(image), "old release");
        EXPECT_EQ(std::distance(fs::directory_iterator(apps.path()), fs::directory_iterator()), 1);
        EXPECT_TRUE(downloadsLeft().empty());
        EXPECT_TRUE(relaunched.empty());
        EXPECT_FALSE(settings->stringValue(AppcastUpdater::quietTargetKey));
    }
    EXPECT_EQ(server.requestCount(path) > 0, true);
    EXPECT_EQ(upToDate, 0); // scheduled checks say nothing
    EXPECT_TRUE(failures.empty());
}

TEST_F(AppcastUpdaterTest, ChecksTheUserAsksForAnswerEitherWay) {
    auto updater = makeUpdater({InstallLocation::Kind::package, "/usr/bin/ambrel"});
    server.route("/appcast.xml", HttpServer::Route("<rss><chan"));
    updater->checkForUpdates();
    work.settle(scheduler);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("not valid XML"), std::string::npos);

    publish("/Ambrel-1.2.tar.gz", "bytes", "1.2");
    updater->checkForUpdates();
    work.settle(scheduler);
    EXPECT_EQ(upToDate, 1);
    EXPECT_FALSE(updater->offer());

    // A system package: offered, and the offer opens the release page; nothing is downloaded.
    publish("/Ambrel-1.3.tar.gz", "bytes");
    updater->checkForUpdates();
    work.settle(scheduler);
    EXPECT_EQ(updater->offer(), (UpdateOffer{UpdateOffer::Kind::available, "1.3 (beta)"}));
    updater->installUpdate();
    work.settle(scheduler);
    EXPECT_EQ(pages, std::vector<std::string>{"https://ambrel.org/releases/1.3"});
    EXPECT_EQ(server.requestCount("/Ambrel-1.3.tar.gz"), 0u);
    EXPECT_TRUE(downloadsLeft().empty());

    // The feed is not signed: a release page that is no web address is not opened.
    server.route("/appcast.xml",
                 HttpServer::Route(feed(
                     "1.4", "1.4", {{server.url("/x.tar.gz"), 5, key.signRelease("1.4", "bytes")}},
                     "file:///etc/passwd")));
    updater->checkForUpdates();
    work.settle(scheduler);
    updater->installUpdate();
    EXPECT_EQ(pages.size(), 1u);
    EXPECT_TRUE(logged("the release page is not a web address"));

    // Quitting while a release downloads ends the download rather than waiting for it.
    auto leaving = makeUpdater({InstallLocation::Kind::appImage, folder / "Ambrel.AppImage"});
    publish("/Ambrel-1.5.AppImage", std::string(std::size_t{4} << 20, 'x'), "1.5");
    leaving->checkForUpdates();
    work.runOne();
    scheduler.runPending(); // the check's answer starts the download
    ASSERT_EQ(work.size(), 1u);
    EXPECT_FALSE(leaving->canCheckForUpdates());
    leaving.reset();
    work.runOne();
    EXPECT_TRUE(downloadsLeft().empty());
}

TEST_F(AppcastUpdaterTest, AReleaseThatCannotBeUnpackedLeavesTheFolderAlone) {
    const auto install = folder / "Ambrel";
    writeRelease(install, "old");
    TemporaryFolder staging;
    writeFile(staging / "Ambrel-1.3/README", "no program inside");
    ASSERT_EQ(Subprocess::run({"tar", "-C", staging.path().string(), "-czf",
                               (staging / "release.tar.gz").string(), "Ambrel-1.3"}),
              0);
    publish("/Ambrel-1.3.tar.gz", staging.read("release.tar.gz"));
    auto updater = makeUpdater(InstallLocation::detect(install / "bin/ambrel", std::nullopt));
    updater->start();
    scheduler.advance(60);
    work.settle(scheduler);

    EXPECT_TRUE(logged("the download holds no bin/ambrel"));
    EXPECT_FALSE(updater->offer()); // the failed release is not offered again
    EXPECT_EQ(readFile(install / "bin/ambrel"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 2);
    EXPECT_TRUE(downloadsLeft().empty());
    EXPECT_TRUE(relaunched.empty());
    EXPECT_FALSE(settings->stringValue(AppcastUpdater::quietTargetKey));
}

TEST_F(AppcastUpdaterTest, InstallsTheBytesThatWereCheckedWhateverTheirNameNowHolds) {
    const auto image = folder / "Apps/Ambrel.AppImage";
    writeFile(image, "old release");
    const std::string release(100 * 1024, 'n');
    publish("/Ambrel-1.3.AppImage", release);
    idle = false;
    auto updater = makeUpdater({InstallLocation::Kind::appImage, image});
    updater->checkForUpdates();
    work.settle(scheduler);
    ASSERT_TRUE(updater->offer());
    ASSERT_EQ(updater->offer()->kind, UpdateOffer::Kind::readyToInstall);

    // While it waits, something puts other bytes under the download's name.
    const auto waiting = downloadsLeft();
    ASSERT_EQ(waiting.size(), 1u);
    writeFile(folder / "swapped", "#!/bin/sh\necho not the release\n");
    fs::rename(folder / "swapped", waiting.front());

    updater->installUpdate();
    EXPECT_EQ(readFile(image), release);
    EXPECT_EQ(relaunched, std::vector<fs::path>{image});
    EXPECT_TRUE(downloadsLeft().empty());
}

TEST_F(AppcastUpdaterTest, AReleaseFolderMustBeTheVersionOffered) {
    const auto install = folder / "Ambrel";
    writeRelease(install, "old");
    TemporaryFolder staging;
    // An older release, correctly signed as what it is, offered by the feed as 1.3.
    writeRelease(staging / "ambrel-1.1-linux-x86_64", "1.1");
    ASSERT_EQ(Subprocess::run({"tar", "-C", staging.path().string(), "-czf",
                               (staging / "release.tar.gz").string(), "ambrel-1.1-linux-x86_64"}),
              0);
    publish("/ambrel-1.3-linux-x86_64.tar.gz", staging.read("release.tar.gz"));
    auto updater = makeUpdater(InstallLocation::detect(install / "bin/ambrel", std::nullopt));
    updater->start();
    scheduler.advance(60);
    work.settle(scheduler);

    EXPECT_TRUE(logged("the download is release 1.1, not 1.3"));
    EXPECT_EQ(readFile(install / "bin/ambrel"), "old");
    EXPECT_TRUE(relaunched.empty());

    // The same version written another way is the same version.
    TemporaryFolder next;
    writeRelease(next / "ambrel-1.4.0-linux-x86_64", "1.4");
    ASSERT_EQ(Subprocess::run({"tar", "-C", next.path().string(), "-czf",
                               (next / "release.tar.gz").string(), "ambrel-1.4.0-linux-x86_64"}),
              0);
    publish("/ambrel-1.4-linux-x86_64.tar.gz", next.read("release.tar.gz"), "1.4");
    updater->checkForUpdates();
    work.settle(scheduler);
    EXPECT_EQ(readFile(install / "bin/ambrel"), "1.4");
}
