#include "app/history/HistoryWindow.h"

#include "DeferredWork.h"
#include "IsolatedHome.h"
#include "app/history/SessionListModel.h"
#include "app/history/TranscriptView.h"
#include "core/SessionStore.h"
#include "core/VirtualScheduler.h"
#include "locale/L10n.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QTextBlock>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

#include <deque>
#include <fstream>

using namespace ambrel;
using core::SessionRecord;

namespace {

constexpr core::Instant t0 = 1741939500.0; // 09:05:00 in Berlin

SessionRecord session(const std::string& id, core::Instant start,
                      const std::vector<std::pair<std::string, core::SpeechSource>>& lines) {
    SessionRecord record(id, start);
    double at = start;
    for (const auto& [text, source] : lines) {
        at += 2;
        record.lines.push_back({core::Uuid::random(), text, at, source, "en-US"});
    }
    record.lastUpdated = at;
    return record;
}

class HistoryWindowTest : public ::testing::Test {
protected:
    HistoryWindowTest() {
        L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"en"});
        std::filesystem::create_directories(folder);
        HistoryModel::Services services;
        services.background = background.submitter();
        model = std::make_unique<HistoryModel>(
            folder, [] { return std::optional<SessionRecord>(); }, scheduler, services);
        window = std::make_unique<HistoryWindow>(*model, settings);
    }

    void settle() {
        background.settle(scheduler);
        QApplication::processEvents();
    }

    ambrel::testing::IsolatedHome home;
    std::filesystem::path folder = home.path() / "sessions";
    core::VirtualScheduler scheduler{t0 + 3600};
    ambrel::testing::DeferredWork background;
    AppSettings settings{std::make_shared<core::MemorySettingsStore>()};
    std::unique_ptr<HistoryModel> model;
    std::unique_ptr<HistoryWindow> window;
};

} // namespace

TEST_F(HistoryWindowTest, ShowsEmptyStatesOnlyOnceTheFolderIsKnown) {
    window->open();
    EXPECT_EQ(window->placeholderText(), ""); // nothing yet: no flash of "No Sessions Yet"
    EXPECT_EQ(window->detailPage(), "empty");
    settle();
    EXPECT_EQ(window->placeholderText(), "No Sessions Yet");

    core::SessionStore(folder).save(
        session("2025-03-14 09-05-00", t0, {{"Hello there", core::SpeechSource::microphone}}));
    scheduler.advance(HistoryModel::refreshInterval);
    settle();
    EXPECT_EQ(window->placeholderText(), "");
    EXPECT_EQ(window->listModel().rowCount(), 1);
    EXPECT_EQ(window->detailPage(), "transcript");

    window->searchField().setText("nowhere");
    scheduler.advance(HistoryModel::searchDelay);
    settle();
    EXPECT_EQ(window->placeholderText(), "No Results for “nowhere”");
    window->searchField().clear();
    settle();
    EXPECT_EQ(window->placeholderText(), "");
    EXPECT_EQ(window->listModel().rowCount(), 1);

    // Every toolbar button shows its symbol, with its title as help.
    for (QAction* action : window->findChild<QToolBar*>()->actions()) {
        EXPECT_FALSE(action->icon().isNull()) << action->text().toStdString();
        EXPECT_EQ(action->toolTip(), action->text());
    }

    // Another interface language: the transcript on show speaks it too.
    core::SessionStore(folder).save(session("2025-03-14 09-05-00", t0,
                                            {{"Hello there", core::SpeechSource::microphone},
                                             {"Hi", core::SpeechSource::systemAudio}}));
    scheduler.advance(HistoryModel::refreshInterval);
    settle();
    const auto transcriptText = [&] {
        return window->transcript().document()->toPlainText().toStdString();
    };
    ASSERT_NE(transcriptText().find("\tMe\t"), std::string::npos) << transcriptText();
    L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"de"});
    window->retranslate();
    EXPECT_NE(transcriptText().find("\tIch\t"), std::string::npos) << transcriptText();
    L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"en"});

    // Find Next and Previous go through the transcript, round its end; Use Selection for Find
    // searches for the selected words.
    const auto command = [&](const QKeySequence& keys) {
        for (QAction* action : window->actions()) {
            if (action->shortcut() == keys) {
                action->trigger();
            }
        }
        return window->transcript().textCursor().selectedText().toStdString();
    };
    window->searchField().setText("th"); // in "there" and in "Others"
    scheduler.advance(HistoryModel::searchDelay);
    settle();
    ASSERT_EQ(window->detailPage(), "transcript");
    const auto at = [&] { return window->transcript().textCursor().position(); };
    EXPECT_EQ(command(QKeySequence::FindNext), "th");
    const int there = at();
    EXPECT_EQ(command(QKeySequence::FindNext), "th");
    const int others = at();
    EXPECT_GT(others, there);
    command(QKeySequence::FindNext);
    EXPECT_EQ(at(), there) << "round the end";
    command(QKeySequence::FindPrevious);
    EXPECT_EQ(at(), others) << "round the start";
    window->transcript().moveCursor(QTextCursor::Start);
    ASSERT_TRUE(window->transcript().find("there"));
    command(QKeySequence(Qt::CTRL | Qt::Key_E));
    EXPECT_EQ(window->searchField().text().toStdString(), "there");
}

TEST_F(HistoryWindowTest, TheTranscriptGrowsAtItsEndAndCopiesCleanRows) {
    auto record = session("2025-03-14 09-05-00", t0,
                          {{"Good morning.", core::SpeechSource::microphone},
                           {"Morning! How was the trip?", core::SpeechSource::systemAudio}});
    TranscriptView& view = window->transcript();
    view.show(record, true, "");
    ASSERT_EQ(view.document()->blockCount(), 2);
    EXPECT_EQ(view.document()->firstBlock().text().toStdString(), "09:05:02\tMe\tGood morning.");
    const QTextBlock kept = view.document()->firstBlock();

    // A new line is appended; the rows above stay as they were laid out.
    record.lines.push_back(
        {core::Uuid::random(), "Long, but fine.", t0 + 6, core::SpeechSource::microphone, "en-US"});
    view.show(record, true, "");
    ASSERT_EQ(view.document()->blockCount(), 3);
    EXPECT_EQ(view.document()->firstBlock(), kept);
    EXPECT_EQ(view.document()->lastBlock().text().toStdString(), "09:05:06\tMe\tLong, but fine.");
    // A revised last line replaces only that row.
    record.lines.back().text = "Long, but fine, thanks.";
    view.show(record, true, "");
    EXPECT_EQ(view.document()->blockCount(), 3);
    EXPECT_EQ(view.document()->firstBlock(), kept);

    // From the middle of the first row to the middle of the second: two clean rows.
    QTextCursor selection(view.document());
    selection.setPosition(view.document()->firstBlock().position() + 17);
    selection.setPosition(view.document()->findBlockByNumber(1).position() + 24,
                          QTextCursor::KeepAnchor);
    view.setTextCursor(selection);
    // The first row lost its time and speaker to the selection; the second has both.
    EXPECT_EQ(view.selectedRowsText(), "morning.\n[09:05:04] Others: Morning!");
    settings.setFlag(AppSettings::Keys::copyTimestamps, false);
    settings.setFlag(AppSettings::Keys::copySpeakers, false);
    EXPECT_EQ(view.selectedRowsText(), "morning.\nMorning!");
    // The copy key goes to the view, never to the window's shortcut that copies raw text.
    QKeyEvent copyKey(QEvent::ShortcutOverride, Qt::Key_C, Qt::ControlModifier);
    copyKey.ignore();
    QApplication::sendEvent(&view, &copyKey);
    EXPECT_TRUE(copyKey.isAccepted());
    QKeyEvent press(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
    QApplication::sendEvent(&view, &press);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "morning.\nMorning!");

    // Only the tabs between the columns: nothing to copy.
    selection.setPosition(view.document()->firstBlock().position() + 8);
    selection.setPosition(view.document()->firstBlock().position() + 9, QTextCursor::KeepAnchor);
    view.setTextCursor(selection);
    EXPECT_EQ(view.selectedRowsText(), "");

    // One source: no speaker column.
    const auto single = session("2025-03-14 10-00-00", t0 + 3300,
                                {{"Alone here.", core::SpeechSource::systemAudio}});
    const auto rows = TranscriptRow::rows(single);
    const auto columns = view.columns(rows);
    EXPECT_EQ(columns.speaker, columns.text);
    view.show(single, false, "here");
    EXPECT_EQ(view.document()->firstBlock().text().toStdString(), "10:00:02\tAlone here.");
}

TEST_F(HistoryWindowTest, ExportAsksTheDialogAndWantsASessionThatCanBeRead) {
    QAction* exportAction = nullptr;
    for (QAction* action : window->findChild<QToolBar*>()->actions()) {
        if (action->text() == "Export…") {
            exportAction = action;
        }
    }
    ASSERT_TRUE(exportAction);
    std::vector<ExportQuestion> asked;
    window->exportDialog = [&](const ExportQuestion& question) {
        asked.push_back(question);
        return asked.size() == 1 ? std::optional(ExportChoice{home.path() / "mine",
                                                              core::ExportFormat::plainText})
                                 : std::nullopt;
    };
    window->open();
    settle();
    EXPECT_FALSE(exportAction->isEnabled()) << "nothing selected";

    const std::string id = "2025-03-14 09-05-00";
    core::SessionStore(folder).save(
        session(id, t0, {{"Hello there", core::SpeechSource::microphone}}));
    scheduler.advance(HistoryModel::refreshInterval);
    settle();
    ASSERT_TRUE(exportAction->isEnabled());
    exportAction->trigger();
    settle();
    // First beside the transcripts folder, then where the last export went.
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], (ExportQuestion{home.path(), id + ".srt", core::ExportFormat::srt}));
    std::ifstream written(home.path() / "mine.txt");
    std::string line;
    std::getline(written, line);
    EXPECT_EQ(line, "[09:05:02] Hello there"); // one source: no speakers
    exportAction->trigger();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1], (ExportQuestion{home.path(), id + ".txt", core::ExportFormat::plainText}));

    // A listed session whose file went before it was read: nothing to export.
    const std::string gone = "2025-03-14 10-00-00";
    core::SessionStore(folder).save(
        session(gone, t0 + 3300, {{"Soon gone", core::SpeechSource::microphone}}));
    scheduler.advance(HistoryModel::refreshInterval);
    settle();
    std::filesystem::remove(folder / (gone + ".json"));
    model->select(gone);
    settle();
    ASSERT_EQ(window->detailPage(), "error");
    EXPECT_FALSE(exportAction->isEnabled());
    model->select(id);
    settle();
    EXPECT_TRUE(exportAction->isEnabled());
}
