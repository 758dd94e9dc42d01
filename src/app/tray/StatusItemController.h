#pragma once

#include "MenuBarIcon.h"
#include "StatusMenu.h"
#include "TrayHost.h"
#include "app/AppSettings.h"
#include "core/InputDeviceInfo.h"
#include "core/Scheduler.h"
#include "speech/engine/TranscriptionStatus.h"

#include <QDBusConnection>
#include <QPoint>
#include <QRect>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QMenu;
class QSystemTrayIcon;

namespace ambrel {

class QMenuRows;
class SessionsFolder;
class SpeechEngine;
class StatusNotifierTray;
class Updater;

// The tray icon and its menu, on whichever tray the desktop has now: a StatusNotifier host
// (the icon and menu exported over D-Bus, drawn by the host), an XEmbed tray (a Qt tray icon
// with the app's own menu), or none, which the app is told of so that it shows a window
// instead. Every status change reaches the icon, the exported menu and whatever shows the rows;
// the once-a-second clock runs only while a menu or that window is open.
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
    // The input devices as last known; must answer at once.
    using DeviceList = std::function<std::vector<core::InputDeviceInfo>()>;

    // How the controller finds the desktop's tray; tests give their own.
    struct Desktop {
        TrayHost::Probes probes;
        QDBusConnection bus;
    };
    static Desktop standardDesktop();

    // Hosts seldom say that their menu closed: without news for this long it counts as closed.
    static constexpr double exportedMenuTimeout = 30.0;

    StatusItemController(std::shared_ptr<SpeechEngine> engine, AppSettings settings,
                         SessionsFolder& folder, core::Scheduler& scheduler, Actions actions,
                         DeviceList devices, Desktop desktop = standardDesktop());
    ~StatusItemController();
    StatusItemController(const StatusItemController&) = delete;
    StatusItemController& operator=(const StatusItemController&) = delete;

    // Takes the first look at the desktop's tray, once the callbacks below are set.
    void start() { trayHost_->start(); }
    // A new engine status: the icon, tooltip and every shown menu follow.
    void update(const TranscriptionStatus& status);
    // Draws the icon and tooltip again (after a change of interface language, say).
    void applyStatus();
    // The rows changed for a reason the controller does not see (devices, settings).
    void refresh();

    // The tray the icon is on; known once the first look at the desktop has answered.
    std::optional<TrayHost::Kind> trayKind() const { return trayKind_; }
    bool hasTrayIcon() const { return trayKind_ && *trayKind_ != TrayHost::Kind::none; }
    // Told when the icon comes or goes, and once when the first look has answered.
    std::function<void(bool hasIcon)> onTrayChanged;
    // A menu is about to show: a chance to ask for fresher devices (which then call refresh()).
    std::function<void()> onMenuOpening;

    // A window that shows the rows (the control window) is open: it gets fresh rows through
    // `onRows` and the clock runs for it.
    void setRowsShown(bool shown);
    std::function<void(const std::vector<MenuRow>&)> onRows;

    QMenu& menu() { return *menu_; }
    // The app's menu is up, or a host showed the exported one and has not been quiet for long.
    bool isMenuOpen() const { return ownMenuOpen_ || exportedMenuOpen_; }
    // The rows the menu shows now.
    std::vector<MenuRow> rows() const;
    // Shows the app's menu at `where` (screen coordinates), else at the pointer.
    void popUp(std::optional<QPoint> where = std::nullopt);
    // Where the icon is on screen, when the tray tells.
    std::optional<QRect> iconGeometry() const;
    // The updater whose offer the menu shows; none: no update rows.
    void setUpdater(Updater* updater);

    QSystemTrayIcon* xembedIcon() const { return xembed_.get(); }
    StatusNotifierTray* statusNotifier() const { return statusNotifier_.get(); }

private:
    StatusMenuState state() const;
    StatusMenuHandlers handlers();
    void setTrayKind(TrayHost::Kind kind);
    void exportedMenuOpened();
    void exportedMenuClosed();
    void updateClock();
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
    QDBusConnection bus_;
    Updater* updater_ = nullptr;
    TranscriptionStatus status_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QMenuRows> menuRows_;
    std::unique_ptr<QSystemTrayIcon> xembed_;
    std::unique_ptr<StatusNotifierTray> statusNotifier_;
    std::optional<TrayHost::Kind> trayKind_;
    core::Scheduler::TimerHandle clock_;
    core::Scheduler::TimerHandle exportedMenuQuiet_;
    bool ownMenuOpen_ = false;
    bool exportedMenuOpen_ = false;
    bool rowsShown_ = false;
    // Declared last: its first answer may come at once and reaches the members above.
    std::unique_ptr<TrayHost> trayHost_;
};

} // namespace ambrel
