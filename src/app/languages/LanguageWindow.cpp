#include "LanguageWindow.h"

#include "AddLanguageSheet.h"
#include "LanguageModel.h"
#include "app/desktop/UiText.h"
#include "locale/L10n.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <optional>

namespace ambrel {

namespace {

constexpr int identifierRole = Qt::UserRole + 1;

} // namespace

LanguageWindow::LanguageWindow(LanguageModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , model_(model) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 16);
    header_ = new QLabel;
    QFont bold = header_->font();
    bold.setWeight(QFont::DemiBold);
    header_->setFont(bold);
    layout->addWidget(header_);

    auto* automaticRow = new QVBoxLayout;
    automaticRow->setSpacing(1);
    automatic_ = new QCheckBox;
    basis_ = new QLabel;
    basis_->setForegroundRole(QPalette::PlaceholderText);
    basis_->setContentsMargins(24, 0, 0, 0);
    automaticRow->addWidget(automatic_);
    automaticRow->addWidget(basis_);
    layout->addLayout(automaticRow);

    list_ = new QTreeWidget;
    list_->setColumnCount(2);
    list_->setHeaderHidden(true);
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    list_->setMinimumHeight(170);
    layout->addWidget(list_);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    add_ = new QToolButton;
    add_->setText(QStringLiteral("+"));
    add_->setFixedSize(24, 20);
    remove_ = new QToolButton;
    remove_->setText(QStringLiteral("−"));
    remove_->setFixedSize(24, 20);
    buttons->addWidget(add_);
    buttons->addWidget(remove_);
    buttons->addStretch();
    layout->addLayout(buttons);
    hint_ = new QLabel;
    hint_->setForegroundRole(QPalette::PlaceholderText);
    hint_->setWordWrap(true);
    layout->addWidget(hint_);
    warning_ = new QLabel;
    warning_->setWordWrap(true);
    warning_->setTextFormat(Qt::PlainText);
    layout->addWidget(warning_);
    setFixedWidth(420);

    connect(automatic_, &QCheckBox::toggled, this, [this](bool on) {
        if (!updating_) {
            model_.setAutomatic(on);
            list_->clearSelection();
        }
    });
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] { updateButtons(); });
    connect(add_, &QToolButton::clicked, this, [this] { openAddSheet(); });
    connect(remove_, &QToolButton::clicked, this, [this] { removeSelection(); });
    refresh();
}

void LanguageWindow::refresh() {
    updating_ = true;
    setWindowTitle(uiText(Texts::menuSpeechRecognition));
    header_->setText(uiText(Texts::languagesHeader));
    automatic_->setText(uiText(Texts::menuAutomaticLanguage));
    automatic_->setChecked(model_.automatic());
    basis_->setText(uiText(Texts::menuAutomaticLanguageBasis));
    const auto kept = selection();
    list_->clear();
    for (const auto& identifier : model_.inUse()) {
        const QString note = model_.isInstalled(identifier) ? QString()
                             : model_.isUnavailable(identifier)
                                 ? uiText(Texts::languagesUnavailable)
                                 : uiText(Texts::menuNeedsDownload);
        auto* item = new QTreeWidgetItem(
            {QString::fromStdString(LanguageModel::displayName(identifier)), note});
        item->setData(0, identifierRole, QString::fromStdString(identifier));
        item->setForeground(1, palette().brush(QPalette::PlaceholderText));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        list_->addTopLevelItem(item);
        if (kept == identifier && !model_.automatic()) {
            item->setSelected(true);
        }
    }
    list_->setEnabled(!model_.automatic());
    add_->setToolTip(uiText(Texts::languagesAdd));
    add_->setAccessibleName(uiText(Texts::languagesAdd));
    remove_->setToolTip(uiText(Texts::languagesRemove));
    remove_->setAccessibleName(uiText(Texts::languagesRemove));
    hint_->setText(QString::fromStdString(
        L10n::format(Texts::menuDetectLimitHint,
                     {static_cast<std::int64_t>(LanguageModel::maximumChosen),
                      static_cast<std::int64_t>(LanguageModel::recommendedChosen)})));
    hint_->setVisible(!model_.automatic());
    QStringList warnings;
    for (const auto& warning : model_.warnings()) {
        warnings.append(QString::fromStdString(warning));
    }
    warning_->setText(warnings.join(QLatin1Char('\n')));
    warning_->setVisible(!warnings.isEmpty());
    if (sheet_) {
        sheet_->refresh();
    }
    updating_ = false;
    updateButtons();
    // Not resizable: as tall as the content at the window's fixed width.
    const QLayout* content = layout();
    setFixedHeight(content->hasHeightForWidth() ? content->totalHeightForWidth(width())
                                                : content->totalSizeHint().height());
}

std::optional<std::string> LanguageWindow::selection() const {
    const auto selected = list_->selectedItems();
    if (selected.isEmpty()) {
        return std::nullopt;
    }
    return selected.front()->data(0, identifierRole).toString().toStdString();
}

void LanguageWindow::updateButtons() {
    add_->setEnabled(model_.canAdd());
    remove_->setEnabled(model_.canRemove(selection()));
}

void LanguageWindow::removeSelection() {
    const auto selected = selection();
    if (model_.canRemove(selected)) {
        model_.remove(*selected);
        list_->clearSelection();
    }
}

void LanguageWindow::openAddSheet() {
    if (!model_.canAdd()) {
        return;
    }
    AddLanguageSheet sheet(model_, this);
    sheet_ = &sheet;
    sheet.exec();
    sheet_ = nullptr;
}

void LanguageWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) {
        removeSelection();
        return;
    }
    QWidget::keyPressEvent(event);
}

void LanguageWindow::closeEvent(QCloseEvent* event) {
    if (onClosed) {
        onClosed();
    }
    QWidget::closeEvent(event);
}

} // namespace ambrel
