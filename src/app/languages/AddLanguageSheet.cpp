#include "AddLanguageSheet.h"

#include "LanguageModel.h"
#include "app/desktop/UiText.h"
#include "core/UnicodeText.h"
#include "locale/L10n.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace ambrel {

namespace {

constexpr int identifierRole = Qt::UserRole + 1;

} // namespace

AddLanguageSheet::AddLanguageSheet(LanguageModel& model, QWidget* parent)
    : QDialog(parent)
    , model_(model) {
    setWindowTitle(uiText(Texts::languagesAdd));
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    auto* headline = new QLabel(uiText(Texts::languagesAdd));
    QFont font = headline->font();
    font.setWeight(QFont::DemiBold);
    headline->setFont(font);
    layout->addWidget(headline);
    search_ = new QLineEdit;
    search_->setPlaceholderText(uiText(Texts::languagesSearch));
    search_->setClearButtonEnabled(true);
    layout->addWidget(search_);
    list_ = new QListWidget;
    list_->setAlternatingRowColors(true);
    list_->setMinimumHeight(260);
    layout->addWidget(list_);
    auto* problemRow = new QHBoxLayout;
    problem_ = new QLabel;
    problem_->setWordWrap(true);
    problem_->setTextFormat(Qt::PlainText);
    problem_->setForegroundRole(QPalette::PlaceholderText);
    tryAgain_ = new QPushButton(uiText(Texts::languagesTryAgain));
    tryAgain_->setAutoDefault(false);
    problemRow->addWidget(problem_, 1);
    problemRow->addWidget(tryAgain_, 0, Qt::AlignTop);
    layout->addLayout(problemRow);
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(uiText(Texts::alertCancel), QDialogButtonBox::RejectRole);
    add_ = buttons->addButton(uiText(Texts::languagesAddButton), QDialogButtonBox::AcceptRole);
    add_->setDefault(true);
    layout->addWidget(buttons);
    setFixedWidth(360);

    connect(search_, &QLineEdit::textChanged, this, [this] { fill(); });
    connect(search_, &QLineEdit::returnPressed, this, [this] { addTarget(); });
    // A click makes the row current before it selects it: follow the selection.
    connect(list_, &QListWidget::itemSelectionChanged, this,
            [this] { add_->setEnabled(target().has_value()); });
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        model_.add(item->data(identifierRole).toString().toStdString());
        accept();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { addTarget(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(tryAgain_, &QPushButton::clicked, this, [this] {
        tryAgain_->setEnabled(false); // until the catalogue comes back
        model_.retryCatalog();
    });
    refresh();
    search_->setFocus();
}

void AddLanguageSheet::refresh() {
    const auto& problem = model_.catalog().listProblem;
    problem_->setText(
        problem ? QString::fromStdString(L10n::format(Texts::languagesListUnavailable, {*problem}))
                : QString());
    problem_->setVisible(problem.has_value());
    tryAgain_->setVisible(problem.has_value());
    tryAgain_->setEnabled(true);
    fill();
}

void AddLanguageSheet::fill() {
    list_->clear(); // a new query forgets the pick
    for (const auto& identifier : model_.addable(search_->text().toStdString())) {
        auto* item =
            new QListWidgetItem(QString::fromStdString(LanguageModel::displayName(identifier)));
        item->setData(identifierRole, QString::fromStdString(identifier));
        list_->addItem(item);
    }
    list_->setCurrentRow(-1);
    add_->setEnabled(target().has_value());
}

std::optional<std::string> AddLanguageSheet::target() const {
    if (const QListWidgetItem* picked = list_->currentItem(); picked && picked->isSelected()) {
        return picked->data(identifierRole).toString().toStdString();
    }
    const std::string query = search_->text().toStdString();
    if (!core::UnicodeText::trimmingBlanks(query).empty() && list_->count() > 0) {
        return list_->item(0)->data(identifierRole).toString().toStdString();
    }
    return std::nullopt;
}

void AddLanguageSheet::addTarget() {
    if (const auto chosen = target()) {
        model_.add(*chosen);
        accept();
    }
}

} // namespace ambrel
