#include "ControlWindow.h"

#include "QMenuRows.h"
#include "app/desktop/MenuIcons.h"
#include "app/desktop/TitledWindows.h"
#include "app/desktop/UiText.h"
#include "locale/L10n.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>

namespace ambrel {

namespace {

// Buttons read like menu rows: flat, icon first, text from the left.
QPushButton* rowButton() {
    auto* button = new QPushButton;
    button->setFlat(true);
    button->setStyleSheet(QStringLiteral("QPushButton { text-align: left; padding: 5px 8px; }"));
    button->setIconSize(QSize(16, 16));
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return button;
}

void collectShape(const std::vector<MenuRow>& rows, std::vector<std::string>& shape) {
    for (const auto& row : rows) {
        shape.push_back(row.id + "|" + std::to_string(static_cast<int>(row.kind)));
    }
}

} // namespace

ControlWindow::ControlWindow() {
    setWindowTitle(QStringLiteral("Ambrel"));
    setProperty(TitledWindows::standsInForTray, true);
    setWindowIcon(QIcon(QStringLiteral(":/icons/org.ambrel.Ambrel.svg")));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(2);
    rowsLayout_ = new QVBoxLayout;
    rowsLayout_->setSpacing(0);
    layout->addLayout(rowsLayout_);
    layout->addStretch(1);
    note_ = new QLabel(uiText(Texts::controlNoTray));
    note_->setWordWrap(true);
    note_->setForegroundRole(QPalette::PlaceholderText);
    note_->setContentsMargins(8, 8, 8, 0);
    layout->addWidget(note_);
    setMinimumWidth(340);
    // The tray menu's shortcut works here too.
    auto* quitKey = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Q")), this);
    QObject::connect(quitKey, &QShortcut::activated, this, [this] {
        if (quit) {
            quit();
        }
    });
}

ControlWindow::~ControlWindow() = default;

QWidget* ControlWindow::widget(const std::string& rowID) const {
    const auto found = widgets_.find(rowID);
    return found == widgets_.end() ? nullptr : found->second;
}

void ControlWindow::setTrayPresent(bool present) {
    trayPresent_ = present;
    note_->setVisible(!present);
}

void ControlWindow::setRows(const std::vector<MenuRow>& rows) {
    std::vector<std::string> shape;
    collectShape(rows, shape);
    if (shape != shape_) {
        rebuild(rows);
        shape_ = std::move(shape);
        return;
    }
    for (const auto& row : rows) {
        apply(row);
    }
}

void ControlWindow::rebuild(const std::vector<MenuRow>& rows) {
    // A button may be rebuilt away while its own click runs: delete the old ones later.
    while (QLayoutItem* item = rowsLayout_->takeAt(0)) {
        if (QWidget* old = item->widget()) {
            old->hide();
            old->deleteLater();
        }
        delete item;
    }
    widgets_.clear();
    labels_.clear();
    handlers_.clear();
    for (auto& [id, menu] : menus_) {
        menu.release()->deleteLater();
    }
    menus_.clear();
    menuRows_.clear();
    for (const auto& row : rows) {
        QWidget* widget = nullptr;
        switch (row.kind) {
        case MenuRow::Kind::separator: {
            auto* line = new QFrame;
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            widget = line;
            break;
        }
        case MenuRow::Kind::label: {
            auto* box = new QWidget;
            auto* line = new QHBoxLayout(box);
            line->setContentsMargins(8, 4, 8, 4);
            auto* icon = new QLabel;
            icon->setFixedSize(16, 16);
            auto* text = new QLabel;
            text->setWordWrap(true);
            text->setTextFormat(Qt::PlainText);
            text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
            line->addWidget(icon, 0, Qt::AlignTop);
            line->addWidget(text, 1);
            labels_[row.id] = {icon, text};
            widget = box;
            break;
        }
        case MenuRow::Kind::submenu: {
            auto* button = rowButton();
            auto menu = std::make_unique<QMenu>();
            auto rowsOfMenu = std::make_unique<QMenuRows>(*menu);
            rowsOfMenu->afterAction = [this] {
                if (afterAction) {
                    afterAction();
                }
            };
            button->setMenu(menu.get());
            menus_[row.id] = std::move(menu);
            menuRows_[row.id] = std::move(rowsOfMenu);
            widget = button;
            break;
        }
        case MenuRow::Kind::action: {
            auto* button = rowButton();
            QObject::connect(button, &QPushButton::clicked, this, [this, id = row.id] {
                const auto handler = handlers_.find(id);
                if (handler != handlers_.end() && handler->second) {
                    const auto run = handler->second;
                    run();
                    if (afterAction) {
                        afterAction();
                    }
                }
            });
            widget = button;
            break;
        }
        }
        widgets_[row.id] = widget;
        rowsLayout_->addWidget(widget);
        apply(row);
    }
}

void ControlWindow::apply(const MenuRow& row) {
    QWidget* widget = this->widget(row.id);
    if (widget == nullptr) {
        return;
    }
    const QString text = qt(row.text());
    if (const auto label = labels_.find(row.id); label != labels_.end()) {
        const QIcon icon = MenuIcons::icon(row.icon);
        label->second.first->setPixmap(icon.isNull() ? QPixmap() : icon.pixmap(16, 16));
        label->second.second->setText(text);
        return;
    }
    auto* button = qobject_cast<QPushButton*>(widget);
    if (button == nullptr) {
        return;
    }
    // Switches show their state in the icon; a check mark stands for the others.
    button->setText(row.checked && *row.checked ? QStringLiteral("✓ ") + text : text);
    button->setIcon(MenuIcons::icon(row.icon));
    button->setEnabled(row.enabled);
    handlers_[row.id] = row.action;
    if (const auto menu = menuRows_.find(row.id); menu != menuRows_.end()) {
        menu->second->show(row.children);
    }
}

void ControlWindow::closeEvent(QCloseEvent* event) {
    if (trayPresent_ || !confirmQuit) {
        event->accept();
        return;
    }
    event->ignore();
    if (confirmQuit() && quit) {
        quit();
    }
}

void ControlWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (onShownChanged) {
        onShownChanged(true);
    }
}

void ControlWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (onShownChanged) {
        onShownChanged(false);
    }
}

} // namespace ambrel
