#include "speech/ModelInstaller.h"

#include "ArchiveBuilder.h"
#include "HttpServer.h"
#include "TemporaryFolder.h"
#include "speech/ModelInstallError.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <openssl/evp.h>

using namespace ambrel;
using namespace ambrel::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Format = ArchiveBuilder::Format;
using Route = HttpServer::Route;

namespace {

std::string digest(const EVP_MD* method, const std::string& bytes) {
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), value, &length, method, nullptr);
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += "0123456789abcdef"[value[i] >> 4];
        text += "0123456789abcdef"[value[i] & 0xf];
    }
    return text;
}

std::string noise(std::size_t size, std::uint32_t seed) {
    std::string bytes(size, '\0');
    for (auto& byte : bytes) {
        seed = seed * 1664525 + 1013904223;
        byte = static_cast<char>(seed >> 24);
    }
    return bytes;
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// A zip whose headers all claim `size` bytes for every file, whatever the data holds.
std::string understated(std::string zip, std::uint32_t size) {
    const auto patch = [&](const std::string& signature, std::size_t offset) {
        for (auto at = zip.find(signature); at != std::string::npos;
             at = zip.find(signature, at + 1)) {
            for (std::size_t i = 0; i < 4; ++i) {
                zip[at + offset + i] = static_cast<char>((size >> (8 * i)) & 0xff);
            }
        }
    };
    patch(std::string("PK\3\4", 4), 22);
    patch(std::string("PK\1\2", 4), 24);
    patch(std::string("PK\7\x08", 4), 12);
    return zip;
}

// The files of a small model, as they sit in most published archives.
ArchiveBuilder model(Format format, const std::string& top, const std::string& version) {
    ArchiveBuilder archive(format);
    archive.folder(top + "am").file(top + "am/final.mdl", noise(300'000, 7));
    archive.folder(top + "conf").file(top + "conf/model.conf", "--sample-frequency=16000\n");
    archive.file(top + "README", "model " + version + "\n");
    return archive;
}

class ModelInstallerTest : public ::testing::Test {
protected:
    HttpServer server;
    TemporaryFolder folder;
    fs::path models = folder / "models";
    fs::path destination = models / "en-US";
    std::vector<double> fractions;

    ModelArchive serve(const std::string& bytes, Route route = {}) {
        route.body = bytes;
        server.route("/model.zip", std::move(route));
        return {server.url("/model.zip"), bytes.size(), digest(EVP_sha256(), bytes), std::nullopt};
    }

    void install(const ModelArchive& archive, const std::atomic<bool>* cancelled = nullptr,
                 const ModelInstaller::Limits& limits = ModelInstaller::defaultLimits) {
        fractions.clear();
        ModelInstaller::install(
            archive, destination, [this](double fraction) { fractions.push_back(fraction); },
            cancelled, limits);
    }

    ModelInstallError failure(const ModelArchive& archive,
                              const ModelInstaller::Limits& limits = ModelInstaller::defaultLimits,
                              const std::atomic<bool>* cancelled = nullptr) {
        try {
            install(archive, cancelled, limits);
        } catch (const ModelInstallError& error) {
            return error;
        }
        ADD_FAILURE() << "the installation succeeded";
        return ModelInstallError("none");
    }

    // Everything below the test's folder, hidden files included.
    std::vector<std::string> everything() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(folder.path())) {
            names.push_back(entry.path().lexically_relative(folder.path()).string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string read(const std::string& name) const { return folder.read("models/en-US/" + name); }

    void expectCompleteProgress() const {
        ASSERT_GE(fractions.size(), 3u);
        EXPECT_EQ(fractions.front(), 0.0);
        EXPECT_EQ(fractions.back(), 1.0);
        EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
        EXPECT_TRUE(std::any_of(fractions.begin(), fractions.end(),
                                [](double f) { return f > 0 && f < 1; }));
    }
};

TEST_F(ModelInstallerTest, InstallsAZipWithItsSingleTopFolderStripped) {
    install(serve(model(Format::zip, "vosk-model-small-en-us-0.15/", "1").bytes(),
                  Route().inChunks(32 * 1024)));

    EXPECT_EQ(read("README"), "model 1\n");
    EXPECT_EQ(read("am/final.mdl"), noise(300'000, 7));
    EXPECT_EQ(read("conf/model.conf"), "--sample-frequency=16000\n");
    EXPECT_EQ(everything(),
              (std::vector<std::string>{"models", "models/en-US", "models/en-US/README",
                                        "models/en-US/am", "models/en-US/am/final.mdl",
                                        "models/en-US/conf", "models/en-US/conf/model.conf"}));
    expectCompleteProgress();
}

TEST_F(ModelInstallerTest, InstallsATarGzWithSeveralTopLevelEntriesAsTheyAre) {
    auto archive = model(Format::tarGz, "./", "1");
    archive.file("./extra/notes.txt", "notes");
    const auto bytes = archive.bytes();
    auto described = serve(bytes);
    described.sha256 = upper(*described.sha256);

    install(described);

    EXPECT_EQ(read("README"), "model 1\n");
    EXPECT_EQ(read("am/final.mdl"), noise(300'000, 7));
    EXPECT_EQ(read("extra/notes.txt"), "notes");
    expectCompleteProgress();
}

TEST_F(ModelInstallerTest, InstallsWithAnMd5AndNoSize) {
    const auto bytes = model(Format::zip, "", "1").bytes();
    install({serve(bytes).url, std::nullopt, std::nullopt, upper(digest(EVP_md5(), bytes))});

    EXPECT_EQ(read("README"), "model 1\n");
    EXPECT_EQ(fractions.back(), 1.0);
}

TEST_F(ModelInstallerTest, RefusesADownloadThatDoesNotMatchItsDescription) {
    const auto bytes = model(Format::zip, "top/", "1").bytes();
    const auto good = serve(bytes);
    const auto wrongDigest = std::string(64, '0');
    struct Case {
        const char* name;
        ModelArchive archive;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"sha256", {good.url, good.size, wrongDigest, std::nullopt}, "checksum"},
        // The SHA-256 wins over a matching MD5.
        {"sha256 before md5",
         {good.url, good.size, wrongDigest, digest(EVP_md5(), bytes)},
         "checksum"},
        {"md5", {good.url, good.size, std::nullopt, std::string(32, 'f')}, "checksum"},
        {"size", {good.url, *good.size + 1, good.sha256, std::nullopt}, "size"},
    };
    for (const auto& [name, archive, message] : cases) {
        SCOPED_TRACE(name);
        const auto error = failure(archive);
        EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
        EXPECT_FALSE(error.cancelled());
        EXPECT_EQ(everything(), std::vector<std::string>{"models"});
    }

    // A server sending more than the list announced is cut off, also when it tells no length.
    for (const bool announceLength : {true, false}) {
        SCOPED_TRACE(announceLength ? "with a length" : "without a length");
        auto route = Route().inChunks(16 * 1024);
        if (!announceLength) {
            route.withoutLength();
        }
        const auto large = serve(bytes + noise(2'000'000, 5), route);
        const auto error = failure({large.url, 1000, large.sha256, std::nullopt});
        EXPECT_STREQ(error.what(), "the download is larger than the announced 1000 bytes");
        EXPECT_EQ(everything(), std::vector<std::string>{"models"});
        ModelInstaller::Limits capped = ModelInstaller::defaultLimits;
        capped.downloadBytes = 1000;
        const auto unannounced =
            failure({large.url, std::nullopt, std::nullopt, std::nullopt}, capped);
        EXPECT_STREQ(unannounced.what(), "the download is larger than 1000 bytes");
        EXPECT_EQ(everything(), std::vector<std::string>{"models"});
    }

    const auto notAnArchive = failure(serve(noise(5000, 3)));
    EXPECT_NE(std::string(notAnArchive.what()).find("damaged"), std::string::npos)
        << notAnArchive.what();
    EXPECT_EQ(everything(), std::vector<std::string>{"models"});
}

TEST_F(ModelInstallerTest, ContinuesAnInterruptedDownload) {
    const auto bytes = model(Format::zip, "top/", "1").bytes();
    const auto half = bytes.size() / 2;
    const auto archive = serve(bytes, Route().cutAfter(half));

    failure(archive);
    EXPECT_FALSE(fs::exists(destination));
    EXPECT_EQ(fs::file_size(ModelInstaller::partialFile(destination)), half);

    serve(bytes);
    install(archive);

    EXPECT_EQ(read("README"), "model 1\n");
    const auto requests = server.requests("/model.zip");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].header("range"), "bytes=" + std::to_string(half) + "-");
    EXPECT_FALSE(fs::exists(ModelInstaller::partialFile(destination)));
    expectCompleteProgress();
}

TEST_F(ModelInstallerTest, KeepsThePartialFileHiddenBesideTheDestination) {
    EXPECT_EQ(ModelInstaller::partialFile(models / "en-US"), models / ".en-US.part");
    EXPECT_EQ(ModelInstaller::partialFile(models / "en-US/"), models / ".en-US.part");
}

TEST_F(ModelInstallerTest, RefusesHostileArchivesLeavingNothingBehind) {
    const ModelInstaller::Limits small{1000, 30s, ModelInstaller::defaultLimits.downloadBytes};
    struct Case {
        const char* name;
        ArchiveBuilder archive;
        const char* message;
        ModelInstaller::Limits limits = ModelInstaller::defaultLimits;
        std::optional<std::uint32_t> claimedSize =
            std::nullopt; // in every header, whatever the data holds
    };
    const auto tar = [] { return ArchiveBuilder(Format::tarGz); };
    const auto zip = [] { return ArchiveBuilder(Format::zip); };
    const std::vector<Case> cases = {
        {"absolute path", tar().file("README", "x").file("/tmp/ambrel-absolute", "x"),
         "absolute path"},
        {"dot-dot", tar().file("top/README", "x").file("top/../../escaped", "x"), "\"..\""},
        {"symlink to /etc", tar().symlink("top/etc", "/etc").file("top/etc/ambrel-probe", "x"),
         "link"},
        {"zip symlink to /etc", zip().symlink("top/etc", "/etc"), "link"},
        {"symlink upwards", tar().file("top/README", "x").symlink("top/up", "../.."), "link"},
        {"symlink out once the top folder goes",
         tar().file("top/README", "x").symlink("top/link", "../top/README"), "link"},
        {"symlink out through another link",
         tar().folder("d").folder("d/e").symlink("d/e/s", "../..").symlink("t", "d/e/s/../x"),
         "link"},
        {"hard link upwards", tar().file("top/README", "x").hardlink("top/h", "../outside"),
         "link"},
        {"hard link to an absolute path",
         tar().file("top/README", "x").hardlink("top/h", "/etc/passwd"), "link"},
        {"hard link to nothing", tar().file("top/README", "x").hardlink("top/h", "top/missing"),
         "hard link"},
        {"hard link to a folder", tar().folder("top/d").hardlink("top/h", "top/d"), "hard link"},
        {"fifo", tar().file("top/README", "x").fifo("top/pipe"), "device or pipe"},
        {"device", tar().file("top/README", "x").characterDevice("top/null"), "device or pipe"},
        {"one large file", tar().file("top/README", "x").file("top/big", std::string(1001, 'b')),
         "more than 1000 bytes", small},
        {"many files",
         tar()
             .file("a", std::string(400, 'a'))
             .file("b", std::string(400, 'b'))
             .file("c", std::string(400, 'c')),
         "more than 1000 bytes", small},
        {"file of unknown size", zip().fileOfUnknownSize("top/big", std::string(5000, 'b')),
         "more than 1000 bytes", small},
        {"file larger than its header says", zip().file("top/big", std::string(5000, 'b')),
         "more than 1000 bytes", small, 100},
        // Files are made as long as their headers say: two of 600 bytes, whatever they hold.
        {"files smaller than their headers say", zip().file("top/a", "a").file("top/b", "b"),
         "more than 1000 bytes", small, 600},
    };
    for (const auto& [name, archive, message, limits, claimedSize] : cases) {
        SCOPED_TRACE(name);
        const auto bytes = archive.bytes();
        const auto error =
            failure(serve(claimedSize ? understated(bytes, *claimedSize) : bytes), limits);
        EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
        EXPECT_EQ(everything(), std::vector<std::string>{"models"});
    }
    EXPECT_FALSE(fs::exists("/tmp/ambrel-absolute"));
    EXPECT_FALSE(fs::exists("/etc/ambrel-probe"));
}

TEST_F(ModelInstallerTest, KeepsLinksThatStayInside) {
    install(serve(ArchiveBuilder(Format::tarGz)
                      .file("top/am/final.mdl", "weights")
                      .symlink("top/current", "am/final.mdl")
                      .folder("top/conf")
                      .symlink("top/conf/am", "../am")
                      .hardlink("top/copy", "top/am/final.mdl")
                      .bytes()));

    EXPECT_EQ(read("current"), "weights");
    EXPECT_EQ(read("conf/am/final.mdl"), "weights");
    EXPECT_EQ(read("copy"), "weights");
    EXPECT_TRUE(fs::is_symlink(destination / "current"));
    EXPECT_EQ(fs::hard_link_count(destination / "copy"), 2u);
}

TEST_F(ModelInstallerTest, ReplacesAnInstalledModelOnlyOnceTheNewOneIsComplete) {
    install(serve(model(Format::zip, "top/", "1").bytes()));
    ASSERT_EQ(read("README"), "model 1\n");

    auto damaged = serve(model(Format::zip, "top/", "2").bytes());
    damaged.sha256 = std::string(64, 'a');
    failure(damaged);
    failure(serve(ArchiveBuilder(Format::tarGz).file("README", "x").fifo("pipe").bytes()));
    EXPECT_EQ(read("README"), "model 1\n");

    std::vector<std::string> seenBeforeTheEnd;
    ModelInstaller::install(serve(model(Format::tarGz, "", "2").file("new", "").bytes()),
                            destination, [&](double fraction) {
                                if (fraction < 1) {
                                    seenBeforeTheEnd.push_back(read("README"));
                                }
                            });

    EXPECT_EQ(read("README"), "model 2\n");
    EXPECT_TRUE(fs::exists(destination / "new"));
    EXPECT_FALSE(seenBeforeTheEnd.empty());
    EXPECT_TRUE(std::all_of(seenBeforeTheEnd.begin(), seenBeforeTheEnd.end(),
                            [](const std::string& text) { return text == "model 1\n"; }));
    EXPECT_EQ(everything().size(), 8u); // the new model's files only, nothing hidden
}

TEST_F(ModelInstallerTest, StopsWhenCancelledAndContinuesLater) {
    const auto bytes = model(Format::zip, "top/", "1").bytes();
    const auto archive = serve(bytes, Route().inChunks(4096, 20ms));
    std::atomic<bool> cancelled = false;
    const auto start = std::chrono::steady_clock::now();

    try {
        ModelInstaller::install(
            archive, destination, [&](double fraction) { cancelled = fraction > 0.1; }, &cancelled);
        ADD_FAILURE() << "the installation was not cancelled";
    } catch (const ModelInstallError& error) {
        EXPECT_TRUE(error.cancelled());
    }

    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_FALSE(fs::exists(destination));
    const auto kept = fs::file_size(ModelInstaller::partialFile(destination));
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, bytes.size());

    cancelled = false;
    serve(bytes);
    install(archive, &cancelled);
    EXPECT_EQ(read("README"), "model 1\n");
    EXPECT_EQ(server.requests("/model.zip").back().header("range"),
              "bytes=" + std::to_string(kept) + "-");
}

TEST_F(ModelInstallerTest, ReportsProgressAtLeastTwiceASecondFromASlowServer) {
    const auto bytes = model(Format::zip, "top/", "1").bytes();
    std::vector<std::chrono::steady_clock::time_point> times;

    ModelInstaller::install(serve(bytes, Route().inChunks(bytes.size() / 4, 400ms)), destination,
                            [&](double) { times.push_back(std::chrono::steady_clock::now()); });

    ASSERT_GE(times.size(), 6u);
    for (std::size_t i = 1; i < times.size(); ++i) {
        EXPECT_LE(times[i] - times[i - 1], 500ms) << "between reports " << i - 1 << " and " << i;
    }
}

TEST_F(ModelInstallerTest, RemovesWhatAnAbandonedAttemptLeftBehind) {
    folder.write("models/.en-US.unpack-Ab12Cd/am/final.mdl", "half");
    folder.write("models/.en-US.old-Xy34Zw/model/README", "old");
    folder.write("models/.en-GB.unpack-Ab12Cd/README", "someone else's");

    install(serve(model(Format::zip, "", "1").bytes()));

    EXPECT_FALSE(fs::exists(models / ".en-US.unpack-Ab12Cd"));
    EXPECT_FALSE(fs::exists(models / ".en-US.old-Xy34Zw"));
    EXPECT_TRUE(fs::exists(models / ".en-GB.unpack-Ab12Cd"));
}

} // namespace
