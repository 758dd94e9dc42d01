#pragma once

#include "StatusMenu.h"

#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QMenu;
class QVBoxLayout;

namespace ambrel {

class QMenuRows;

// Ambrel's window on desktops without a system tray: the tray menu's rows as buttons (submenus
// drop down from theirs) and a line saying why the window is there. Closed while no tray shows
// the icon, it asks whether to quit, so that Ambrel never runs with nothing of it on screen.
class ControlWindow : public QWidget {
public:
    ControlWindow();
    ~ControlWindow() override;

    void setRows(const std::vector<MenuRow>& rows);
    // A tray shows the icon: the note goes, and closing only hides the window.
    void setTrayPresent(bool present);
    bool isTrayPresent() const { return trayPresent_; }

    // Asked when the window is closed with no tray; true: quit.
    std::function<bool()> confirmQuit;
    std::function<void()> quit;
    std::function<void(bool shown)> onShownChanged;
    // A row's action ran: the rows may have changed.
    std::function<void()> afterAction;

    // The widget showing a row, for tests; null when there is none.
    QWidget* widget(const std::string& rowID) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void rebuild(const std::vector<MenuRow>& rows);
    void apply(const MenuRow& row);

    QVBoxLayout* rowsLayout_ = nullptr;
    QLabel* note_ = nullptr;
    bool trayPresent_ = false;
    std::vector<std::string> shape_;
    std::map<std::string, QWidget*> widgets_;
    // A label row's icon and text.
    std::map<std::string, std::pair<QLabel*, QLabel*>> labels_;
    std::map<std::string, std::function<void()>> handlers_;
    std::map<std::string, std::unique_ptr<QMenu>> menus_;
    std::map<std::string, std::unique_ptr<QMenuRows>> menuRows_;
};

} // namespace ambrel
