#include "QMenuRows.h"

#include "app/desktop/MenuIcons.h"
#include "app/desktop/UiText.h"

#include <QActionGroup>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QScreen>

namespace ambrel {

namespace {

// Menu texts treat "&" as a mnemonic mark.
QString menuText(const std::string& text) {
    return qt(text).replace(QStringLiteral("&"), QStringLiteral("&&"));
}

// What decides whether the menu can be updated in place: ids, kinds and checkability.
void collectShape(const std::vector<MenuRow>& rows, std::vector<std::string>& shape) {
    for (const auto& row : rows) {
        shape.push_back(row.id + (row.kind == MenuRow::Kind::separator ? "" : "|") +
                        (row.checked ? "c" : "") + (row.group.empty() ? "" : "g"));
        collectShape(row.children, shape);
    }
}

} // namespace

QMenuRows::QMenuRows(QMenu& menu) : menu_(menu) {
    menu_.setToolTipsVisible(true);
}

QMenuRows::~QMenuRows() = default;

QAction* QMenuRows::action(const std::string& rowID) const {
    const auto found = actions_.find(rowID);
    return found == actions_.end() ? nullptr : found->second;
}

void QMenuRows::show(const std::vector<MenuRow>& rows) {
    std::vector<std::string> shape;
    collectShape(rows, shape);
    if (shape != shape_) {
        rebuild(rows);
        shape_ = std::move(shape);
    } else {
        std::function<void(const std::vector<MenuRow>&)> apply = [&](const auto& list) {
            for (const auto& row : list) {
                if (const auto found = actions_.find(row.id); found != actions_.end()) {
                    setRow(*found->second, row);
                }
                apply(row.children);
            }
        };
        apply(rows);
    }
    keepOnScreen(menu_);
    for (const auto& submenu : submenus_) {
        keepOnScreen(*submenu);
    }
}

void QMenuRows::keepOnScreen(QMenu& menu) {
    if (!menu.isVisible()) {
        return;
    }
    // A longer status line widens the menu to the right, past the screen's edge.
    menu.adjustSize();
    const QScreen* screen = menu.screen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->availableGeometry();
    QRect frame = menu.geometry();
    if (frame.right() > area.right()) {
        frame.moveRight(area.right());
    }
    if (frame.bottom() > area.bottom()) {
        frame.moveBottom(area.bottom());
    }
    frame.moveLeft(std::max(frame.left(), area.left()));
    frame.moveTop(std::max(frame.top(), area.top()));
    if (frame.topLeft() != menu.pos()) {
        menu.move(frame.topLeft());
    }
}

void QMenuRows::setRow(QAction& action, const MenuRow& row) {
    action.setText(menuText(row.text()));
    // Icons come from a cache; setting an equal one again would lay the menu out again.
    if (const QIcon icon = MenuIcons::icon(row.icon); action.icon().cacheKey() != icon.cacheKey()) {
        action.setIcon(icon);
    }
    action.setIconVisibleInMenu(true);
    action.setCheckable(row.checked.has_value());
    if (row.checked) {
        action.setChecked(*row.checked);
    }
    action.setEnabled(row.enabled);
    actions_[row.id] = &action;
    handlers_[row.id] = row.action;
}

void QMenuRows::fill(QMenu& menu, const std::vector<MenuRow>& rows) {
    std::map<std::string, QActionGroup*> groups;
    for (const auto& row : rows) {
        switch (row.kind) {
        case MenuRow::Kind::separator:
            menu.addSeparator();
            break;
        case MenuRow::Kind::submenu: {
            auto submenu = std::make_unique<QMenu>();
            submenu->setToolTipsVisible(true);
            fill(*submenu, row.children);
            QAction* action = menu.addMenu(submenu.get());
            setRow(*action, row);
            submenus_.push_back(std::move(submenu));
            break;
        }
        case MenuRow::Kind::label:
        case MenuRow::Kind::action: {
            QAction* action = menu.addAction(QString());
            if (!row.group.empty()) {
                auto& group = groups[row.group];
                if (group == nullptr) {
                    group = new QActionGroup(&menu);
                    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
                }
                group->addAction(action);
            }
            setRow(*action, row);
            if (!row.shortcut.empty()) {
                action->setShortcut(QKeySequence(QString::fromStdString(row.shortcut)));
            }
            QObject::connect(action, &QAction::triggered, &menu, [this, id = row.id] {
                // The handler of the rows shown now, which may have changed since the build.
                const auto handler = handlers_.find(id);
                if (handler != handlers_.end() && handler->second) {
                    const auto run = handler->second;
                    run();
                    if (afterAction) {
                        afterAction();
                    }
                }
            });
            break;
        }
        }
    }
}

void QMenuRows::rebuild(const std::vector<MenuRow>& rows) {
    // An action may be rebuilt away while its own signal runs: delete them later.
    for (QAction* action : menu_.actions()) {
        menu_.removeAction(action);
        if (action->parent() == &menu_) {
            action->deleteLater();
        }
    }
    actions_.clear();
    handlers_.clear();
    // The old submenus may still be on their way out; Qt deletes them later.
    for (auto& submenu : submenus_) {
        submenu.release()->deleteLater();
    }
    submenus_.clear();
    fill(menu_, rows);
}

} // namespace ambrel
