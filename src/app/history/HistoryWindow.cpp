#include "HistoryWindow.h"

#include "SessionListModel.h"
#include "SessionRowDelegate.h"
#include "TranscriptView.h"
#include "app/desktop/MainMenu.h"
#include "app/desktop/MenuIcons.h"
#include "app/desktop/UiText.h"
#include "core/Clocks.h"
#include "locale/Format.h"
#include "locale/L10n.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <chrono>

namespace ambrel {

namespace {

constexpr const char* geometryKey = "historyWindowGeometry";

enum DetailPage { transcriptPage, errorPage, loadingPage, emptyPage };

// The save file dialog, its file types in the order of the formats. It asks itself before
// replacing a file, and appends the type's extension to a name typed without one.
std::optional<ExportChoice> askForExportFile(QWidget* parent, const ExportQuestion& question) {
    QFileDialog dialog(parent, uiText(Texts::historyExportTitle));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    QStringList types;
    for (const auto format : core::allExportFormats) {
        types << qt(ExportPlan::fileType(format));
    }
    const auto formatOf = [&](const QString& type) {
        const auto index = types.indexOf(type);
        return index >= 0 ? core::allExportFormats[static_cast<std::size_t>(index)]
                          : question.format;
    };
    const auto useType = [&](const QString& type) {
        dialog.setDefaultSuffix(qt(std::string(core::fileExtension(formatOf(type)))));
    };
    dialog.setNameFilters(types);
    const auto initial = qt(ExportPlan::fileType(question.format));
    dialog.selectNameFilter(initial);
    useType(initial);
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, useType);
    dialog.setDirectory(qt(question.folder.string()));
    dialog.selectFile(qt(question.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return ExportChoice{std::filesystem::path(dialog.selectedFiles().constFirst().toStdString()),
                        formatOf(dialog.selectedNameFilter())};
}

} // namespace

HistoryWindow::HistoryWindow(HistoryModel& model, AppSettings settings, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , settings_(std::move(settings)) {
    exportDialog = [this](const ExportQuestion& question) {
        return askForExportFile(this, question);
    };
    setWindowTitle(QStringLiteral("Ambrel"));
    setMinimumSize(640, 380);
    resize(920, 620);

    // The list, with its search field and its empty states.
    auto* sidebar = new QWidget;
    auto* sidebarLayout = new QVBoxLayout(sidebar);
    sidebarLayout->setContentsMargins(10, 10, 6, 10);
    search_ = new QLineEdit;
    search_->setClearButtonEnabled(true);
    sidebarLayout->addWidget(search_);
    listPages_ = new QStackedWidget;
    listModel_ = new SessionListModel(core::Clocks::now, this);
    list_ = new QListView;
    list_->setModel(listModel_);
    list_->setItemDelegate(new SessionRowDelegate(list_));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setUniformItemSizes(true);
    list_->setFrameShape(QFrame::NoFrame);
    listPages_->addWidget(list_);
    listPages_->addWidget(makePlaceholder(listPlaceholderTitle_, listPlaceholderDetail_));
    sidebarLayout->addWidget(listPages_);

    // The detail: a header, the actions, and the transcript or why there is none.
    auto* detail = new QWidget;
    auto* detailLayout = new QVBoxLayout(detail);
    detailLayout->setContentsMargins(6, 10, 10, 10);
    auto* header = new QHBoxLayout;
    auto* titles = new QVBoxLayout;
    title_ = new QLabel;
    QFont titleFont = title_->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() + 2);
    titleFont.setWeight(QFont::DemiBold);
    title_->setFont(titleFont);
    subtitle_ = new QLabel;
    subtitle_->setForegroundRole(QPalette::PlaceholderText);
    titles->addWidget(title_);
    titles->addWidget(subtitle_);
    header->addLayout(titles, 1);
    toolbar_ = new QToolBar;
    toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolbar_->setIconSize(QSize(18, 18));
    copyAll_ = toolbar_->addAction(MenuIcons::icon("symbol:copy"), QString(),
                                   [this] { model_.copyTranscript(); });
    copyAll_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    copyAll_->setShortcutContext(Qt::WindowShortcut);
    auto* options = new QMenu(this);
    copyTimes_ = options->addAction(QString());
    copySpeakers_ = options->addAction(QString());
    for (const auto& [action, key] : std::initializer_list<std::pair<QAction*, std::string_view>>{
             {copyTimes_, AppSettings::Keys::copyTimestamps},
             {copySpeakers_, AppSettings::Keys::copySpeakers}}) {
        action->setCheckable(true);
        connect(action, &QAction::toggled, this,
                [this, key = key](bool on) { settings_.setFlag(key, on); });
    }
    connect(options, &QMenu::aboutToShow, this, [this] {
        const auto current = settings_.copyOptions();
        copyTimes_->setChecked(current.times);
        copySpeakers_->setChecked(current.speakers);
    });
    copyOptions_ = options->menuAction();
    copyOptions_->setIcon(MenuIcons::icon("symbol:sliders"));
    toolbar_->addAction(copyOptions_);
    if (auto* button = qobject_cast<QToolButton*>(toolbar_->widgetForAction(copyOptions_))) {
        button->setPopupMode(QToolButton::InstantPopup);
    }
    export_ = toolbar_->addAction(MenuIcons::icon("symbol:export"), QString(),
                                  [this] { exportSession(); });
    export_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    export_->setShortcutContext(Qt::WindowShortcut);
    openMarkdown_ = toolbar_->addAction(MenuIcons::icon("symbol:document-text"), QString(),
                                        [this] { model_.openMarkdown(); });
    reveal_ = toolbar_->addAction(MenuIcons::icon("symbol:folder"), QString(),
                                  [this] { model_.revealInFileManager(); });
    trash_ = toolbar_->addAction(MenuIcons::icon("symbol:trash"), QString(),
                                 [this] { model_.requestTrash(); });
    header->addWidget(toolbar_);
    detailLayout->addLayout(header);

    detailPages_ = new QStackedWidget;
    auto* transcriptPageWidget = new QWidget;
    auto* stack = new QGridLayout(transcriptPageWidget);
    stack->setContentsMargins(0, 0, 0, 0);
    transcript_ = new TranscriptView(settings_);
    noLines_ = new QLabel;
    noLines_->setAlignment(Qt::AlignCenter);
    noLines_->setForegroundRole(QPalette::PlaceholderText);
    noLines_->setAttribute(Qt::WA_TransparentForMouseEvents);
    stack->addWidget(transcript_, 0, 0);
    stack->addWidget(noLines_, 0, 0);
    detailPages_->addWidget(transcriptPageWidget);
    detailPages_->addWidget(makePlaceholder(errorTitle_, errorDetail_));
    detailPages_->addWidget(new QWidget);
    detailPages_->addWidget(makePlaceholder(emptyTitle_, emptyDetail_));
    detailLayout->addWidget(detailPages_, 1);

    auto* splitter = new QSplitter;
    splitter->addWidget(sidebar);
    splitter->addWidget(detail);
    splitter->setStretchFactor(1, 1);
    splitter->setCollapsible(0, false);
    splitter->setCollapsible(1, false);
    sidebar->setMinimumWidth(220);
    sidebar->setMaximumWidth(420);
    splitter->setSizes({280, 640});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);

    connect(search_, &QLineEdit::textChanged, this,
            [this](const QString& value) { model_.setSearchText(value.toStdString()); });
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (!updatingSelection_) {
                    model_.select(
                        current.isValid()
                            ? std::optional(
                                  current.data(SessionListModel::idRole).toString().toStdString())
                            : std::nullopt);
                }
            });
    connect(list_, &QListView::customContextMenuRequested, this,
            [this](const QPoint& position) { showRowMenu(position); });
    auto* deleteKey = new QShortcut(QKeySequence::Delete, list_);
    deleteKey->setContext(Qt::WidgetShortcut);
    connect(deleteKey, &QShortcut::activated, this, [this] { model_.requestTrash(); });
    auto* backspace = new QShortcut(QKeySequence(Qt::Key_Backspace), list_);
    backspace->setContext(Qt::WidgetShortcut);
    connect(backspace, &QShortcut::activated, this, [this] { model_.requestTrash(); });

    clock_ = new QTimer(this);
    clock_->setInterval(1000);
    // Only the live row's duration moves with time; the header has no clock.
    connect(clock_, &QTimer::timeout, this, [this] { listModel_->tick(); });

    if (const auto saved = settings_.text(geometryKey)) {
        restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(*saved)));
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    model_.onChange = [this](HistoryModel::Change change) { changed(change); };
    retranslate(); // shows the sessions and the detail too
}

HistoryWindow::~HistoryWindow() {
    model_.onChange = nullptr;
    if (isVisible()) {
        rememberGeometry(); // quitting with the window open
    }
}

void HistoryWindow::rememberGeometry() {
    settings_.setText(geometryKey, saveGeometry().toBase64().toStdString());
}

QWidget* HistoryWindow::makePlaceholder(QLabel*& title, QLabel*& detail) {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addStretch();
    title = new QLabel;
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() + 3);
    font.setWeight(QFont::DemiBold);
    title->setFont(font);
    title->setAlignment(Qt::AlignCenter);
    title->setWordWrap(true);
    title->setForegroundRole(QPalette::PlaceholderText);
    detail = new QLabel;
    detail->setAlignment(Qt::AlignCenter);
    detail->setWordWrap(true);
    detail->setForegroundRole(QPalette::PlaceholderText);
    detail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(title);
    layout->addWidget(detail);
    layout->addStretch();
    return page;
}

void HistoryWindow::retranslate() {
    search_->setPlaceholderText(uiText(Texts::historySearch));
    copyAll_->setText(uiText(Texts::historyCopyAll));
    copyAll_->setToolTip(uiText(Texts::historyCopyAll));
    copyOptions_->setText(uiText(Texts::historyCopyOptions));
    copyOptions_->setToolTip(uiText(Texts::historyCopyOptions));
    copyTimes_->setText(uiText(Texts::historyCopyTimestamps));
    copySpeakers_->setText(uiText(Texts::historyCopySpeakers));
    export_->setText(uiText(Texts::historyExport));
    export_->setToolTip(uiText(Texts::historyExport));
    openMarkdown_->setText(uiText(Texts::historyOpenMarkdown));
    openMarkdown_->setToolTip(uiText(Texts::historyOpenMarkdown));
    reveal_->setText(uiText(Texts::historyRevealInFileManager));
    reveal_->setToolTip(uiText(Texts::historyRevealInFileManager));
    trash_->setText(uiText(Texts::historyMoveToTrash));
    noLines_->setText(uiText(Texts::historyNoLines));
    errorTitle_->setText(uiText(Texts::historyLoadFailed));
    emptyTitle_->setText(uiText(Texts::historySelectSession));
    MainMenu::install(
        *this, {[this] {
                    search_->setFocus();
                    search_->selectAll();
                },
                [this] { findInTranscript(false); }, [this] { findInTranscript(true); },
                [this] {
                    const QString selected = transcript_->textCursor().selectedText().trimmed();
                    if (!selected.isEmpty()) {
                        search_->setText(selected);
                    }
                }});
    showSessions();
    listModel_->relabel();
    showHeader();
    showDetail(); // speaker names, markers and days are in the new language too
    updateActions();
}

void HistoryWindow::findInTranscript(bool backwards) {
    const QString query = search_->text().trimmed();
    if (query.isEmpty() || detailPages_->currentIndex() != transcriptPage) {
        return;
    }
    const auto flags = backwards ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    if (transcript_->find(query, flags)) {
        return;
    }
    // Past the last match: start again from the other end.
    QTextCursor cursor = transcript_->textCursor();
    cursor.movePosition(backwards ? QTextCursor::End : QTextCursor::Start);
    transcript_->setTextCursor(cursor);
    transcript_->find(query, flags);
}

void HistoryWindow::open() {
    model_.activate();
    clock_->start();
    show();
    raise();
    activateWindow();
}

void HistoryWindow::closeEvent(QCloseEvent* event) {
    rememberGeometry();
    clock_->stop();
    model_.deactivate();
    QWidget::closeEvent(event);
}

QString HistoryWindow::detailPage() const {
    switch (detailPages_->currentIndex()) {
    case transcriptPage:
        return QStringLiteral("transcript");
    case errorPage:
        return QStringLiteral("error");
    case loadingPage:
        return QStringLiteral("loading");
    default:
        return QStringLiteral("empty");
    }
}

QString HistoryWindow::placeholderText() const {
    return listPages_->currentIndex() == 1 ? listPlaceholderTitle_->text() : QString();
}

void HistoryWindow::changed(HistoryModel::Change change) {
    switch (change) {
    case HistoryModel::Change::sessions:
    case HistoryModel::Change::hasLoaded:
    case HistoryModel::Change::liveSession:
    case HistoryModel::Change::search:
        showSessions();
        showHeader();
        updateActions();
        if (change == HistoryModel::Change::search && model_.activeQuery() != highlighted_) {
            showDetail(); // the highlight follows the query once its results are in
        }
        break;
    case HistoryModel::Change::selection:
        showSelection();
        showHeader();
        updateActions();
        break;
    case HistoryModel::Change::detail:
        showDetail();
        updateActions(); // a session that can't be read can't be exported
        break;
    case HistoryModel::Change::pendingTrash:
        if (model_.pendingTrash()) {
            // Asked after the current event, not inside the model's own call.
            QTimer::singleShot(0, this, [this] { askToTrash(); });
        }
        break;
    case HistoryModel::Change::alert:
        if (model_.alertMessage()) {
            QTimer::singleShot(0, this, [this] { showAlert(); });
        }
        break;
    }
}

void HistoryWindow::showSessions() {
    listModel_->setSessions(model_.visibleSessions(), model_.liveSessionID());
    showSelection();
    if (model_.hasLoaded() && model_.sessions().empty()) {
        listPlaceholderTitle_->setText(uiText(Texts::historyNoSessionsTitle));
        listPlaceholderDetail_->clear();
        listPages_->setCurrentIndex(1);
    } else if (model_.searchMatches() && model_.searchMatches()->empty()) {
        listPlaceholderTitle_->setText(
            qt(L10n::format(Texts::historyNoResults, {model_.activeQuery()})));
        listPlaceholderDetail_->clear();
        listPages_->setCurrentIndex(1);
    } else {
        listPages_->setCurrentIndex(0);
    }
}

void HistoryWindow::showSelection() {
    updatingSelection_ = true;
    const int row = model_.selectedID() ? listModel_->rowOf(*model_.selectedID()) : -1;
    if (row >= 0) {
        const auto at = listModel_->index(row);
        list_->selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect);
        list_->scrollTo(at);
    } else {
        list_->selectionModel()->clear();
    }
    updatingSelection_ = false;
}

void HistoryWindow::showDetail() {
    if (const auto& detail = model_.detail()) {
        highlighted_ = model_.activeQuery();
        transcript_->show(*detail, detail->id == model_.liveSessionID(), highlighted_);
        noLines_->setVisible(detail->lines.empty() && detail->markers.empty());
        detailPages_->setCurrentIndex(transcriptPage);
    } else if (const auto& error = model_.detailError()) {
        errorDetail_->setText(qt(*error));
        detailPages_->setCurrentIndex(errorPage);
    } else if (model_.selectedID()) {
        detailPages_->setCurrentIndex(loadingPage);
    } else {
        emptyDetail_->clear();
        detailPages_->setCurrentIndex(emptyPage);
    }
}

void HistoryWindow::showHeader() {
    const auto summary = model_.selectedSummary();
    if (!summary) {
        title_->setText(QStringLiteral("Ambrel"));
        subtitle_->clear();
        return;
    }
    title_->setText(qt(Format::sessionTitle(summary->startedAt)));
    const bool live = summary->id == model_.liveSessionID();
    const std::string first =
        live
            ? L10n::text(Texts::historyRecordingBadge)
            : Format::duration(summary->endedAt.value_or(summary->lastUpdated) - summary->startedAt,
                               L10n::localeIdentifier());
    subtitle_->setText(
        qt(first + " · " + L10n::lineCount(static_cast<std::int64_t>(summary->lineCount))));
}

void HistoryWindow::updateActions() {
    const auto summary = model_.selectedSummary();
    const bool live = summary && summary->id == model_.liveSessionID();
    for (QAction* action : {copyAll_, openMarkdown_, reveal_}) {
        action->setEnabled(summary.has_value());
    }
    export_->setEnabled(summary && !model_.detailError());
    trash_->setEnabled(summary && !live);
    trash_->setToolTip(live ? uiText(Texts::historyCannotTrashLive)
                            : uiText(Texts::historyMoveToTrash));
}

void HistoryWindow::exportSession(const std::optional<core::SessionSummary>& given) {
    const auto summary = given ? given : model_.selectedSummary();
    if (!summary || !exportDialog) {
        return;
    }
    if (const auto choice =
            ExportPlan::choose(summary->id, model_.directory(), settings_, exportDialog)) {
        model_.exportSession(*choice, summary);
    }
}

void HistoryWindow::askToTrash() {
    const auto pending = model_.pendingTrash();
    if (!pending) {
        return;
    }
    QMessageBox question(this);
    question.setIcon(QMessageBox::Warning);
    question.setWindowTitle(QStringLiteral("Ambrel"));
    question.setText(qt(
        L10n::format(Texts::historyTrashConfirmTitle, {Format::sessionTitle(pending->startedAt)})));
    QPushButton* move =
        question.addButton(uiText(Texts::historyMoveToTrash), QMessageBox::DestructiveRole);
    question.addButton(uiText(Texts::alertCancel), QMessageBox::RejectRole);
    question.exec();
    if (question.clickedButton() == move) {
        model_.confirmTrash(*pending);
    } else {
        model_.dismissTrash();
    }
}

void HistoryWindow::showAlert() {
    const auto message = model_.alertMessage();
    if (!message) {
        return;
    }
    QMessageBox alert(QMessageBox::Warning, QStringLiteral("Ambrel"),
                      uiText(Texts::alertErrorTitle), QMessageBox::Ok, this);
    alert.setInformativeText(qt(*message));
    alert.button(QMessageBox::Ok)->setText(uiText(Texts::alertOk));
    alert.exec();
    model_.dismissAlert();
}

void HistoryWindow::showRowMenu(const QPoint& position) {
    const QModelIndex index = list_->indexAt(position);
    if (!index.isValid()) {
        return;
    }
    const auto summary = listModel_->sessions()[static_cast<std::size_t>(index.row())];
    QMenu menu(this);
    menu.addAction(uiText(Texts::historyCopyAll),
                   [this, summary] { model_.copyTranscript(summary); });
    menu.addAction(uiText(Texts::historyExport), [this, summary] { exportSession(summary); });
    menu.addAction(uiText(Texts::historyOpenMarkdown),
                   [this, summary] { model_.openMarkdown(summary); });
    menu.addAction(uiText(Texts::historyRevealInFileManager),
                   [this, summary] { model_.revealInFileManager(summary); });
    menu.addSeparator();
    QAction* trash = menu.addAction(uiText(Texts::historyMoveToTrash),
                                    [this, summary] { model_.requestTrash(summary); });
    trash->setEnabled(summary.id != model_.liveSessionID());
    menu.exec(list_->viewport()->mapToGlobal(position));
}

} // namespace ambrel
