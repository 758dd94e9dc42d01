#pragma once

#include "StatusMenu.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QMenu;

namespace ambrel {

// Shows menu rows in a QMenu: rebuilt when the rows change shape, else updated in place, so an
// open menu neither flickers nor loses the row under the pointer. A menu that grows while open
// is kept on its screen.
class QMenuRows {
public:
    explicit QMenuRows(QMenu& menu);
    ~QMenuRows();
    QMenuRows(const QMenuRows&) = delete;
    QMenuRows& operator=(const QMenuRows&) = delete;

    // After a row's action has run (the rows may have changed).
    std::function<void()> afterAction;

    void show(const std::vector<MenuRow>& rows);
    // The action showing a row, for tests; null when there is none.
    QAction* action(const std::string& rowID) const;

    // Moves a visible menu back inside its screen's available area.
    static void keepOnScreen(QMenu& menu);

private:
    void rebuild(const std::vector<MenuRow>& rows);
    void fill(QMenu& menu, const std::vector<MenuRow>& rows);
    void setRow(QAction& action, const MenuRow& row);

    QMenu& menu_;
    std::vector<std::string> shape_;
    std::map<std::string, QAction*> actions_;
    std::map<std::string, std::function<void()>> handlers_;
    std::vector<std::unique_ptr<QMenu>> submenus_;
};

} // namespace ambrel
