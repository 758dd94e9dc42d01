#pragma once

#include "HistoryModel.h"
#include "app/AppSettings.h"

#include <QWidget>

#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QListView;
class QStackedWidget;
class QTimer;
class QToolBar;

namespace ambrel {

class SessionListModel;
class TranscriptView;

// The history window: the sessions with a search field on the left, the selected transcript with
// its actions on the right. Everything it shows and does goes through the model.
class HistoryWindow : public QWidget {
public:
    HistoryWindow(HistoryModel& model, AppSettings settings, QWidget* parent = nullptr);
    ~HistoryWindow() override;

    // Shows and fronts the window; the model refreshes while it is open.
    void open();
    // Builds the texts again in the interface language.
    void retranslate();

    QListView& list() { return *list_; }
    QLineEdit& searchField() { return *search_; }
    TranscriptView& transcript() { return *transcript_; }
    SessionListModel& listModel() { return *listModel_; }
    // The page the detail pane shows: "transcript", "error", "loading" or "empty".
    QString detailPage() const;
    QString placeholderText() const;

    // Asks where to export and in which format: a save file dialog unless a test puts its own in.
    ExportPlan::Dialog exportDialog;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void rememberGeometry();
    // The next (or previous) place of the search text in the transcript, round the end.
    void findInTranscript(bool backwards);
    void changed(HistoryModel::Change change);
    void showSessions();
    void showSelection();
    void showDetail();
    void showHeader();
    void updateActions();
    // Absent: the selected session.
    void exportSession(const std::optional<core::SessionSummary>& summary = {});
    void askToTrash();
    void showAlert();
    void showRowMenu(const QPoint& position);
    QWidget* makePlaceholder(QLabel*& title, QLabel*& detail);

    HistoryModel& model_;
    AppSettings settings_;
    SessionListModel* listModel_ = nullptr;
    QLineEdit* search_ = nullptr;
    QListView* list_ = nullptr;
    QStackedWidget* listPages_ = nullptr;
    QLabel* listPlaceholderTitle_ = nullptr;
    QLabel* listPlaceholderDetail_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* subtitle_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    QAction* copyAll_ = nullptr;
    QAction* copyOptions_ = nullptr;
    QAction* copyTimes_ = nullptr;
    QAction* copySpeakers_ = nullptr;
    QAction* export_ = nullptr;
    QAction* openMarkdown_ = nullptr;
    QAction* reveal_ = nullptr;
    QAction* trash_ = nullptr;
    QStackedWidget* detailPages_ = nullptr;
    TranscriptView* transcript_ = nullptr;
    QLabel* noLines_ = nullptr;
    QLabel* errorTitle_ = nullptr;
    QLabel* errorDetail_ = nullptr;
    QLabel* emptyTitle_ = nullptr;
    QLabel* emptyDetail_ = nullptr;
    QTimer* clock_ = nullptr;
    std::string highlighted_; // the query the transcript shows highlighted
    bool updatingSelection_ = false;
};

} // namespace ambrel
