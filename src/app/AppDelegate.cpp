#include "AppDelegate.h"

#include "BuildInfo.h"
#include "app/captions/TranscriptionOverlayController.h"
#include "app/desktop/DefaultFolders.h"
#include "app/desktop/DesktopServices.h"
#include "app/desktop/EventLoopWatch.h"
#include "app/desktop/ModalAlert.h"
#include "app/desktop/OwnExecutable.h"
#include "app/desktop/QtSettingsStore.h"
#include "app/desktop/RelaunchArguments.h"
#include "app/desktop/SpeechServices.h"
#include "app/desktop/TitledWindows.h"
#include "app/desktop/UiText.h"
#include "app/desktop/UnixSignalNotifier.h"
#include "app/history/HistoryModel.h"
#include "app/history/HistoryWindow.h"
#include "app/languages/LanguageWindowController.h"
#include "app/setup/WelcomePanel.h"
#include "app/tray/ControlWindow.h"
#include "app/tray/InputDeviceCache.h"
#include "app/update/AppcastUpdater.h"
#include "audio/AudioHardware.h"
#include "audio/Permissions.h"
#include "audio/SystemAudioSource.h"
#include "core/Log.h"
#include "core/XdgFolders.h"
#include "locale/L10n.h"
#include "speech/engine/SpeechEngine.h"
#include "speech/engine/SpeechEngineServices.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <unistd.h>

namespace ambrel {

namespace {

constexpr double predecessorTimeout = 10.0;

} // namespace

AppDelegate::AppDelegate(std::vector<std::string> arguments)
    : arguments_(std::move(arguments))
    , store_(std::make_shared<QtSettingsStore>())
    , settings_(store_)
    , folder_(settings_) {
    L10n::configure(store_);
}

AppDelegate::~AppDelegate() {
    if (statusItem_) {
        statusItem_->setUpdater(nullptr);
    }
    updater_.reset();
    welcome_.reset();
    languages_.reset();
    control_.reset();
    statusItem_.reset();
    overlay_.reset();
    historyWindow_.reset();
    history_.reset();
}

std::optional<int> AppDelegate::launch() {
    const auto predecessor = RelaunchArguments::relaunchedAfter(arguments_);
    if (SingleInstance::handOff(predecessor)) {
        return 0;
    }
    if (!predecessor) {
        start();
        return std::nullopt;
    }
    // Started by relaunch(): the old instance still has to quit.
    const double deadline = scheduler_.monotonic() + predecessorTimeout;
    waitForPredecessor_.setInterval(100);
    QObject::connect(&waitForPredecessor_, &QTimer::timeout, &waitForPredecessor_,
                     [this, pid = *predecessor, deadline] {
                         const bool running = RelaunchArguments::isRunning(pid);
                         if (running && scheduler_.monotonic() < deadline) {
                             return;
                         }
                         waitForPredecessor_.stop();
                         if (running && SingleInstance::handOff()) {
                             QCoreApplication::exit(0);
                             return;
                         }
                         start();
                     });
    waitForPredecessor_.start();
    return std::nullopt;
}

void AppDelegate::quit() {
    // Unlike QApplication::quit(), exit() asks no window whether it may close: the setup panel
    // and the control window refuse a close from the window manager, and must not keep the
    // app alive. Nested loops (a modal alert) end too; aboutToQuit closes the session.
    QCoreApplication::exit(0);
}

void AppDelegate::exitSoon(int status) {
    // start() may run before the event loop does, and exit() is lost on a loop not yet running.
    QTimer::singleShot(0, qApp, [status] { QApplication::exit(status); });
}

void AppDelegate::start() {
    switch (instance_.claim([this] { secondLaunch(); })) {
    case SingleInstance::Claim::claimed:
        break;
    case SingleInstance::Claim::handedOff:
        exitSoon(0);
        return;
    case SingleInstance::Claim::busy:
        core::Log::transcript().error("Another Ambrel is running but does not answer");
        exitSoon(1);
        return;
    case SingleInstance::Claim::failed:
        core::Log::transcript().error("Cannot listen for other instances; starting anyway");
        break;
    }

    loopWatch_ = std::make_unique<EventLoopWatch>();
    // The window thread reads the sound server's devices and routes from memory from now on;
    // a change refreshes the device list the menus show.
    AudioHardware::keepCurrent([this, alive = std::weak_ptr<bool>(alive_)] {
        auto* application = QCoreApplication::instance();
        if (application == nullptr) {
            return;
        }
        QMetaObject::invokeMethod(application, [this, alive] {
            if (alive.lock() && devices_) {
                devices_->refresh();
            }
        });
    });
    const auto folder = folder_.restore().value_or(DefaultFolders::transcripts());
    model_ = SpeechServices::model(store_);
    engine_ = SpeechEngine::create(folder, settings_.speechOptions(), scheduler_,
                                   SpeechServices::engine(scheduler_, model_, store_,
                                                          /*awaitServer=*/true));

    history_ = std::make_unique<HistoryModel>(
        folder,
        [engine = std::weak_ptr<SpeechEngine>(engine_)]() -> std::optional<core::SessionRecord> {
            const auto running = engine.lock();
            return running ? running->session() : std::nullopt;
        },
        scheduler_, DesktopServices::forHistory(settings_));

    overlay_ = std::make_unique<TranscriptionOverlayController>(settings_, scheduler_, [this] {
        settings_.setFlag(AppSettings::Keys::showOverlay, false);
        updateOverlayVisibility();
    });

    StatusItemController::Actions actions;
    actions.showHistory = [this] { showHistory(); };
    actions.setOverlay = [this](bool on) {
        settings_.setFlag(AppSettings::Keys::showOverlay, on);
        updateOverlayVisibility();
    };
    actions.overlayStyleChanged = [this] { overlay_->styleChanged(); };
    actions.showOverlayStyle = [this] { overlay_->showStyleEditor(); };
    actions.restoreOverlayFrame = [this] { overlay_->restoreDefaultFrame(); };
    actions.ensureSessionsDirectory = [this] { return ensureSessionsDirectory(); };
    actions.changeSessionsDirectory = [this](const std::filesystem::path& folder) {
        changeSessionsDirectory(folder);
    };
    actions.setTranscriptionOn = [this](bool on) { setTranscriptionOn(on); };
    actions.setOptions = [this](const SpeechOptions& options) { setOptions(options); };
    actions.setInterfaceLanguage = [this](const std::optional<std::string>& language) {
        setInterfaceLanguage(language);
    };
    actions.showSetup = [this] { showWelcome(); };
    actions.showLanguages = [this] { showLanguages(); };
    actions.quit = [] { quit(); };
    languages_ = std::make_unique<LanguageWindowController>(
        [this](bool automatic, const std::vector<std::string>& chosen) {
            auto options = settings_.speechOptions();
            options.automaticLanguages = automatic;
            options.chosenLanguages = chosen;
            setOptions(options);
        },
        [this] { reloadLanguageCatalog(true); });
    devices_ = std::make_unique<InputDeviceCache>(scheduler_,
                                                  [] { return AudioHardware::inputDevices(); });
    statusItem_ = std::make_unique<StatusItemController>(engine_, settings_, folder_, scheduler_,
                                                         std::move(actions),
                                                         [this] { return devices_->devices(); });
    devices_->onChange = [this] { statusItem_->refresh(); };
    devices_->refresh();
    statusItem_->onMenuOpening = [this] { devices_->refresh(); };
    statusItem_->onTrayChanged = [this](bool hasIcon) { trayChanged(hasIcon); };
    statusItem_->onRows = [this](const std::vector<MenuRow>& rows) {
        if (control_) {
            control_->setRows(rows);
        }
    };
    statusItem_->start();

    engine_->onStatusChange = [this](const TranscriptionStatus& status) {
        statusItem_->update(status);
        history_->updateLiveSessionID(status.currentSessionID);
        updateOverlayVisibility();
        const bool listening = status.is<TranscriptionStatus::Listening>();
        if (listening && !wasListening_) {
            reloadLanguageCatalog(); // models may have been installed
        }
        wasListening_ = listening;
    };
    engine_->onSessionUpdated = [this](const core::SessionRecord& record) {
        history_->liveSessionDidUpdate(record);
    };
    engine_->onLiveText = [this](const LiveTranscriptText& text) { overlay_->update(text); };

    // SIGTERM and SIGINT end the app the normal way, which closes the session.
    signals_ = std::make_unique<UnixSignalNotifier>(std::initializer_list<int>{SIGTERM, SIGINT},
                                                    [](int) { quit(); });
    reloadLanguageCatalog();

    const bool reopenedByUpdate = AppcastUpdater::reopenedByQuietUpdate(*store_, appVersion);
    startUpdater();
    if (!folder_.current()) {
        if (!folder_.wasChosen() && !reopenedByUpdate) {
            showWelcome(); // the first run
        }
        return;
    }
    if (settings_.flag(AppSettings::Keys::transcriptionOn)) {
        setTranscriptionOn(true);
    }
}

void AppDelegate::willTerminate() {
    if (engine_) {
        engine_->shutdown();
    }
}

void AppDelegate::secondLaunch() {
    // Without a tray the control window is what the user looks for.
    if (statusItem_ && statusItem_->trayKind() && !statusItem_->hasTrayIcon()) {
        showControlWindow();
        return;
    }
    showHistory();
}

void AppDelegate::trayChanged(bool hasIcon) {
    if (control_) {
        control_->setTrayPresent(hasIcon);
    }
    // Ambrel never runs with nothing of it on screen.
    if (!hasIcon) {
        showControlWindow();
    }
}

void AppDelegate::showControlWindow() {
    if (!control_) {
        control_ = std::make_unique<ControlWindow>();
        control_->quit = [] { quit(); };
        control_->confirmQuit = [window = control_.get()] {
            QMessageBox question(QMessageBox::Question, uiText(Texts::controlQuitTitle),
                                 uiText(Texts::controlQuitTitle), QMessageBox::NoButton, window);
            question.setInformativeText(uiText(Texts::controlQuitDetail));
            QPushButton* quitButton =
                question.addButton(uiText(Texts::menuQuit), QMessageBox::AcceptRole);
            question.addButton(uiText(Texts::alertCancel), QMessageBox::RejectRole);
            question.setDefaultButton(quitButton);
            question.exec();
            return question.clickedButton() == quitButton;
        };
        control_->onShownChanged = [this](bool shown) { statusItem_->setRowsShown(shown); };
        control_->afterAction = [this] { statusItem_->refresh(); };
        control_->setTrayPresent(statusItem_->hasTrayIcon());
        control_->setRows(statusItem_->rows());
        // Where trays usually are: the top right of the work area.
        control_->adjustSize();
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            control_->move(area.right() - control_->frameGeometry().width() - 24, area.top() + 24);
        }
    }
    control_->show();
    control_->raise();
    control_->activateWindow();
}

void AppDelegate::showHistory() {
    if (!history_) {
        return;
    }
    if (!historyWindow_) {
        historyWindow_ = std::make_unique<HistoryWindow>(*history_, settings_);
    }
    historyWindow_->open();
}

void AppDelegate::setTranscriptionOn(bool on) {
    if (on && !ensureSessionsDirectory()) {
        settings_.setFlag(AppSettings::Keys::transcriptionOn, false);
        return;
    }
    settings_.setFlag(AppSettings::Keys::transcriptionOn, on);
    if (on) {
        engine_->startListening();
    } else {
        engine_->stopListening();
    }
}

bool AppDelegate::ensureSessionsDirectory() {
    if (folder_.current()) {
        return true;
    }
    auto folder = folder_.restore();
    if (!folder) {
        folder = folder_.chooseFirst();
    }
    if (!folder) {
        return false;
    }
    changeSessionsDirectory(*folder);
    return true;
}

void AppDelegate::changeSessionsDirectory(const std::filesystem::path& folder) {
    engine_->setSessionsDirectory(folder);
    history_->setDirectory(folder);
    refreshWelcome();
}

void AppDelegate::setOptions(const SpeechOptions& options) {
    // No prompt guards the microphone here: the engine learns at its start whether it may record.
    settings_.setSpeechOptions(options);
    engine_->setOptions(options);
    updateOverlayVisibility();
    refreshWelcome();
}

void AppDelegate::setInterfaceLanguage(const std::optional<std::string>& language) {
    if (language == L10n::preference()) {
        return;
    }
    const std::string before = L10n::language();
    L10n::setPreference(language);
    statusItem_->applyStatus();
    if (historyWindow_) {
        historyWindow_->retranslate();
    }
    overlay_->reloadContent();
    languages_->retranslate();
    refreshWelcome();
    engine_->interfaceLanguageChanged();
    reloadLanguageCatalog();
    if (L10n::language() == before) {
        return;
    }
    QMessageBox question(QMessageBox::Question, QStringLiteral("Ambrel"),
                         uiText(Texts::alertRestartTitle));
    QPushButton* now = question.addButton(uiText(Texts::alertRestartNow), QMessageBox::AcceptRole);
    question.addButton(uiText(Texts::alertLater), QMessageBox::RejectRole);
    question.setDefaultButton(now);
    question.exec();
    if (question.clickedButton() == now) {
        relaunch();
    }
}

void AppDelegate::relaunch() {
    if (updater_ && updater_->offer() &&
        updater_->offer()->kind == UpdateOffer::Kind::readyToInstall) {
        updater_->installUpdate(); // starts the new version itself
        return;
    }
    relaunchInto(OwnExecutable::launcher());
}

void AppDelegate::relaunchInto(const std::filesystem::path& executable) {
    QProcess process;
    process.setProgram(QString::fromStdString(executable.string()));
    process.setArguments({QString::fromUtf8(RelaunchArguments::flag), QString::number(::getpid())});
    if (!process.startDetached()) {
        ModalAlert::show(L10n::text(Texts::alertRestartTitle), process.errorString().toStdString(),
                         ModalAlert::Style::warning);
    }
    quit();
}

bool AppDelegate::isIdle() const {
    if (!engine_) {
        return false;
    }
    // The history and languages windows have title bars; the setup panel is frameless.
    return !engine_->status().isRunning() && !(statusItem_ && statusItem_->isMenuOpen()) &&
           QApplication::activeModalWidget() == nullptr && !TitledWindows::anyShown() &&
           !(welcome_ && welcome_->isShown());
}

void AppDelegate::startUpdater() {
    if (std::string_view(updateFeed).empty() || std::string_view(updateKey).empty()) {
        return; // a build that knows of no releases
    }
    AppcastUpdater::Configuration configuration;
    configuration.feed = updateFeed;
    configuration.publicKey = updateKey;
    configuration.currentVersion = appVersion;
    configuration.location =
        InstallLocation::detect(OwnExecutable::running(), OwnExecutable::appImage());
    configuration.downloads = core::XdgFolders::cacheHome() / "Ambrel" / "updates";
    configuration.settings = store_;
    configuration.isIdle = [this] { return isIdle(); };
    configuration.relaunch = [this](const std::filesystem::path& executable) {
        relaunchInto(executable);
    };
    configuration.openPage = [](const std::string& url) {
        QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
    };
    configuration.onUpToDate = [] {
        ModalAlert::show(L10n::format(Texts::updateUpToDate, {std::string(appVersion)}), "",
                         ModalAlert::Style::informational);
    };
    configuration.onCheckFailed = [](const std::string& reason) {
        ModalAlert::show(L10n::format(Texts::updateCheckFailed, {reason}), "",
                         ModalAlert::Style::warning);
    };
    updater_ = std::make_unique<AppcastUpdater>(std::move(configuration), scheduler_);
    statusItem_->setUpdater(updater_.get());
    updater_->start();
}

void AppDelegate::showWelcome() {
    if (!welcome_) {
        WelcomeModel::Actions actions;
        actions.chooseFolder = [this] {
            if (!folder_.current()) {
                ensureSessionsDirectory();
            } else if (const auto chosen = folder_.choose()) {
                changeSessionsDirectory(*chosen);
            }
            refreshWelcome();
        };
        actions.turnOnMicrophone = [this] {
            auto options = settings_.speechOptions();
            options.microphone = true;
            setOptions(options);
            statusItem_->applyStatus();
        };
        actions.setInterfaceLanguage = [this](const std::optional<std::string>& language) {
            setInterfaceLanguage(language);
        };
        actions.showSpeechRecognition = [this] { showLanguages(); };
        WelcomeModel::Services services;
        services.checkPermissions = [this] {
            return Permissions::check(settings_.flag(AppSettings::Keys::systemAudioAsked));
        };
        services.makeSystemAudioProbe = [store = store_]() -> std::shared_ptr<AudioSource> {
            return std::make_shared<SystemAudioSource>(
                [store] { store->setValue(AppSettings::Keys::systemAudioAsked, true); });
        };
        services.folder = [this] { return folder_.current(); };
        services.options = [this] { return settings_.speechOptions(); };
        services.systemAudioAsked = [this] {
            return settings_.flag(AppSettings::Keys::systemAudioAsked);
        };
        services.markSystemAudioAsked = [store = store_] {
            store->setValue(AppSettings::Keys::systemAudioAsked, true);
        };
        services.post = [this](std::function<void()> work) { scheduler_.post(std::move(work)); };
        welcome_ =
            std::make_unique<WelcomePanel>(std::move(actions), std::move(services), scheduler_);
    }
    showWelcomePanel(0);
}

void AppDelegate::showWelcomePanel(int attempt) {
    // The tray is known a moment after start, and an XEmbed tray places its icon a moment after
    // it appears: wait for both, briefly.
    constexpr int attempts = 10;
    const auto kind = statusItem_->trayKind();
    const auto icon = statusItem_->iconGeometry();
    const bool waitForTray = !kind || (*kind == TrayHost::Kind::xembed && !icon);
    if (waitForTray && attempt < attempts) {
        welcomeRetry_ = scheduler_.after(0.2, [this, attempt] { showWelcomePanel(attempt + 1); });
        return;
    }
    welcomeRetry_.reset();
    if (kind == TrayHost::Kind::none) {
        // No icon to hang from: from the window that stands in for it.
        showControlWindow();
        const QRect frame = control_->frameGeometry();
        welcome_->show(QRect(frame.center().x() - 12, frame.bottom(), 24, 1));
        return;
    }
    // Hosts on D-Bus tell where the icon is only once it was clicked; else the panel hangs from
    // the corner where trays sit.
    welcome_->show(icon);
}

void AppDelegate::showLanguages() {
    languages_->show(engine_->options(), catalog_);
}

void AppDelegate::refreshWelcome() {
    if (welcome_) {
        welcome_->model().refresh();
    }
}

void AppDelegate::updateOverlayVisibility() {
    const auto& status = engine_->status();
    overlay_->setVisible(settings_.flag(AppSettings::Keys::showOverlay) && status.isRunning());
}

void AppDelegate::reloadLanguageCatalog(bool fetchNow) {
    background_.async([model = model_, &scheduler = scheduler_, this, fetchNow] {
        auto catalog = model->catalog(fetchNow);
        scheduler.post([this, catalog = std::move(catalog)] {
            catalog_ = catalog;
            if (languages_) {
                languages_->setCatalog(catalog_);
            }
        });
    });
}

} // namespace ambrel
