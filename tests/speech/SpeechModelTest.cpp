#include "speech/SpeechModel.h"

#include "ArchiveBuilder.h"
#include "HttpServer.h"
#include "TemporaryFolder.h"
#include "core/SettingsStore.h"
#include "speech/HttpClient.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <openssl/evp.h>

using namespace ambrel;
using namespace ambrel::testing;
using Engine = RecognitionLanguage::Engine;

namespace {

std::string sha256(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += fmt::format("{:02x}", digest[i]);
    }
    return hex;
}

class SpeechModelTest : public ::testing::Test {
protected:
    SpeechModelTest() {
        // A dictation model for Japanese only, laid out as pocketsphinx wants it.
        dictation("ja-jp");
        dictation("en-us");
    }

    void dictation(const std::string& name) {
        folder.write("dictation/" + name + "/acoustic/mdef", "x");
        folder.write("dictation/" + name + "/" + name + ".lm.bin", "x");
        folder.write("dictation/" + name + "/" + name + ".dict", "x");
    }

    SpeechModel::Configuration configuration() {
        SpeechModel::Configuration c;
        c.dictationFolders = {folder / "dictation"};
        c.speechFolder = folder / "speech";
        c.speechAvailable = true;
        c.speechCatalog = [this](bool) { return ModelCatalog::Listing{catalog, listProblem}; };
        c.interfaceLanguage = [this] { return interfaceLanguage; };
        c.systemLanguages = systemLanguages;
        c.region = region;
        c.settings = settings;
        c.maximumReserved = 8;
        return c;
    }

    std::vector<ModelCatalog::Entry> entries(const std::vector<std::string>& locales) {
        std::vector<ModelCatalog::Entry> list;
        for (const auto& locale : locales) {
            list.push_back(
                {locale,
                 "model-" + locale,
                 {server.url("/" + locale + ".zip"), std::nullopt, std::nullopt, std::nullopt}});
        }
        return list;
    }

    TemporaryFolder folder;
    HttpServer server;
    std::vector<ModelCatalog::Entry> catalog;
    std::optional<std::string> listProblem;
    std::string interfaceLanguage = "en";
    std::vector<std::string> systemLanguages;
    std::string region = "US";
    std::shared_ptr<core::MemorySettingsStore> settings =
        std::make_shared<core::MemorySettingsStore>();
};

std::vector<std::string> identifiers(const std::vector<RecognitionLanguage>& languages) {
    std::vector<std::string> result;
    for (const auto& language : languages) {
        result.push_back(language.identifier);
    }
    return result;
}

SpeechOptions chosen(std::vector<std::string> languages) {
    SpeechOptions options;
    options.automaticLanguages = false;
    options.chosenLanguages = std::move(languages);
    return options;
}

} // namespace

TEST_F(SpeechModelTest, AutomaticDetectionPrefersRegionsAndKeepsThree) {
    systemLanguages = {"fr-CA", "fr", "de"};
    catalog = entries({"en-US", "fr-FR", "de-DE", "es-ES"});
    SpeechModel model(configuration());
    EXPECT_EQ(model.defaultDetectLanguages(), (std::vector<std::string>{"en-US", "fr-CA", "de"}));
    EXPECT_EQ(identifiers(model.languages(SpeechOptions{})),
              (std::vector<std::string>{"en-US", "fr-FR", "de-DE"}));

    systemLanguages = {"zh-Hant-TW", "zh-TW", "ja"};
    interfaceLanguage = "zh-Hant";
    EXPECT_EQ(SpeechModel(configuration()).defaultDetectLanguages(),
              (std::vector<std::string>{"zh-Hant-TW", "zh-TW", "ja", "en-US"}));
}

TEST_F(SpeechModelTest, ResolvesToTheClosestSupportedLocaleAndEngine) {
    catalog = entries({"en-US", "en-GB", "en-IN", "de-DE", "zh-CN"});
    SpeechModel model(configuration());
    EXPECT_EQ(model.preferredForms("en"), (std::vector<std::string>{"en-Latn-US"}));
    EXPECT_EQ(model.resolve("en-GB"), (RecognitionLanguage{"en-GB", Engine::speech}));
    EXPECT_EQ(model.resolve("en-AU"), (RecognitionLanguage{"en-US", Engine::speech}))
        << "the user's region next";
    EXPECT_EQ(model.resolve("de-AT"), (RecognitionLanguage{"de-DE", Engine::speech}));
    EXPECT_EQ(model.resolve("ja"), (RecognitionLanguage{"ja-JP", Engine::dictation}))
        << "only dictation has it";
    EXPECT_EQ(model.resolve("en-US"), (RecognitionLanguage{"en-US", Engine::speech}))
        << "speech before dictation";
    EXPECT_EQ(model.resolve("sv"), std::nullopt);
    EXPECT_EQ(model.resolve(""), std::nullopt);
    EXPECT_EQ(model.resolve("!!"), std::nullopt);

    region = "GB";
    SpeechModel british(configuration());
    EXPECT_EQ(british.preferredForms("en"), (std::vector<std::string>{"en-Latn-GB", "en-Latn-US"}));
    EXPECT_EQ(british.resolve("en"), (RecognitionLanguage{"en-GB", Engine::speech}));
    EXPECT_EQ(british.preferredForms("fr-CA"),
              (std::vector<std::string>{"fr-Latn-CA", "fr-Latn-GB", "fr-Latn-FR"}));
}

TEST_F(SpeechModelTest, ChosenLanguagesUseAtMostFiveDistinctOnes) {
    catalog = entries({"en-US", "fr-FR", "de-DE", "es-ES", "it-IT", "pt-BR", "nl-NL"});
    SpeechModel model(configuration());
    EXPECT_EQ(
        identifiers(model.languages(chosen({"en-US", "en-GB", "fr", "de", "es", "it", "pt-BR"}))),
        (std::vector<std::string>{"en-US", "fr-FR", "de-DE", "es-ES", "it-IT"}));
    EXPECT_EQ(identifiers(model.languages(chosen({"xx", "sv"}))), std::vector<std::string>{"en-US"})
        << "en-US when nothing resolves";

    catalog.clear();
    auto noSpeech = configuration();
    noSpeech.speechAvailable = false;
    noSpeech.dictationFolders = {};
    EXPECT_TRUE(SpeechModel(noSpeech).languages(chosen({"fr"})).empty()) << "not even en-US";
}

TEST_F(SpeechModelTest, TellsWhichChosenLanguagesCannotBeHadAndWhy) {
    listProblem = "Could not resolve host: alphacephei.com";
    SpeechModel model(configuration());
    const auto choice = model.choose(chosen({"de-DE", "en-US", "xx-YY", "ja", "fr"}));
    EXPECT_EQ(identifiers(choice.languages), (std::vector<std::string>{"en-US", "ja-JP"}));
    EXPECT_EQ(choice.unavailable, (std::vector<std::string>{"de-DE", "fr"}))
        << "a tag that names no language is not a language that cannot be had";
    EXPECT_EQ(choice.listProblem, listProblem);
    EXPECT_EQ(model.catalog().listProblem, listProblem);
    EXPECT_TRUE(model.choose(SpeechOptions{}).unavailable.empty()) << "automatic asks for none";

    EXPECT_TRUE(SpeechModel::namesLanguage("de-DE"));
    EXPECT_TRUE(SpeechModel::namesLanguage("yue"));
    EXPECT_FALSE(SpeechModel::namesLanguage("xx-YY"));
    EXPECT_FALSE(SpeechModel::namesLanguage(""));
    EXPECT_FALSE(SpeechModel::namesLanguage("--"));
}

TEST_F(SpeechModelTest, TheCatalogueListsBothEngines) {
    catalog = entries({"en-US", "fr-FR"});
    folder.write("speech/fr-FR/model.conf", "x");
    auto c = configuration();
    const auto list = SpeechModel(c).catalog();
    EXPECT_EQ(std::set<std::string>(list.supported.begin(), list.supported.end()),
              (std::set<std::string>{"en-US", "fr-FR", "ja-JP"}));
    EXPECT_EQ(list.installed, (std::set<std::string>{"fr-FR", "ja-JP", "en-US"}));
    EXPECT_EQ(list.defaultCandidates, std::vector<std::string>{"en-US"});

    c.speechAvailable = false;
    EXPECT_EQ(SpeechModel(c).catalog().installed, (std::set<std::string>{"ja-JP", "en-US"}))
        << "without the speech engine its models count for nothing";
}

TEST_F(SpeechModelTest, MissingModelsAreDownloadedWithProgressAcrossAll) {
    const std::string french =
        ArchiveBuilder(ArchiveBuilder::Format::zip).file("vosk-fr/am/final.mdl", "fr").bytes();
    const std::string german =
        ArchiveBuilder(ArchiveBuilder::Format::tarGz).file("vosk-de/am/final.mdl", "de").bytes();
    server.route("/fr-FR.zip", HttpServer::Route(french).inChunks(64));
    server.route("/de-DE.tgz", HttpServer::Route(german).inChunks(64));
    catalog = {
        {"fr-FR", "fr", {server.url("/fr-FR.zip"), french.size(), sha256(french), std::nullopt}},
        {"de-DE", "de", {server.url("/de-DE.tgz"), german.size(), std::nullopt, std::nullopt}}};
    SpeechModel model(configuration());
    const std::vector<RecognitionLanguage> languages{
        {"fr-FR", Engine::speech}, {"de-DE", Engine::speech}, {"ja-JP", Engine::dictation}};
    std::vector<double> progress;
    model.ensureInstalled(languages, [&](double fraction) { progress.push_back(fraction); });
    EXPECT_EQ(folder.read("speech/fr-FR/am/final.mdl"), "fr");
    EXPECT_EQ(folder.read("speech/de-DE/am/final.mdl"), "de");
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_GE(progress.front(), 0.0);
    EXPECT_EQ(progress.back(), 1.0);
    const auto second =
        std::find_if(progress.begin(), progress.end(), [](double f) { return f > 0.5; });
    EXPECT_NE(second, progress.end());
    EXPECT_NE(std::find(progress.begin(), progress.end(), 0.5), progress.end())
        << "the second model starts at one half";
    EXPECT_EQ(settings->stringListValue(SpeechModel::reservedKey),
              (std::vector<std::string>{"fr-FR", "de-DE"}));

    // Everything there: no download, no progress.
    progress.clear();
    model.ensureInstalled(languages, [&](double fraction) { progress.push_back(fraction); });
    EXPECT_TRUE(progress.empty());
    EXPECT_EQ(server.requestCount("/fr-FR.zip"), 1u);
}

TEST_F(SpeechModelTest, AFailedDownloadInstallsNothingAndSaysWhy) {
    const std::string archive =
        ArchiveBuilder(ArchiveBuilder::Format::zip).file("m/a", "b").bytes();
    server.route("/es-ES.zip", HttpServer::Route(archive));
    catalog = {{"es-ES",
                "es",
                {server.url("/es-ES.zip"), archive.size(), std::string(64, '0'), std::nullopt}}};
    SpeechModel model(configuration());
    try {
        model.ensureInstalled({{"es-ES", Engine::speech}}, [](double) {});
        FAIL() << "installed a model with the wrong checksum";
    } catch (const std::exception& error) {
        EXPECT_NE(std::string(error.what()).find("checksum"), std::string::npos) << error.what();
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "speech/es-ES"));
    // A language the catalogue has no archive for is left alone.
    EXPECT_NO_THROW(model.ensureInstalled({{"xx-YY", Engine::speech}}, [](double) {}));
}

TEST_F(SpeechModelTest, ReservingBeyondTheLimitReleasesTheOldestUnwantedModel) {
    for (const std::string locale : {"fr-FR", "de-DE", "es-ES"}) {
        const std::string archive =
            ArchiveBuilder(ArchiveBuilder::Format::zip).file("m/" + locale, locale).bytes();
        server.route("/" + locale + ".zip", HttpServer::Route(archive));
    }
    catalog = entries({"fr-FR", "de-DE", "es-ES"});
    auto c = configuration();
    c.maximumReserved = 2;
    SpeechModel model(c);
    model.ensureInstalled({{"fr-FR", Engine::speech}}, [](double) {});
    model.ensureInstalled({{"de-DE", Engine::speech}}, [](double) {});
    // The oldest reservation is a language of this very run: the next one goes instead.
    model.ensureInstalled({{"es-ES", Engine::speech}, {"fr-FR", Engine::speech}}, [](double) {});
    EXPECT_TRUE(std::filesystem::exists(folder / "speech/fr-FR")) << "wanted now";
    EXPECT_FALSE(std::filesystem::exists(folder / "speech/de-DE")) << "released";
    EXPECT_TRUE(std::filesystem::exists(folder / "speech/es-ES"));
    EXPECT_EQ(settings->stringListValue(SpeechModel::reservedKey),
              (std::vector<std::string>{"fr-FR", "es-ES"}));
}

TEST(ModelCatalog, ReadsThePublicListLeniently) {
    const auto entries = ModelCatalog::parse(R"([
        {"lang": "en-us", "name": "vosk-model-en-us-0.22", "type": "big", "size": 1800000000, "url": "https://example.org/big.zip", "obsolete": "false"},
        {"lang": "en-us", "name": "vosk-model-small-en-us-0.15", "type": "small", "size": 41000000, "md5": "abc", "url": "https://example.org/small.zip", "obsolete": "false"},
        {"lang": "en-us", "name": "vosk-model-small-en-us-0.3", "type": "small", "size": 30000000, "url": "https://example.org/old.zip", "obsolete": "true"},
        {"lang": "cn", "name": "vosk-model-small-cn-0.22", "type": "small", "size": 42000000, "url": "https://example.org/cn.zip"},
        {"lang": "fr", "name": "bad-url", "type": "small", "url": "file:///etc/passwd"},
        {"lang": 7, "name": "bad-lang", "url": "https://example.org/x.zip"},
        {"lang": "..", "name": "up", "type": "small", "url": "https://example.org/up.zip"},
        {"lang": "../../.local/bin", "name": "path", "type": "small", "url": "https://example.org/p.zip"},
        {"lang": "en-=s", "name": "odd", "type": "small", "url": "https://example.org/odd.zip"},
        {"lang": "", "name": "empty", "type": "small", "url": "https://example.org/empty.zip"},
        "not an object"
    ])");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].locale, "en-US");
    EXPECT_EQ(entries[0].name, "vosk-model-small-en-us-0.15");
    EXPECT_EQ(entries[0].archive.md5, "abc");
    EXPECT_EQ(entries[0].archive.size, 41000000u);
    EXPECT_EQ(entries[1].locale, "zh-CN");
    EXPECT_TRUE(ModelCatalog::parse("{").empty());
    EXPECT_TRUE(ModelCatalog::parse(R"({"a": 1})").empty());
    EXPECT_EQ(ModelCatalog::localeOf("ua"), "uk-UA");
    EXPECT_EQ(ModelCatalog::localeOf("de"), "de");
}

TEST(ModelCatalog, KeepsTheListForADayTriesAgainHourlyAndTellsWhyItHasNone) {
    TemporaryFolder folder;
    const std::string list =
        R"([{"lang": "de", "name": "de", "type": "small", "url": "https://example.org/de.zip"}])";
    int fetches = 0;
    bool online = false;
    // The kept files' times are the real time, so the clock starts at it.
    double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    const auto cache = folder / "cache/model-list.json";
    ModelCatalog catalog(
        "https://example.org/list.json", cache,
        [&](const std::string&) -> std::string {
            ++fetches;
            if (!online) {
                throw std::runtime_error("Could not resolve host: example.org");
            }
            return list;
        },
        [&] { return now; });
    // No copy and offline: nothing, and why.
    const ModelCatalog::Listing offline{{}, "Could not resolve host: example.org"};
    EXPECT_EQ(catalog.entries(), offline);
    EXPECT_EQ(fetches, 1);
    // Not again within the hour, not even for another catalogue over the same files (a relaunch).
    online = true;
    now += 60;
    EXPECT_EQ(catalog.entries(), offline);
    ModelCatalog relaunched(
        "https://example.org/list.json", cache,
        [&](const std::string&) -> std::string {
            ++fetches;
            return list;
        },
        [&] { return now; });
    EXPECT_EQ(relaunched.entries(), offline);
    EXPECT_EQ(fetches, 1);
    // Unless asked to.
    const auto fetched = catalog.entries(true);
    EXPECT_EQ(fetched.entries.size(), 1u);
    EXPECT_FALSE(fetched.problem);
    EXPECT_EQ(fetches, 2);
    EXPECT_TRUE(std::filesystem::exists(cache));
    // Within a day the copy serves.
    now += 3600;
    EXPECT_EQ(catalog.entries().entries.size(), 1u);
    EXPECT_EQ(fetches, 2);
    // A day later it is fetched again; offline, the old copy offers nothing that could not be
    // downloaded now.
    now += ModelCatalog::freshSeconds;
    online = false;
    EXPECT_EQ(catalog.entries(), offline);
    EXPECT_EQ(fetches, 3);
    // An hour after the failure it tries again by itself.
    online = true;
    now += ModelCatalog::retrySeconds + 1;
    EXPECT_EQ(catalog.entries().entries.size(), 1u);
    EXPECT_EQ(fetches, 4);
    // A list with no usable model is a failure too.
    ModelCatalog empty(
        "https://example.org/list.json", folder / "other/list.json",
        [](const std::string&) { return std::string("[]"); }, [&] { return now; });
    EXPECT_EQ(empty.entries().problem, "the list names no models");
}
