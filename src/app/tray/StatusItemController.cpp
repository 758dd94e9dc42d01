#include "StatusItemController.h"

#include "BuildInfo.h"
#include "MenuBarIconPainter.h"
#include "StatusPresentation.h"
#include "app/SessionsFolder.h"
#include "app/desktop/LaunchAtLogin.h"
#include "app/desktop/MenuIcons.h"
#include "app/desktop/ModalAlert.h"
#include "app/desktop/OwnExecutable.h"
#include "app/desktop/PrivacySettings.h"
#include "app/desktop/UiText.h"
#include "app/update/Updater.h"
#include "audio/AudioHardware.h"
#include "locale/L10n.h"
#include "speech/engine/SpeechEngine.h"

#include <QActionGroup>
#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QKeySequence>
#include <QMenu>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QUrl>

#include <filesystem>

namespace ambrel {

namespace {

// Menu texts treat "&" as a mnemonic mark.
QString menuText(const std::string& text) {
    return qt(text).replace(QStringLiteral("&"), QStringLiteral("&&"));
}

void collectIDs(const std::vector<MenuRow>& rows, std::vector<std::string>& ids) {
    for (const auto& row : rows) {
        ids.push_back(row.id + (row.kind == MenuRow::Kind::separator ? "" : "|") +
                      (row.checked ? "c" : ""));
        collectIDs(row.children, ids);
    }
}

} // namespace

StatusItemController::StatusItemController(std::shared_ptr<SpeechEngine> engine,
                                           AppSettings settings, SessionsFolder& folder,
                                           core::Scheduler& scheduler, Actions actions,
                                           DeviceList devices)
    : engine_(std::move(engine))
    , settings_(std::move(settings))
    , folder_(folder)
    , scheduler_(scheduler)
    , actions_(std::move(actions))
    , devices_(devices ? std::move(devices)
                       : DeviceList([] { return AudioHardware::inputDevices(); }))
    , status_(engine_->status())
    , menu_(std::make_unique<QMenu>())
    , tray_(std::make_unique<QSystemTrayIcon>()) {
    menu_->setToolTipsVisible(true);
    tray_->setContextMenu(menu_.get());
    QObject::connect(menu_.get(), &QMenu::aboutToShow, menu_.get(), [this] {
        isMenuOpen_ = true;
        // The devices are asked once per opening: the server may take its time to answer, and
        // status changes while the menu is open must not wait for it again.
        openMenuDevices_ = devices_();
        rebuild();
        // The elapsed time on the status line moves on while the menu is open; only that row
        // changes with time.
        clock_ = scheduler_.every(1.0, [this] { showStatusLine(); });
    });
    QObject::connect(menu_.get(), &QMenu::aboutToHide, menu_.get(), [this] {
        isMenuOpen_ = false;
        clock_.reset();
    });
    // Trays that only report clicks get the menu on a click as well.
    QObject::connect(tray_.get(), &QSystemTrayIcon::activated, menu_.get(),
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger ||
                             reason == QSystemTrayIcon::MiddleClick) {
                             popUp();
                         }
                     });
    applyStatus();
    tray_->show();
}

StatusItemController::~StatusItemController() {
    clock_.reset();
    tray_->hide();
}

void StatusItemController::popUp() {
    if (!menu_->isVisible()) {
        menu_->popup(QCursor::pos());
    }
}

void StatusItemController::setUpdater(Updater* updater) {
    updater_ = updater;
    if (updater_) {
        updater_->onOfferChanged = [this] { refresh(); };
    }
}

void StatusItemController::update(const TranscriptionStatus& status) {
    if (status == status_) {
        return;
    }
    status_ = status;
    applyStatus();
    refresh();
}

void StatusItemController::showStatusLine() {
    if (const auto found = shownActions_.find("status"); found != shownActions_.end()) {
        found->second->setText(menuText(StatusPresentation(status_, scheduler_.now()).text));
    }
}

void StatusItemController::applyStatus() {
    const StatusPresentation presentation(status_, scheduler_.now());
    if (presentation.icon != shownIcon_) {
        shownIcon_ = presentation.icon;
        tray_->setIcon(MenuBarIconPainter::icon(presentation.icon));
    }
    QString tooltip = QStringLiteral("Ambrel\n") + qt(presentation.text);
    if (presentation.detail) {
        tooltip += QStringLiteral("\n") + qt(*presentation.detail);
    }
    tray_->setToolTip(tooltip);
    if (const auto found = shownActions_.find("status"); found != shownActions_.end()) {
        found->second->setText(menuText(presentation.text));
    }
}

StatusMenuState StatusItemController::state() const {
    StatusMenuState state;
    state.status = status_;
    state.now = scheduler_.now();
    state.options = engine_->options();
    state.showOverlay = settings_.flag(AppSettings::Keys::showOverlay);
    state.overlayTransparency = settings_.overlayTransparency();
    state.overlayContrast = settings_.overlayContrast();
    state.microphoneDeviceName = settings_.text(AppSettings::Keys::microphoneDeviceName);
    state.devices = isMenuOpen_ ? openMenuDevices_ : devices_();
    state.folder = folder_.current();
    state.launchAtLogin = LaunchAtLogin::isEnabled();
    state.interfaceLanguage = L10n::preference();
    if (updater_) {
        state.hasUpdater = true;
        state.canCheckForUpdates = updater_->canCheckForUpdates();
        if (const auto offer = updater_->offer()) {
            state.offer =
                StatusMenuState::UpdateOffer{offer->kind == UpdateOffer::Kind::readyToInstall,
                                             offer->version, updater_->downloadProgress()};
        }
    }
    return state;
}

StatusMenuHandlers StatusItemController::handlers() {
    StatusMenuHandlers handlers;
    handlers.setTranscriptionOn = actions_.setTranscriptionOn;
    handlers.setPaused = [this](bool paused) { engine_->setPaused(paused); };
    handlers.showHistory = actions_.showHistory;
    handlers.setOptions = actions_.setOptions;
    handlers.rememberMicrophoneName = [this](const std::string& name) {
        settings_.setText(AppSettings::Keys::microphoneDeviceName, name);
    };
    handlers.setOverlay = actions_.setOverlay;
    handlers.showOverlayStyle = actions_.showOverlayStyle;
    if (actions_.overlayStyleChanged) {
        handlers.restoreOverlayStyle = [this] {
            settings_.restoreOverlayStyle();
            actions_.overlayStyleChanged();
        };
    }
    handlers.restoreOverlayFrame = actions_.restoreOverlayFrame;
    handlers.showLanguages = actions_.showLanguages;
    handlers.showSetup = actions_.showSetup;
    handlers.toggleLaunchAtLogin = [this] { toggleLaunchAtLogin(); };
    handlers.revealFolder = [this] { revealFolder(); };
    handlers.changeFolder = [this] { changeFolder(); };
    handlers.setInterfaceLanguage = actions_.setInterfaceLanguage;
    handlers.openSystemAudioSettings = [] {
        PrivacySettings::open(PrivacySettings::Pane::systemAudio);
    };
    handlers.openMicrophoneSettings = [] {
        PrivacySettings::open(PrivacySettings::Pane::microphone);
    };
    handlers.showAbout = [this] { showAbout(); };
    if (updater_) {
        handlers.checkForUpdates = [this] { updater_->checkForUpdates(); };
        handlers.installUpdate = [this] { updater_->installUpdate(); };
    }
    handlers.quit = actions_.quit;
    return handlers;
}

std::vector<MenuRow> StatusItemController::rows() const {
    return StatusMenu::build(state(), const_cast<StatusItemController*>(this)->handlers());
}

void StatusItemController::setRow(QAction& action, const MenuRow& row) {
    action.setText(menuText(row.text()));
    // Icons come from a cache; setting an equal one again would re-lay the menu out.
    if (const QIcon icon = MenuIcons::icon(row.icon); action.icon().cacheKey() != icon.cacheKey()) {
        action.setIcon(icon);
    }
    action.setIconVisibleInMenu(true);
    action.setCheckable(row.checked.has_value());
    if (row.checked) {
        action.setChecked(*row.checked);
    }
    action.setEnabled(row.enabled);
    shownActions_[row.id] = &action;
    shownHandlers_[row.id] = row.action;
}

void StatusItemController::fill(QMenu& menu, const std::vector<MenuRow>& rows) {
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
            const std::string id = row.id;
            QObject::connect(action, &QAction::triggered, &menu, [this, id] {
                // The handler of the rows shown now, which may have changed since the build.
                const auto handler = shownHandlers_.find(id);
                if (handler != shownHandlers_.end() && handler->second) {
                    const auto run = handler->second;
                    run();
                    refresh();
                }
            });
            break;
        }
        }
    }
}

void StatusItemController::rebuild() {
    const auto built = rows();
    // An action may be rebuilt away while its own signal runs: delete them later.
    for (QAction* action : menu_->actions()) {
        menu_->removeAction(action);
        if (action->parent() == menu_.get()) {
            action->deleteLater();
        }
    }
    shownActions_.clear();
    shownHandlers_.clear();
    // The old submenus may still be on their way out; Qt deletes them later.
    for (auto& submenu : submenus_) {
        submenu.release()->deleteLater();
    }
    submenus_.clear();
    fill(*menu_, built);
    shownIDs_.clear();
    collectIDs(built, shownIDs_);
}

void StatusItemController::refresh() {
    if (!isMenuOpen_) {
        return;
    }
    const auto built = rows();
    std::vector<std::string> ids;
    collectIDs(built, ids);
    if (ids != shownIDs_) {
        rebuild();
        return;
    }
    std::function<void(const std::vector<MenuRow>&)> apply = [&](const auto& list) {
        for (const auto& row : list) {
            if (const auto found = shownActions_.find(row.id); found != shownActions_.end()) {
                setRow(*found->second, row);
            }
            apply(row.children);
        }
    };
    apply(built);
}

void StatusItemController::toggleLaunchAtLogin() {
    try {
        LaunchAtLogin::setEnabled(!LaunchAtLogin::isEnabled(), OwnExecutable::launcher());
    } catch (const std::exception& error) {
        ModalAlert::show(L10n::text(Texts::alertLaunchAtLoginFailed), error.what(),
                         ModalAlert::Style::warning);
    }
}

void StatusItemController::revealFolder() {
    if (!actions_.ensureSessionsDirectory || !actions_.ensureSessionsDirectory()) {
        return;
    }
    const auto folder = engine_->sessionsDirectory();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    QDesktopServices::openUrl(QUrl::fromLocalFile(qt(folder.string())));
}

void StatusItemController::changeFolder() {
    if (const auto chosen = folder_.choose(); chosen && actions_.changeSessionsDirectory) {
        actions_.changeSessionsDirectory(*chosen);
    }
}

void StatusItemController::showAbout() {
    QMessageBox::about(
        nullptr, uiText(Texts::menuAbout),
        QStringLiteral("<b>Ambrel</b> %1<br><br><small>%2</small>")
            .arg(QString::fromUtf8(appVersion), uiText(Texts::aboutCredits).toHtmlEscaped()));
}

} // namespace ambrel
