#pragma once

#include "MenuBarIcon.h"
#include "StatusMenu.h"
#include "app/AppSettings.h"
#include "core/InputDeviceInfo.h"
#include "core/Scheduler.h"
#include "speech/engine/TranscriptionStatus.h"

#include <QObject>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace ambrel {

class SessionsFolder;
class SpeechEngine;
class Updater;

// The tray icon and its menu: the icon and tooltip follow the engine's status; the menu is
// built afresh each time it opens and stays live while open.
class StatusItemController {
public:
    // What the menu asks of the app.
    struct Actions {
        std::function<void()> showHistory;
        std::function<bool()> ensureSessionsDirectory;
        std::function<void(const std::filesystem::path&)> changeSessionsDirectory;
        std::function<void(bool)> setTranscriptionOn;
        std::function<void(const SpeechOptions&)> setOptions;
        std::function<void(bool)> setOverlay;
        std::function<void()> overlayStyleChanged;
        std::function<void()> showOverlayStyle;
        std::function<void()> restoreOverlayFrame;
        std::function<void(const std::optional<std::string>&)> setInterfaceLanguage;
        std::function<void()> showLanguages;
        std::function<void()> showSetup;
        std::function<void()> quit;
    };
    using DeviceList = std::function<std::vector<core::InputDeviceInfo>()>;

    StatusItemController(std::shared_ptr<SpeechEngine> engine, AppSettings settings,
                         SessionsFolder& folder, core::Scheduler& scheduler, Actions actions,
                         DeviceList devices = {});
    ~StatusItemController();
    StatusItemController(const StatusItemController&) = delete;
    StatusItemController& operator=(const StatusItemController&) = delete;

    // A new engine status: icon, tooltip and the open menu follow.
    void update(const TranscriptionStatus& status);
    // Draws the icon and tooltip again (after a change of interface language, say).
    void applyStatus();

    QSystemTrayIcon& trayIcon() { return *tray_; }
    QMenu& menu() { return *menu_; }
    bool isMenuOpen() const { return isMenuOpen_; }
    // The rows the menu shows now.
    std::vector<MenuRow> rows() const;
    // Shows the menu where the pointer is (a click on the icon).
    void popUp();
    // The updater whose offer the menu shows; none: no update rows.
    void setUpdater(Updater* updater);

private:
    StatusMenuState state() const;
    StatusMenuHandlers handlers();
    void rebuild();
    // Only the status row's text, which shows the elapsed time.
    void showStatusLine();
    // Brings the open menu up to date, in place when its rows are the same.
    void refresh();
    void fill(QMenu& menu, const std::vector<MenuRow>& rows);
    void setRow(QAction& action, const MenuRow& row);
    void toggleLaunchAtLogin();
    void revealFolder();
    void changeFolder();
    void showAbout();

    std::shared_ptr<SpeechEngine> engine_;
    AppSettings settings_;
    SessionsFolder& folder_;
    core::Scheduler& scheduler_;
    Actions actions_;
    DeviceList devices_;
    std::vector<core::InputDeviceInfo> openMenuDevices_;
    Updater* updater_ = nullptr;
    TranscriptionStatus status_;
    std::optional<MenuBarIcon::State> shownIcon_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    core::Scheduler::TimerHandle clock_;
    bool isMenuOpen_ = false;
    // The open menu's actions and handlers by row id.
    std::vector<std::string> shownIDs_;
    std::map<std::string, QAction*> shownActions_;
    std::map<std::string, std::function<void()>> shownHandlers_;
    std::vector<std::unique_ptr<QMenu>> submenus_;
};

} // namespace ambrel
