// The speech engine with its real pipeline and the dictation engine, fed from a file.
#include "speech/engine/FileTranscription.h"

#include "SpokenSpeech.h"
#include "TemporaryFolder.h"
#include "audio/WavFile.h"
#include "core/SessionStore.h"
#include "speech/PocketsphinxModels.h"
#include "speech/SpeechModel.h"

#include <gtest/gtest.h>

using namespace ambrel;
using namespace ambrel::testing;

namespace {

std::shared_ptr<SpeechModel> dictationOnly() {
    SpeechModel::Configuration configuration;
    configuration.dictationFolders = PocketsphinxModels::defaultFolders();
    configuration.speechCatalog = [](bool) { return ModelCatalog::Listing{}; };
    configuration.interfaceLanguage = [] { return std::string("en"); };
    configuration.systemLanguages = {"en-US"};
    configuration.settings = std::make_shared<core::MemorySettingsStore>();
    return std::make_shared<SpeechModel>(configuration);
}

} // namespace

TEST(FileTranscriptionTest, ARecordedRunLeavesItsSessionOnDisk) {
    if (PocketsphinxModels::installed().empty()) {
        GTEST_SKIP() << "no dictation model is installed";
    }
    TemporaryFolder folder;
    const auto first =
        spokenSentence(folder.path(), "The meeting starts at nine tomorrow morning.");
    const auto second = spokenSentence(folder.path(), "Please send me the report before lunch.");
    const auto file = joinedWithPause(folder.path(), first, second, 1.5);
    const double firstLength = WavFile(first).seconds();
    const auto sessions = folder.path() / "sessions";
    std::filesystem::create_directory(sessions);

    const core::Instant origin = 1741939500.0;
    FileTranscription run({file, core::SpeechSource::microphone, {}, sessions}, dictationOnly(),
                          "0.1.0", origin);
    ASSERT_TRUE(run.start());
    // A pause in the silence between the sentences.
    ASSERT_TRUE(run.feed(firstLength + 0.7));
    run.runUntil([&] { return run.engine().status().currentLineCount == 1; });
    run.engine().setPaused(true);
    run.scheduler().runPending();
    run.engine().setPaused(false);
    ASSERT_TRUE(run.feed());
    const auto id = run.finish();
    ASSERT_TRUE(id);
    EXPECT_FALSE(run.engine().status().lastSaveError);

    const auto record = core::SessionStore(sessions).load(*id);
    EXPECT_EQ(record.startedAt, origin);
    ASSERT_EQ(record.lines.size(), 2u);
    EXPECT_EQ(record.lines[0].source, core::SpeechSource::microphone);
    EXPECT_LT(record.lines[0].start, origin + 0.5);
    const double secondStart = origin + firstLength + 1.5;
    EXPECT_GT(record.lines[1].start, secondStart - 0.2);
    EXPECT_LT(record.lines[1].start, secondStart + 0.5);
    // Recognition itself is tested elsewhere; here a word of each sentence only shows that the
    // right audio reached each line.
    EXPECT_NE(record.lines[0].text.find("morning"), std::string::npos) << record.lines[0].text;
    EXPECT_NE(record.lines[1].text.find("lunch"), std::string::npos) << record.lines[1].text;
    EXPECT_EQ(record.languages, std::vector<std::string>{"en-US"});
    ASSERT_EQ(record.markers.size(), 2u);
    EXPECT_EQ(record.markers[0].kind, core::MarkerKind::paused);
    EXPECT_EQ(record.markers[1].kind, core::MarkerKind::resumed);
    EXPECT_NEAR(record.markers[0].date, origin + firstLength + 0.7, 0.15);
    ASSERT_TRUE(record.endedAt);
    EXPECT_NEAR(*record.endedAt, origin + run.duration(), 0.15);
    EXPECT_EQ(record.lastUpdated, *record.endedAt);
    EXPECT_TRUE(std::filesystem::exists(sessions / (*id + ".md")));
}
