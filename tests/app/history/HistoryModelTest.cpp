#include "app/history/HistoryModel.h"

#include "DeferredWork.h"
#include "IsolatedHome.h"
#include "core/SessionCoding.h"
#include "core/SessionExport.h"
#include "core/SessionStore.h"
#include "core/TimeZone.h"
#include "core/TranscriptRenderer.h"
#include "core/VirtualScheduler.h"
#include "locale/L10n.h"

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <sstream>

using namespace ambrel;
using core::SessionRecord;
using Strings = std::vector<std::string>;

namespace {

constexpr core::Instant t0 = 1741939500.0;

class HistoryModelTest : public ::testing::Test {
protected:
    HistoryModelTest() {
        L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"en"});
        std::filesystem::create_directories(folder);
        older = saved("2025-03-14 08-05-00", t0, {"Good morning", "Rendez-vous au Café"});
        newer = saved("2025-03-14 09-05-00", t0 + 3600, {"The budget for next year"});
    }

    SessionRecord record(const std::string& id, core::Instant start, const Strings& texts,
                         bool ended = true) {
        SessionRecord made(id, start);
        for (std::size_t i = 0; i < texts.size(); ++i) {
            made.lines.push_back({core::Uuid::random(), texts[i], start + 1.0 + i,
                                  core::SpeechSource::microphone, "en-US"});
        }
        made.lastUpdated = start + 1.0 + texts.size();
        if (ended) {
            made.endedAt = made.lastUpdated;
        }
        return made;
    }
    static std::string contents(const std::filesystem::path& file) {
        std::ostringstream bytes;
        bytes << std::ifstream(file).rdbuf();
        return bytes.str();
    }
    SessionRecord saved(const std::string& id, core::Instant start, const Strings& texts) {
        auto made = record(id, start, texts);
        core::SessionStore(folder).save(made);
        return made;
    }

    std::unique_ptr<HistoryModel> make(const std::filesystem::path& directory) {
        HistoryModel::Services services;
        services.background = background.submitter();
        services.copyText = [this](const std::string& text) { copied.push_back(text); };
        services.openFile = [this](const std::filesystem::path& file) {
            opened.push_back(file);
            return true;
        };
        services.reveal = [this](const std::vector<std::filesystem::path>& files,
                                 const std::filesystem::path&) { revealed = files; };
        services.copyOptions = [this] { return copyOptions; };
        auto model = std::make_unique<HistoryModel>(
            directory, [this] { return engineRecord; }, scheduler, services);
        model->onChange = [this](HistoryModel::Change change) { changes.push_back(change); };
        return model;
    }

    // Runs the library's work and what it posts back, until nothing is left.
    void settle() { background.settle(scheduler); }
    void advance(double seconds) {
        scheduler.advance(seconds);
        settle();
    }

    static Strings ids(const std::vector<core::SessionSummary>& summaries) {
        Strings result;
        for (const auto& summary : summaries) {
            result.push_back(summary.id);
        }
        return result;
    }

    ambrel::testing::IsolatedHome home;
    std::filesystem::path folder = home.path() / "sessions";
    core::VirtualScheduler scheduler{t0 + 7200};
    ambrel::testing::DeferredWork background;
    std::optional<SessionRecord> engineRecord;
    core::PlainTextOptions copyOptions;
    Strings copied;
    std::vector<std::filesystem::path> opened;
    std::vector<std::filesystem::path> revealed;
    std::vector<HistoryModel::Change> changes;
    SessionRecord older;
    SessionRecord newer;
};

} // namespace

TEST_F(HistoryModelTest, TheLiveSessionIsLaidOverTheFilesUntilTheyCatchUp) {
    auto model = make(folder);
    model->activate();
    EXPECT_FALSE(model->hasLoaded());
    settle();
    EXPECT_TRUE(model->hasLoaded());
    EXPECT_EQ(ids(model->sessions()), (Strings{newer.id, older.id}));
    // The first listing selects the newest session once.
    EXPECT_EQ(model->selectedID(), newer.id);
    EXPECT_EQ(model->detail(), newer);

    // A recording starts: it shows before its first save, growing.
    auto live = record("2025-03-14 10-05-00", t0 + 7200, {"Hello"}, false);
    model->updateLiveSessionID(live.id);
    model->liveSessionDidUpdate(live);
    settle();
    EXPECT_EQ(ids(model->sessions()), (Strings{live.id, newer.id, older.id}));
    EXPECT_EQ(model->sessions()[0].lineCount, 1u);
    EXPECT_EQ(model->selectedID(), newer.id); // never auto-selected again
    model->select(live.id);
    EXPECT_EQ(model->detail(), live); // straight from the engine, no file needed
    live.lines.push_back(
        {core::Uuid::random(), "Second line", t0 + 7203, core::SpeechSource::systemAudio, "en-US"});
    live.lastUpdated = t0 + 7203;
    model->liveSessionDidUpdate(live);
    EXPECT_EQ(model->sessions()[0].lineCount, 2u);
    EXPECT_EQ(model->detail(), live);
    // Refreshes come every five seconds while the window is open.
    advance(5);
    EXPECT_EQ(model->sessions()[0].lineCount, 2u);

    // The recording stops; its file is an earlier save for a while.
    auto earlierSave = live;
    earlierSave.lines.pop_back();
    earlierSave.lastUpdated = t0 + 7201;
    core::SessionStore(folder).save(earlierSave);
    live.endedAt = t0 + 7210;
    live.lastUpdated = t0 + 7210;
    model->liveSessionDidUpdate(live);
    model->updateLiveSessionID(std::nullopt);
    settle();
    EXPECT_EQ(model->sessions()[0].endedAt, t0 + 7210);
    EXPECT_EQ(model->sessions()[0].lineCount, 2u);
    core::SessionStore(folder).save(live);
    advance(5);
    EXPECT_EQ(model->sessions()[0].endedAt, t0 + 7210);
    EXPECT_EQ(model->sessions()[0].jsonURL, folder / (live.id + ".json"));

    // A window opened while recording selects the live session first; the engine's updates
    // reached the model while the window was closed.
    auto other = make(folder);
    auto recording = record("2025-03-14 11-00-00", t0 + 10000, {"Still going"}, false);
    other->updateLiveSessionID(recording.id);
    other->liveSessionDidUpdate(recording);
    other->activate();
    settle();
    EXPECT_EQ(other->selectedID(), recording.id);
    EXPECT_EQ(other->detail(), recording);
}

TEST_F(HistoryModelTest, AnotherFolderDropsTheOldFoldersLateResults) {
    const auto second = home.path() / "second";
    std::filesystem::create_directories(second);
    core::SessionStore(second).save(record("2024-01-01 10-00-00", t0 - 86400 * 30, {"Elsewhere"}));
    auto model = make(folder);
    model->activate();
    // The listing of the first folder is still on its way when the folder changes.
    model->setDirectory(second);
    settle();
    EXPECT_EQ(ids(model->sessions()), Strings{"2024-01-01 10-00-00"});
    EXPECT_EQ(model->selectedID(), "2024-01-01 10-00-00"); // auto-selected again
    model->setSearchText("budget");
    advance(0.2);
    EXPECT_EQ(model->searchMatches(), std::set<std::string>{});
    model->setDirectory(folder);
    EXPECT_FALSE(model->searchMatches());
    EXPECT_EQ(model->searchText(), "budget"); // kept for the next folder
    settle();
    EXPECT_EQ(model->searchMatches(), std::set<std::string>{newer.id});
}

TEST_F(HistoryModelTest, SearchWaitsForTypingToPauseAndOnlyTheLatestQueryCounts) {
    auto model = make(folder);
    model->activate();
    settle();
    model->setSearchText("z");
    advance(0.1);
    model->setSearchText("  CAFE ");
    advance(0.19);
    EXPECT_FALSE(model->searchMatches());
    advance(0.01);
    EXPECT_EQ(model->searchMatches(), std::set<std::string>{older.id});
    EXPECT_EQ(model->activeQuery(), "CAFE");
    EXPECT_EQ(ids(model->visibleSessions()), Strings{older.id});

    model->setSearchText("ｂｕｄｇｅｔ");
    advance(0.2);
    EXPECT_EQ(model->searchMatches(), std::set<std::string>{newer.id});

    // A search under way is dropped when the field is cleared; clearing shows all at once.
    model->setSearchText("morning");
    scheduler.advance(0.2); // the search is queued on the worker
    model->setSearchText("");
    EXPECT_FALSE(model->searchMatches());
    EXPECT_EQ(model->activeQuery(), "");
    settle();
    EXPECT_FALSE(model->searchMatches());
    EXPECT_EQ(model->visibleSessions().size(), 2u);
}

TEST_F(HistoryModelTest, ActionsOnSessionsAndTheirRefusals) {
    auto model = make(folder);
    model->activate();
    settle();
    auto live = record("2025-03-14 10-05-00", t0 + 7200, {"Unsaved"}, false);
    model->updateLiveSessionID(live.id);
    model->liveSessionDidUpdate(live);

    // The session being recorded cannot go, and its Markdown file is not there yet.
    const auto liveSummary = model->sessions()[0];
    model->requestTrash(liveSummary);
    const std::string refusal = "The session being recorded can’t be moved to the Trash. Stop "
                                "transcription first.";
    EXPECT_EQ(model->alertMessage(), refusal);
    model->dismissAlert();
    model->confirmTrash(liveSummary);
    EXPECT_EQ(model->alertMessage(), refusal);
    model->dismissAlert();
    model->openMarkdown(liveSummary);
    EXPECT_EQ(model->alertMessage(),
              "“2025-03-14 10-05-00.md” hasn’t been written to disk yet. Try again in a moment.");
    model->dismissAlert();

    // Copy, open and reveal the selection.
    copyOptions.times = false;
    model->copyTranscript();
    EXPECT_EQ(copied, Strings{core::TranscriptRenderer::plainText(
                          newer, L10n::transcriptLabels(), copyOptions, core::TimeZone::system())});
    model->copyTranscript(model->sessions()[2]); // not loaded yet: read first
    settle();
    ASSERT_EQ(copied.size(), 2u);
    EXPECT_NE(copied[1].find("Rendez-vous au Café"), std::string::npos);
    model->openMarkdown();
    EXPECT_EQ(opened, std::vector<std::filesystem::path>{folder / (newer.id + ".md")});
    model->revealInFileManager();
    EXPECT_EQ(revealed.size(), 2u);

    // Trashing the selection selects the one below it, or above when it was the last.
    model->select(newer.id);
    model->requestTrash();
    ASSERT_TRUE(model->pendingTrash());
    model->confirmTrash(*model->pendingTrash());
    EXPECT_FALSE(model->pendingTrash());
    settle();
    EXPECT_EQ(ids(model->sessions()), (Strings{live.id, older.id}));
    EXPECT_EQ(model->selectedID(), older.id);
    model->confirmTrash(model->sessions()[1]);
    settle();
    EXPECT_EQ(model->selectedID(), live.id);
    EXPECT_TRUE(std::filesystem::exists(home.path() / "data/Trash/files" / (older.id + ".json")));
}

TEST_F(HistoryModelTest, ExportsWriteOnTheWorkerWhatASessionHoldsAndNameTheFileWhenTheyFail) {
    const auto early = saved("2025-03-14 07-00-00", t0 - 3600, {"Never read"});
    auto model = make(folder);
    model->activate();
    settle();
    const auto out = home.path() / "out";
    std::filesystem::create_directories(out);

    // The selection as plain text, just as it is copied; written on the worker only.
    copyOptions.speakers = false;
    model->exportSession({out / "newer.txt", core::ExportFormat::plainText});
    EXPECT_FALSE(std::filesystem::exists(out / "newer.txt"));
    model->copyTranscript();
    settle();
    ASSERT_EQ(copied.size(), 1u);
    EXPECT_EQ(contents(out / "newer.txt"), copied[0]);

    // Another session is read first; an existing file is replaced (the dialog asked).
    std::ofstream(out / "older.srt") << "old contents";
    model->exportSession({out / "older.srt", core::ExportFormat::srt}, model->sessions()[1]);
    settle();
    EXPECT_EQ(contents(out / "older.srt"),
              core::SessionExport::render(older, core::ExportFormat::srt, L10n::transcriptLabels(),
                                          copyOptions, core::TimeZone::system()));
    EXPECT_FALSE(model->alertMessage());

    // The session being recorded, with what it holds so far and no file of its own yet.
    auto live = record("2025-03-14 10-05-00", t0 + 7200, {"Not saved yet"}, false);
    model->updateLiveSessionID(live.id);
    model->liveSessionDidUpdate(live);
    settle();
    model->exportSession({out / "live.json", core::ExportFormat::json}, model->sessions()[0]);
    settle();
    EXPECT_EQ(core::SessionCoding::decode(contents(out / "live.json")), live);

    // A folder gone: the alert names the file and the reason.
    model->exportSession({out / "gone" / "x.md", core::ExportFormat::markdown});
    settle();
    EXPECT_EQ(model->alertMessage(), "Couldn’t export to “" + (out / "gone" / "x.md").string() +
                                         "” (No such file or directory)");
    model->dismissAlert();

    // A session that can't be read any more says so, and writes nothing.
    const auto vanished = model->sessions()[3];
    ASSERT_EQ(vanished.id, early.id);
    std::filesystem::remove(vanished.jsonURL);
    model->exportSession({out / "vanished.md", core::ExportFormat::markdown}, vanished);
    settle();
    ASSERT_TRUE(model->alertMessage());
    EXPECT_EQ(model->alertMessage()->find("Couldn’t export"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(out / "vanished.md"));
}

TEST_F(HistoryModelTest, ABrokenFileShowsItsErrorAndIsNotReadAgainUntilItChanges) {
    // Listed while whole, then broken in place (same size and time, as a bad disk might) before
    // its lines are read.
    const auto file = folder / "2025-03-14 12-00-00.json";
    const auto session = [](const std::string& lineID) {
        return R"({"appVersion":"1","id":"x","lastUpdated":"2025-03-14T12:00:00.000Z",)"
               R"("lines":[{"id":")" +
               lineID +
               R"(","source":"microphone","start":"2025-03-14T12:00:01.000Z",)"
               R"("text":"x","language":"en-US"}],"languages":[],"markers":[],"startedAt":"2025-03-14T12:00:00.000Z"})";
    };
    std::ofstream(file) << session("6F1C3A52-3C0B-4B8E-9C52-1B2A3C4D5E6F");
    auto model = make(folder);
    model->activate();
    background.runOne(); // the listing
    const auto modified = std::filesystem::last_write_time(file);
    std::ofstream(file) << session("not-a-uuid-but-just-as-long-as-one!!");
    std::filesystem::last_write_time(file, modified);
    settle();
    ASSERT_EQ(model->sessions().size(), 3u);
    EXPECT_EQ(model->selectedID(), "2025-03-14 12-00-00");
    EXPECT_FALSE(model->detail());
    ASSERT_TRUE(model->detailError());
    changes.clear();
    advance(5);
    advance(5);
    EXPECT_TRUE(std::find(changes.begin(), changes.end(), HistoryModel::Change::detail) ==
                changes.end());
    model->deactivate();
    advance(5);
    EXPECT_TRUE(background.empty()); // closed: no more refreshes
}
