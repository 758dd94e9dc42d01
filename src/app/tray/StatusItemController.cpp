#include "StatusItemController.h"

#include "BuildInfo.h"
#include "MenuBarIconPainter.h"
#include "QMenuRows.h"
#include "StatusNotifierTray.h"
#include "StatusPresentation.h"
#include "app/SessionsFolder.h"
#include "app/desktop/LaunchAtLogin.h"
#include "app/desktop/ModalAlert.h"
#include "app/desktop/OwnExecutable.h"
#include "app/desktop/PrivacySettings.h"
#include "app/desktop/UiText.h"
#include "app/update/Updater.h"
#include "core/FileAccess.h"
#include "locale/L10n.h"
#include "speech/engine/SpeechEngine.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

#include <filesystem>

namespace ambrel {

namespace {

// The icons installed beside the program (share/icons next to bin/), for hosts that look
// them up by name; empty when there are none.
QString iconThemePath() {
    const QDir share(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/icons"));
    const QString icon = QStringLiteral("hicolor/scalable/status/%1.svg")
                             .arg(MenuBarIconPainter::iconName(MenuBarIcon::State::idle));
    return share.exists(icon) ? QDir::cleanPath(share.absolutePath()) : QString();
}

// The colour the XEmbed tray paints behind the icon: a strip just beside it, else the
// desktop's own window colour.
QColor panelColour(const QSystemTrayIcon* icon) {
    const QColor fallback = QApplication::palette().color(QPalette::Window);
    const QRect place = icon != nullptr ? icon->geometry() : QRect();
    QScreen* screen = place.isValid() ? QGuiApplication::screenAt(place.center()) : nullptr;
    if (screen == nullptr) {
        return fallback;
    }
    const QRect beside =
        QRect(place.left() - 2, place.top(), 1, place.height()).intersected(screen->geometry());
    if (beside.isEmpty()) {
        return fallback;
    }
    const QImage strip = screen
                             ->grabWindow(0, beside.x() - screen->geometry().x(),
                                          beside.y() - screen->geometry().y(), 1, beside.height())
                             .toImage();
    if (strip.isNull() || strip.height() == 0) {
        return fallback;
    }
    double red = 0, green = 0, blue = 0;
    for (int y = 0; y < strip.height(); ++y) {
        const QColor pixel = strip.pixelColor(0, y);
        red += pixel.redF();
        green += pixel.greenF();
        blue += pixel.blueF();
    }
    const double count = strip.height();
    return QColor::fromRgbF(static_cast<float>(red / count), static_cast<float>(green / count),
                            static_cast<float>(blue / count));
}

} // namespace

StatusItemController::Desktop StatusItemController::standardDesktop() {
    auto bus = QDBusConnection::sessionBus();
    return Desktop{TrayHost::standardProbes(bus), bus};
}

StatusItemController::StatusItemController(std::shared_ptr<SpeechEngine> engine,
                                           AppSettings settings, SessionsFolder& folder,
                                           core::Scheduler& scheduler, Actions actions,
                                           DeviceList devices, Desktop desktop)
    : engine_(std::move(engine))
    , settings_(std::move(settings))
    , folder_(folder)
    , scheduler_(scheduler)
    , actions_(std::move(actions))
    , devices_(std::move(devices))
    , bus_(desktop.bus)
    , status_(engine_->status())
    , menu_(std::make_unique<QMenu>())
    , menuRows_(std::make_unique<QMenuRows>(*menu_)) {
    menuRows_->afterAction = [this] { refresh(); };
    // The first showing of a menu sets up its window, style and fonts: done while idle, so
    // that the first click on the icon does not wait for it.
    QTimer::singleShot(0, menu_.get(), [this] {
        menuRows_->show(rows());
        menu_->ensurePolished();
        menu_->adjustSize();
    });
    QObject::connect(menu_.get(), &QMenu::aboutToShow, menu_.get(), [this] {
        ownMenuOpen_ = true;
        if (onMenuOpening) {
            onMenuOpening();
        }
        refresh();
        updateClock();
    });
    QObject::connect(menu_.get(), &QMenu::aboutToHide, menu_.get(), [this] {
        ownMenuOpen_ = false;
        updateClock();
    });
    trayHost_ = std::make_unique<TrayHost>(scheduler_, std::move(desktop.probes), bus_);
    trayHost_->onChange = [this](TrayHost::Kind kind) { setTrayKind(kind); };
}

StatusItemController::~StatusItemController() {
    trayHost_.reset();
    clock_.reset();
    exportedMenuQuiet_.reset();
    if (xembed_) {
        xembed_->hide();
    }
}

void StatusItemController::setTrayKind(TrayHost::Kind kind) {
    const bool hadIcon = hasTrayIcon();
    const bool first = !trayKind_;
    trayKind_ = kind;
    // A host that went away takes its icon along; a new one gets a fresh icon.
    xembed_.reset();
    statusNotifier_.reset();
    exportedMenuClosed();
    if (kind == TrayHost::Kind::xembed) {
        xembed_ = std::make_unique<QSystemTrayIcon>();
        xembed_->setContextMenu(menu_.get());
        // Trays that only report clicks get the menu on a click as well.
        QObject::connect(xembed_.get(), &QSystemTrayIcon::activated, menu_.get(),
                         [this](QSystemTrayIcon::ActivationReason reason) {
                             if (reason == QSystemTrayIcon::Trigger ||
                                 reason == QSystemTrayIcon::MiddleClick) {
                                 popUp();
                             }
                         });
    } else if (kind == TrayHost::Kind::statusNotifier) {
        statusNotifier_ = std::make_unique<StatusNotifierTray>(bus_);
        statusNotifier_->item().setThemePath(iconThemePath());
        // Hosts that pass clicks on get the same rows in the app's menu, at the icon.
        statusNotifier_->item().onActivate = [this](QPoint where) {
            popUp(where.isNull() ? std::nullopt : std::optional(where));
        };
        statusNotifier_->menu().onOpened = [this] { exportedMenuOpened(); };
        statusNotifier_->menu().onClosed = [this] { exportedMenuClosed(); };
    }
    applyStatus();
    refresh();
    if (xembed_) {
        xembed_->show();
        // The tray paints its background once the icon is in: look at it then.
        scheduler_.after(0.5, [this, icon = xembed_.get()] {
            if (xembed_.get() == icon) {
                applyStatus();
            }
        });
    }
    if ((first || hadIcon != hasTrayIcon()) && onTrayChanged) {
        onTrayChanged(hasTrayIcon());
    }
}

void StatusItemController::popUp(std::optional<QPoint> where) {
    if (menu_->isVisible()) {
        return;
    }
    // At the icon when the host told where it is, else at the pointer, on its screen.
    menu_->popup(where.value_or(QCursor::pos()));
}

std::optional<QRect> StatusItemController::iconGeometry() const {
    if (xembed_) {
        const QRect place = xembed_->geometry();
        if (place.isValid() && !place.isEmpty() && place.topLeft() != QPoint(0, 0)) {
            return place;
        }
    }
    if (statusNotifier_) {
        if (const auto& click = statusNotifier_->item().lastClick()) {
            return QRect(*click - QPoint(12, 12), QSize(24, 24));
        }
    }
    return std::nullopt;
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

void StatusItemController::applyStatus() {
    const StatusPresentation presentation(status_, scheduler_.now());
    QString tooltip = qt(presentation.text);
    if (presentation.detail) {
        tooltip += QStringLiteral("\n") + qt(*presentation.detail);
    }
    if (xembed_) {
        const auto tone = MenuBarIconPainter::toneFor(panelColour(xembed_.get()));
        xembed_->setIcon(MenuBarIconPainter::icon(presentation.icon, tone));
        xembed_->setToolTip(QStringLiteral("Ambrel\n") + tooltip);
    }
    if (statusNotifier_) {
        // Hosts recolour the named symbolic icon for their panel; those that draw the pixels
        // get a glyph that reads on any panel, since the app cannot see theirs.
        statusNotifier_->item().setIcon(
            MenuBarIconPainter::iconName(presentation.icon),
            MenuBarIconPainter::image(presentation.icon, 22, MenuBarIconPainter::Tone::either));
        statusNotifier_->item().setToolTip(QStringLiteral("Ambrel"), tooltip);
    }
}

void StatusItemController::refresh() {
    const auto built = rows();
    // The exported menu is kept true at all times: a host may show it without asking first.
    if (statusNotifier_) {
        statusNotifier_->menu().setRows(built);
    }
    if (ownMenuOpen_) {
        menuRows_->show(built);
    }
    if (rowsShown_ && onRows) {
        onRows(built);
    }
}

void StatusItemController::setRowsShown(bool shown) {
    if (shown == rowsShown_) {
        return;
    }
    rowsShown_ = shown;
    if (shown) {
        refresh();
    }
    updateClock();
}

void StatusItemController::exportedMenuOpened() {
    if (!exportedMenuOpen_) {
        exportedMenuOpen_ = true;
        if (onMenuOpening) {
            onMenuOpening();
        }
        refresh();
        updateClock();
    }
    exportedMenuQuiet_ = scheduler_.after(exportedMenuTimeout, [this] { exportedMenuClosed(); });
}

void StatusItemController::exportedMenuClosed() {
    exportedMenuQuiet_.reset();
    if (exportedMenuOpen_) {
        exportedMenuOpen_ = false;
        updateClock();
    }
}

void StatusItemController::updateClock() {
    const bool wanted = ownMenuOpen_ || exportedMenuOpen_ || rowsShown_;
    if (!wanted) {
        clock_.reset();
    } else if (!clock_) {
        // The elapsed time on the status line moves on while someone looks at it.
        clock_ = scheduler_.every(1.0, [this] { refresh(); });
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
    if (devices_) {
        state.devices = devices_();
    }
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
    try {
        core::FileAccess::createPrivateFolders(folder);
    } catch (const std::exception&) {
        // The file manager says what is wrong with the folder.
    }
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
