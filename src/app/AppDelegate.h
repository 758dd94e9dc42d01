#pragma once

#include "AppSettings.h"
#include "SessionsFolder.h"
#include "app/desktop/QtScheduler.h"
#include "app/desktop/SingleInstance.h"
#include "app/tray/StatusItemController.h"
#include "core/SerialQueue.h"
#include "speech/SpeechModel.h"

#include <QTimer>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ambrel {

class ControlWindow;
class HistoryModel;
class EventLoopWatch;
class InputDeviceCache;
class TranscriptionOverlayController;
class AppcastUpdater;
class LanguageWindowController;
class WelcomePanel;
class HistoryWindow;
class QtSettingsStore;
class SpeechEngine;
class UnixSignalNotifier;

// The desktop app: one instance per user, the speech engine, the tray icon and the windows,
// the user's settings restored at start, and the session closed at the end.
class AppDelegate {
public:
    explicit AppDelegate(std::vector<std::string> arguments);
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Hands off to a running instance, or waits for the one this instance replaces, then
    // starts. Returns the exit status when the process should end at once.
    std::optional<int> launch();
    // Closes the open session; the application is quitting.
    void willTerminate();

    // What the menu and the windows ask of the app.
    void setTranscriptionOn(bool on);
    bool ensureSessionsDirectory();
    void changeSessionsDirectory(const std::filesystem::path& folder);
    void setOptions(const SpeechOptions& options);
    void setInterfaceLanguage(const std::optional<std::string>& language);
    void relaunch();
    // Starts `executable` as the next instance, which waits for this one to end, and quits.
    void relaunchInto(const std::filesystem::path& executable);
    void showWelcome();
    void showLanguages();
    // Nothing is recorded and no window is open: an update may install now.
    bool isIdle() const;

    SpeechEngine* engine() const { return engine_.get(); }
    HistoryWindow* historyWindow() const { return historyWindow_.get(); }
    TranscriptionOverlayController* overlay() const { return overlay_.get(); }
    WelcomePanel* welcome() const { return welcome_.get(); }
    LanguageWindowController* languages() const { return languages_.get(); }
    StatusItemController* statusItem() const { return statusItem_.get(); }

private:
    void start();
    static void exitSoon(int status);
    // Ends the app whatever window is open; the session is closed on the way out.
    static void quit();
    // Another launch handed off to this instance.
    void secondLaunch();
    void trayChanged(bool hasIcon);
    void showControlWindow();
    void showHistory();
    // `fetchNow` tries the list of downloadable languages again at once.
    void reloadLanguageCatalog(bool fetchNow = false);
    void updateOverlayVisibility();
    void refreshWelcome();
    void showWelcomePanel(int attempt);
    void startUpdater();

    std::vector<std::string> arguments_;
    QtScheduler scheduler_;
    std::shared_ptr<QtSettingsStore> store_;
    AppSettings settings_;
    SessionsFolder folder_;
    SingleInstance instance_;
    std::unique_ptr<UnixSignalNotifier> signals_;
    std::shared_ptr<SpeechModel> model_;
    std::shared_ptr<SpeechEngine> engine_;
    std::unique_ptr<HistoryModel> history_;
    std::unique_ptr<HistoryWindow> historyWindow_;
    std::unique_ptr<TranscriptionOverlayController> overlay_;
    std::unique_ptr<InputDeviceCache> devices_;
    // Reports stalls of the window thread when asked to (a log category).
    std::unique_ptr<EventLoopWatch> loopWatch_;
    std::unique_ptr<StatusItemController> statusItem_;
    std::unique_ptr<ControlWindow> control_;
    std::unique_ptr<WelcomePanel> welcome_;
    core::Scheduler::TimerHandle welcomeRetry_;
    std::unique_ptr<LanguageWindowController> languages_;
    std::unique_ptr<AppcastUpdater> updater_;
    SpeechModel::Catalog catalog_;
    bool wasListening_ = false;
    QTimer waitForPredecessor_;
    // Catalogue questions may wait for the network.
    core::SerialQueue background_{"org.ambrel.Ambrel.catalog"};
    // Gone with the delegate: tells late calls from other threads that it is no more.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace ambrel
