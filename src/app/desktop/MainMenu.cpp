#include "MainMenu.h"

#include "UiText.h"
#include "locale/L10n.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QWidget>

namespace ambrel::MainMenu {

namespace {

constexpr const char* marker = "ambrel.mainMenu";

void add(QWidget& window, const Text& title, const QKeySequence& keys, std::function<void()> run) {
    auto* action = new QAction(uiText(title), &window);
    action->setObjectName(QString::fromUtf8(marker));
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(action, &QAction::triggered, &window, std::move(run));
    window.addAction(action);
}

// Text widgets answer these keys themselves; other focused widgets may offer the same slot.
std::function<void()> toFocus(QWidget& window, const char* slot) {
    return [&window, slot] {
        QWidget* focused = QApplication::focusWidget();
        if (focused == nullptr || focused->window() != &window) {
            focused = window.focusWidget();
        }
        if (focused != nullptr) {
            QMetaObject::invokeMethod(focused, slot);
        }
    };
}

std::function<void()> orNothing(const std::function<void()>& handler) {
    return handler ? handler : [] {};
}

} // namespace

void install(QWidget& window, const FindHandlers& find) {
    for (QAction* action : window.actions()) {
        if (action->objectName() == QString::fromUtf8(marker)) {
            window.removeAction(action);
            action->deleteLater();
        }
    }
    add(window, Texts::mainMenuUndo, QKeySequence::Undo, toFocus(window, "undo"));
    add(window, Texts::mainMenuRedo, QKeySequence::Redo, toFocus(window, "redo"));
    add(window, Texts::mainMenuCut, QKeySequence::Cut, toFocus(window, "cut"));
    add(window, Texts::mainMenuCopy, QKeySequence::Copy, toFocus(window, "copy"));
    add(window, Texts::mainMenuPaste, QKeySequence::Paste, toFocus(window, "paste"));
    add(window, Texts::mainMenuSelectAll, QKeySequence::SelectAll, toFocus(window, "selectAll"));
    add(window, Texts::mainMenuFind, QKeySequence::Find, orNothing(find.find));
    add(window, Texts::mainMenuFindNext, QKeySequence::FindNext, orNothing(find.findNext));
    add(window, Texts::mainMenuFindPrevious, QKeySequence::FindPrevious,
        orNothing(find.findPrevious));
    add(window, Texts::mainMenuUseSelectionForFind, QKeySequence(Qt::CTRL | Qt::Key_E),
        orNothing(find.useSelectionForFind));
    add(window, Texts::mainMenuMinimize, QKeySequence(Qt::CTRL | Qt::Key_M),
        [&window] { window.showMinimized(); });
    add(window, Texts::mainMenuClose, QKeySequence::Close, [&window] { window.close(); });
    // exit() asks no window first, so a window that refuses to close cannot hold the quit up.
    add(window, Texts::menuQuit, QKeySequence::Quit, [] { QCoreApplication::exit(0); });
}

} // namespace ambrel::MainMenu
