#include "StatusMenu.h"

#include "StatusPresentation.h"
#include "app/SessionsFolder.h"
#include "app/desktop/DefaultFolders.h"
#include "core/MicrophoneChoice.h"
#include "locale/L10n.h"

#include <algorithm>
#include <cmath>

namespace ambrel {

namespace {

using Status = TranscriptionStatus;

MenuRow separator(std::string id) {
    MenuRow row;
    row.kind = MenuRow::Kind::separator;
    row.id = std::move(id);
    return row;
}

MenuRow item(std::string id, std::string title, std::string icon, std::function<void()> action,
             bool enabled = true) {
    MenuRow row;
    row.id = std::move(id);
    row.title = std::move(title);
    row.icon = std::move(icon);
    row.action = std::move(action);
    row.enabled = enabled;
    return row;
}

MenuRow submenu(std::string id, std::string title, std::string icon,
                std::vector<MenuRow> children) {
    MenuRow row;
    row.kind = MenuRow::Kind::submenu;
    row.id = std::move(id);
    row.title = std::move(title);
    row.icon = std::move(icon);
    row.children = std::move(children);
    return row;
}

std::string dotColor(const Status& status) {
    if (status.is<Status::Preparing>()) {
        return "yellow";
    }
    if (status.is<Status::Failed>()) {
        return "red";
    }
    if (status.is<Status::Listening>()) {
        return status.lastSaveError ? "red" : "green";
    }
    if (status.is<Status::Paused>()) {
        return "orange";
    }
    return "grey";
}

std::string toggle(const std::string& symbol, bool on) {
    return (on ? "toggle-on:" : "toggle-off:") + symbol;
}

std::vector<MenuRow> microphoneRows(const StatusMenuState& state,
                                    const StatusMenuHandlers& handlers) {
    const auto& options = state.options;
    const auto choice = [&](std::string id, std::string title, std::optional<std::string> subtitle,
                            std::optional<core::MicrophoneSelection> selection) {
        MenuRow row = item(std::move(id), title, "", nullptr);
        row.subtitle = std::move(subtitle);
        row.group = "microphone";
        row.checked = selection ? options.microphone && options.microphoneDevice == *selection
                                : !options.microphone;
        row.action = [handlers, options, selection, title] {
            SpeechOptions changed = options;
            if (selection) {
                if (!selection->isAutomatic() && handlers.rememberMicrophoneName) {
                    handlers.rememberMicrophoneName(title);
                }
                changed.microphone = true;
                changed.microphoneDevice = *selection;
            } else {
                changed.microphone = false;
            }
            handlers.setOptions(changed);
        };
        return row;
    };

    std::vector<MenuRow> rows;
    rows.push_back(choice("mic.automatic", L10n::text(Texts::menuMicAutomatic),
                          L10n::text(Texts::menuMicAutomaticHint),
                          core::MicrophoneSelection::automatic()));
    rows.push_back(separator("mic.sep1"));
    for (const auto& device : state.devices) {
        rows.push_back(choice("mic.device:" + device.uid, device.name, std::nullopt,
                              core::MicrophoneSelection::device(device.uid)));
    }
    const auto& uid = options.microphoneDevice.uid();
    if (uid && std::none_of(state.devices.begin(), state.devices.end(),
                            [&](const auto& device) { return device.uid == *uid; })) {
        MenuRow missing = item(
            "mic.missing",
            state.microphoneDeviceName.value_or(*uid) + " · " +
                L10n::text(Texts::menuMicNotConnected),
            "", [] {}, false);
        missing.checked = options.microphone;
        missing.group = "microphone";
        rows.push_back(std::move(missing));
    }
    rows.push_back(separator("mic.sep2"));
    rows.push_back(choice("mic.off", L10n::text(Texts::menuOff), std::nullopt, std::nullopt));
    // Takes effect at once, also during a run; it only matters while system audio plays too.
    rows.push_back(separator("mic.sep3"));
    MenuRow echo = item(
        "mic.cancelEcho", L10n::text(Texts::menuMicCancelEcho), "",
        [handlers, options] {
            SpeechOptions changed = options;
            changed.echoCancellation = !options.echoCancellation;
            handlers.setOptions(changed);
        },
        options.microphone);
    echo.checked = options.echoCancellation;
    rows.push_back(std::move(echo));
    return rows;
}

std::vector<MenuRow> overlayRows(const StatusMenuState& state, const StatusMenuHandlers& handlers) {
    std::vector<MenuRow> rows;
    MenuRow show = item("overlay.show", L10n::text(Texts::menuOverlayShow), "",
                        [handlers, on = state.showOverlay] { handlers.setOverlay(!on); });
    show.checked = state.showOverlay;
    rows.push_back(std::move(show));
    rows.push_back(separator("overlay.sep1"));
    if (handlers.showOverlayStyle) {
        rows.push_back(item("overlay.style", L10n::text(Texts::menuOverlayStyle), "",
                            handlers.showOverlayStyle));
        rows.push_back(separator("overlay.sep2"));
    }
    const bool styled =
        AppSettings::isOverlayStyled(state.overlayTransparency, state.overlayContrast);
    if (handlers.restoreOverlayStyle) {
        rows.push_back(item("overlay.restoreStyle", L10n::text(Texts::menuOverlayRestoreStyle), "",
                            handlers.restoreOverlayStyle, styled));
    }
    if (handlers.restoreOverlayFrame) {
        rows.push_back(item("overlay.restoreFrame", L10n::text(Texts::menuOverlayRestoreFrame), "",
                            handlers.restoreOverlayFrame));
    }
    return rows;
}

std::vector<MenuRow> interfaceLanguageRows(const StatusMenuState& state,
                                           const StatusMenuHandlers& handlers) {
    std::vector<MenuRow> rows;
    MenuRow system = item("lang.system", L10n::text(Texts::menuSystemDefault), "",
                          [handlers] { handlers.setInterfaceLanguage(std::nullopt); });
    system.checked = !state.interfaceLanguage;
    system.group = "interfaceLanguage";
    rows.push_back(std::move(system));
    rows.push_back(separator("lang.sep"));
    for (const auto& code : L10n::supportedLanguages()) {
        MenuRow language = item("lang." + code, L10n::nativeName(code), "",
                                [handlers, code] { handlers.setInterfaceLanguage(code); });
        language.checked = state.interfaceLanguage == code;
        language.group = "interfaceLanguage";
        rows.push_back(std::move(language));
    }
    return rows;
}

std::vector<MenuRow> settingsRows(const StatusMenuState& state,
                                  const StatusMenuHandlers& handlers) {
    std::vector<MenuRow> rows;
    if (handlers.showSetup) {
        rows.push_back(item("setup", L10n::text(Texts::menuSetup), "", handlers.showSetup));
        rows.push_back(separator("settings.sep1"));
    }
    MenuRow login = item("launchAtLogin", L10n::text(Texts::menuLaunchAtLogin), "",
                         handlers.toggleLaunchAtLogin);
    login.checked = state.launchAtLogin;
    rows.push_back(std::move(login));
    rows.push_back(separator("settings.sep2"));
    MenuRow reveal =
        item("revealFolder", L10n::text(Texts::menuRevealFolder), "", handlers.revealFolder);
    if (state.folder) {
        reveal.subtitle = SessionsFolder::displayPath(*state.folder);
    }
    rows.push_back(std::move(reveal));
    rows.push_back(
        item("changeFolder", L10n::text(Texts::menuChangeStorage), "", handlers.changeFolder));
    rows.push_back(separator("settings.sep3"));
    rows.push_back(submenu("interfaceLanguage", L10n::text(Texts::menuInterfaceLanguage), "",
                           interfaceLanguageRows(state, handlers)));
    rows.push_back(
        submenu("permissions", L10n::text(Texts::menuPermissions), "",
                {item("permissions.systemAudio", L10n::text(Texts::menuPermissionsSystemAudio), "",
                      handlers.openSystemAudioSettings),
                 item("permissions.microphone", L10n::text(Texts::menuPermissionsMicrophone), "",
                      handlers.openMicrophoneSettings)}));
    rows.push_back(separator("settings.sep4"));
    if (state.hasUpdater) {
        rows.push_back(item("checkForUpdates", L10n::text(Texts::menuCheckForUpdates), "",
                            handlers.checkForUpdates, state.canCheckForUpdates));
    }
    rows.push_back(item("about", L10n::text(Texts::menuAbout), "", handlers.showAbout));
    return rows;
}

} // namespace

std::string MenuRow::text() const {
    return subtitle ? title + " — " + *subtitle : title;
}

std::string StatusMenu::microphoneSubtitle(const StatusMenuState& state) {
    const auto& options = state.options;
    if (!options.microphone) {
        return L10n::text(Texts::menuOff);
    }
    std::string name;
    if (state.status.microphoneDevice) {
        name = *state.status.microphoneDevice;
    } else if (const auto chosen =
                   core::MicrophoneChoice::choose(options.microphoneDevice, state.devices)) {
        name = chosen->name;
    } else {
        name = L10n::text(Texts::menuMicNotConnected);
    }
    return options.microphoneDevice.isAutomatic()
               ? L10n::text(Texts::menuMicAutomatic) + " · " + name
               : name;
}

std::vector<MenuRow> StatusMenu::build(const StatusMenuState& state,
                                       const StatusMenuHandlers& handlers) {
    const auto& status = state.status;
    const StatusPresentation presentation(status, state.now);
    const bool running = status.isRunning();
    std::vector<MenuRow> rows;

    if (!status.is<Status::Idle>()) {
        MenuRow line = item("status", presentation.text, "dot:" + dotColor(status), nullptr, false);
        line.kind = MenuRow::Kind::label;
        rows.push_back(std::move(line));
    }
    if (presentation.detail) {
        MenuRow detail = item("detail", *presentation.detail, "symbol:warning", nullptr, false);
        detail.kind = MenuRow::Kind::label;
        rows.push_back(std::move(detail));
    }
    if (!rows.empty()) {
        rows.push_back(separator("sep.status"));
    }
    rows.push_back(item("startStop", L10n::text(running ? Texts::menuStop : Texts::menuStart),
                        running ? "red:stop-circle" : "red:record-circle",
                        [handlers, running] { handlers.setTranscriptionOn(!running); }));
    if (running) {
        const bool paused = status.is<Status::Paused>();
        rows.push_back(item(
            "pauseResume", L10n::text(paused ? Texts::menuResume : Texts::menuPause),
            paused ? "symbol:play-circle" : "symbol:pause-circle",
            [handlers, paused] { handlers.setPaused(!paused); },
            status.is<Status::Listening>() || paused));
    }
    rows.push_back(separator("sep.run"));
    if (handlers.showHistory) {
        MenuRow history = item("history", L10n::text(Texts::menuShowHistory),
                               "symbol:document-text", handlers.showHistory);
        if (status.currentSessionID) {
            history.subtitle = L10n::text(Texts::historyRecordingBadge) + " · " +
                               L10n::lineCount(status.currentLineCount);
        }
        rows.push_back(std::move(history));
        rows.push_back(separator("sep.history"));
    }

    const auto& options = state.options;
    MenuRow systemAudio =
        item("systemAudio", L10n::text(Texts::menuSystemAudio),
             toggle(options.systemAudio ? "speaker-on" : "speaker-off", options.systemAudio),
             [handlers, options] {
                 SpeechOptions changed = options;
                 changed.systemAudio = !options.systemAudio;
                 handlers.setOptions(changed);
             });
    systemAudio.subtitle = L10n::text(options.systemAudio ? Texts::menuOn : Texts::menuOff);
    rows.push_back(std::move(systemAudio));

    MenuRow microphone =
        submenu("microphone", L10n::text(Texts::menuMicrophone),
                toggle(options.microphone ? "microphone-on" : "microphone-off", options.microphone),
                microphoneRows(state, handlers));
    microphone.subtitle = StatusMenu::microphoneSubtitle(state);
    rows.push_back(std::move(microphone));

    if (handlers.setOverlay) {
        MenuRow overlay =
            submenu("overlay", L10n::text(Texts::menuOverlay),
                    toggle("floating-window", state.showOverlay), overlayRows(state, handlers));
        overlay.subtitle = L10n::text(state.showOverlay ? Texts::menuOn : Texts::menuOff);
        rows.push_back(std::move(overlay));
    }
    rows.push_back(separator("sep.sources"));
    if (handlers.showLanguages) {
        rows.push_back(item("languages", L10n::text(Texts::menuSpeechRecognitionWindow),
                            "symbol:globe", handlers.showLanguages));
    }
    rows.push_back(submenu("settings", L10n::text(Texts::menuSettings), "symbol:gear",
                           settingsRows(state, handlers)));
    rows.push_back(separator("sep.settings"));
    if (state.hasUpdater && state.offer) {
        const auto& offer = *state.offer;
        if (offer.progress) {
            auto row = item("update",
                            L10n::format(Texts::updateDownloading,
                                         {offer.version, L10n::percent(*offer.progress)}),
                            "symbol:download-circle", handlers.installUpdate);
            row.enabled = false;
            rows.push_back(std::move(row));
        } else {
            rows.push_back(item("update",
                                L10n::format(offer.readyToInstall ? Texts::menuRestartToInstall
                                                                  : Texts::menuUpdateTo,
                                             {offer.version}),
                                "symbol:download-circle", handlers.installUpdate));
        }
        rows.push_back(separator("sep.update"));
    }
    auto quit = item("quit", L10n::text(Texts::menuQuit), "symbol:power", handlers.quit);
    quit.shortcut = "Ctrl+Q";
    rows.push_back(std::move(quit));
    return rows;
}

} // namespace ambrel
