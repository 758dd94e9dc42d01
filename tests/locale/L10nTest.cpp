#include "locale/L10n.h"

#include "ScopedEnvironment.h"
#include "core/Log.h"
#include "core/SessionRecord.h"
#include "core/TranscriptRenderer.h"

#include <gtest/gtest.h>

using namespace ambrel;
using ambrel::testing::ScopedEnvironment;

namespace {

// A fresh interface-language state for each test.
class L10nTest : public ::testing::Test {
protected:
    void use(std::vector<std::string> systemLanguages, L10n::TableSource tables = {}) {
        L10n::configure(settings, std::move(systemLanguages), std::move(tables));
    }
    void TearDown() override {
        core::Log::setSink({});
        L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"en"});
    }

    std::shared_ptr<core::MemorySettingsStore> settings =
        std::make_shared<core::MemorySettingsStore>();
};

} // namespace

TEST_F(L10nTest, TheStoredChoiceWinsWhenSupported) {
    use({"fr_FR"});
    EXPECT_EQ(L10n::language(), "fr");
    EXPECT_EQ(L10n::text(Texts::menuQuit), "Quitter");

    L10n::setPreference("de");
    EXPECT_EQ(L10n::preference(), "de");
    EXPECT_EQ(L10n::language(), "de");
    EXPECT_EQ(settings->stringValue("interfaceLanguage"), "de");
    EXPECT_FALSE(settings->value("AppleLanguages")) << "the system's language list is not written";

    settings->setValue("interfaceLanguage", std::string("nl"));
    use({"fr_FR"});
    EXPECT_FALSE(L10n::preference()) << "an unsupported choice is ignored";
    EXPECT_EQ(L10n::language(), "fr");

    L10n::setPreference(std::nullopt);
    EXPECT_FALSE(settings->value("interfaceLanguage"));
    use({"nl_NL", "sv"});
    EXPECT_EQ(L10n::language(), "en");
    EXPECT_EQ(L10n::text(Texts::menuQuit), "Quit");
}

TEST(L10n, MatchesSystemLanguagesToTheSupportedOnes) {
    auto match = [](std::vector<std::string> languages) { return L10n::bestMatch(languages); };
    EXPECT_EQ(match({"zh_CN"}), "zh-Hans");
    EXPECT_EQ(match({"zh_SG"}), "zh-Hans");
    EXPECT_EQ(match({"zh"}), "zh-Hans");
    EXPECT_EQ(match({"zh_TW"}), "zh-Hant");
    EXPECT_EQ(match({"zh_HK"}), "zh-Hant");
    EXPECT_EQ(match({"zh-Hant-CN"}), "zh-Hant");
    EXPECT_EQ(match({"pt_BR"}), "pt-BR");
    EXPECT_EQ(match({"pt_PT"}), "pt-BR");
    EXPECT_EQ(match({"de_AT"}), "de");
    EXPECT_EQ(match({"nl_NL", "ja_JP"}), "ja");
    EXPECT_EQ(match({"en_GB", "de"}), "en");
    EXPECT_EQ(match({"sv"}), std::nullopt);
    EXPECT_EQ(match({}), std::nullopt);
}

TEST(L10n, ReadsTheSystemLanguagesFromTheEnvironment) {
    ScopedEnvironment language("LANGUAGE", "fr:de_CH");
    ScopedEnvironment all("LC_ALL", std::nullopt);
    ScopedEnvironment messages("LC_MESSAGES", "ja_JP.UTF-8@x");
    ScopedEnvironment lang("LANG", "ko_KR.UTF-8");
    EXPECT_EQ(L10n::systemLanguagesFromEnvironment(),
              (std::vector<std::string>{"fr", "de_CH", "ja_JP"}));
    ScopedEnvironment noList("LANGUAGE", std::nullopt);
    ScopedEnvironment posix("LC_ALL", "C.UTF-8");
    EXPECT_TRUE(L10n::systemLanguagesFromEnvironment().empty()) << "C names no language";
}

TEST_F(L10nTest, MissingTextsFallBackToEnglish) {
    use({"de"}, [](std::string_view code) -> std::optional<std::string_view> {
        if (code == "de") {
            return R"("transcript.title" = "Transkript"; "speaker.me" = "Ich"; "count.lines.other" = "%d Zeilen";)";
        }
        return std::nullopt;
    });
    const auto labels = L10n::transcriptLabels();
    EXPECT_EQ(labels.title, "Transkript");
    EXPECT_EQ(labels.lines, "Lines");
    core::SessionRecord record("s", 1741939500.0);
    const auto markdown = core::TranscriptRenderer::markdown(record, labels, core::TimeZone::utc());
    EXPECT_NE(markdown.find("# Transkript \u00B7 "), std::string::npos);
    EXPECT_NE(markdown.find("\n- Lines: 0\n"), std::string::npos);

    EXPECT_EQ(L10n::lineCount(1), "1 line") << "the singular is never the plural text";
    EXPECT_EQ(L10n::lineCount(0), "0 Zeilen");
    EXPECT_EQ(L10n::lineCount(12), "12 Zeilen");
    EXPECT_EQ(L10n::speaker(core::SpeechSource::microphone), "Ich");
    EXPECT_EQ(L10n::speaker(core::SpeechSource::systemAudio), "Others");
}

TEST_F(L10nTest, ABrokenTableIsReportedOnceAndShowsEnglish) {
    std::vector<std::string> logged;
    core::Log::setSink([&](std::string_view, core::LogLevel level, std::string_view message) {
        if (level >= core::LogLevel::error) {
            logged.emplace_back(message);
        }
    });
    use({"fr"}, [](std::string_view) -> std::optional<std::string_view> {
        return R"("menu.quit" = "Quitter)";
    });
    EXPECT_EQ(L10n::text(Texts::menuQuit), "Quit");
    EXPECT_EQ(L10n::text(Texts::menuStart), "Start Transcription");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("fr"), std::string::npos);
    EXPECT_NE(logged[0].find("unclosed quote"), std::string::npos);
}

TEST_F(L10nTest, FormatsTheEngineTexts) {
    use({"en_US"});
    EXPECT_EQ(L10n::statusDownloadingModel(0.42), "Downloading language model 42%");
    EXPECT_EQ(L10n::statusDownloadingModel(0.425), "Downloading language model 43%");
    EXPECT_EQ(L10n::statusDownloadingModel(1), "Downloading language model 100%");
    EXPECT_EQ(L10n::warningSourceFailed(core::SpeechSource::systemAudio, "gone"),
              "System audio failed: gone");
    EXPECT_EQ(L10n::warningSourceFailed(core::SpeechSource::microphone, "gone"),
              "Microphone failed: gone");
    EXPECT_EQ(L10n::format(Texts::menuDetectLimitHint, {std::int64_t{5}, std::int64_t{3}}),
              "Up to 5 languages. 3 or fewer recommended.");

    L10n::setPreference("ja");
    EXPECT_EQ(L10n::statusDownloadingModel(0.5), "言語モデルをダウンロード中 50%");
}

TEST_F(L10nTest, NamesLanguages) {
    use({"en"});
    const std::vector<std::string> englishGerman{"en-US", "de-DE"};
    const std::vector<std::string> twoEnglish{"en-US", "en-GB"};
    EXPECT_EQ(L10n::shortName("en-US", englishGerman), "English");
    EXPECT_EQ(L10n::shortName("de-DE", englishGerman), "German");
    EXPECT_EQ(L10n::shortName("en-US", twoEnglish), "English (United States)");
    EXPECT_EQ(L10n::shortName("xx-YY", englishGerman), "xx-YY");
    EXPECT_EQ(L10n::displayName("en-US"), "English (United States)");
    EXPECT_EQ(L10n::displayName("qq"), "qq");
    EXPECT_EQ(L10n::nativeName("fr"), "Français");
    EXPECT_EQ(L10n::nativeName("es-ES"), "Español (España)");
    EXPECT_EQ(L10n::nativeName("ja"), "日本語");
    EXPECT_EQ(L10n::nativeName("qq"), "qq");

    L10n::setPreference("de");
    EXPECT_EQ(L10n::shortName("en-US", englishGerman), "Englisch");
    EXPECT_EQ(L10n::transcriptLabels().languageName("en-US"), "Englisch (Vereinigte Staaten)");
}
