#pragma once

#include "app/AppSettings.h"
#include "core/InputDeviceInfo.h"
#include "core/Instant.h"
#include "speech/SpeechOptions.h"
#include "speech/engine/TranscriptionStatus.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ambrel {

// One row of the tray menu, as data: what it says, shows and does. The tray controller turns
// rows into menu actions, and updates them in place while the menu is open.
struct MenuRow {
    enum class Kind { action, label, separator, submenu };

    Kind kind = Kind::action;
    std::string id; // stable between rebuilds
    std::string title;
    std::optional<std::string> subtitle; // shown after the title, " — " between
    // "" none, "symbol:<name>", "red:<name>", "toggle-on:<name>", "toggle-off:<name>",
    // "dot:<green|red|yellow|orange|grey>".
    std::string icon;
    std::optional<bool> checked; // absent: not checkable
    std::string group;           // rows of one group are exclusive choices
    bool enabled = true;
    std::string shortcut; // a key sequence in portable text ("Ctrl+Q"), or none
    std::function<void()> action;
    std::vector<MenuRow> children;

    // The text of the menu item.
    std::string text() const;
};

// Everything the menu shows, read when it is built.
struct StatusMenuState {
    struct UpdateOffer {
        bool readyToInstall = false;
        std::string version;
        std::optional<double> progress; // while it downloads
    };

    TranscriptionStatus status;
    core::Instant now = 0;
    SpeechOptions options;
    bool showOverlay = false;
    double overlayTransparency = AppSettings::defaultTransparency;
    double overlayContrast = AppSettings::defaultContrast;
    std::optional<std::string> microphoneDeviceName; // stored when a device was chosen
    std::vector<core::InputDeviceInfo> devices;
    std::optional<std::filesystem::path> folder;
    bool launchAtLogin = false;
    std::optional<std::string> interfaceLanguage; // the user's choice; absent: the system's
    bool hasUpdater = false;
    bool canCheckForUpdates = false;
    std::optional<UpdateOffer> offer;
};

// What the rows do. Rows whose handler is empty are left out (their window does not exist).
struct StatusMenuHandlers {
    std::function<void(bool on)> setTranscriptionOn;
    std::function<void(bool paused)> setPaused;
    std::function<void()> showHistory;
    std::function<void(const SpeechOptions&)> setOptions;
    std::function<void(const std::string& name)> rememberMicrophoneName;
    std::function<void(bool)> setOverlay;
    std::function<void()> showOverlayStyle;
    std::function<void()> restoreOverlayStyle;
    std::function<void()> restoreOverlayFrame;
    std::function<void()> showLanguages;
    std::function<void()> showSetup;
    std::function<void()> toggleLaunchAtLogin;
    std::function<void()> revealFolder;
    std::function<void()> changeFolder;
    std::function<void(const std::optional<std::string>& code)> setInterfaceLanguage;
    std::function<void()> openSystemAudioSettings;
    std::function<void()> openMicrophoneSettings;
    std::function<void()> checkForUpdates;
    std::function<void()> installUpdate;
    std::function<void()> showAbout;
    std::function<void()> quit;
};

namespace StatusMenu {

std::vector<MenuRow> build(const StatusMenuState& state, const StatusMenuHandlers& handlers);

// The microphone row's subtitle: "Off", the device's name, or "Automatic · name".
std::string microphoneSubtitle(const StatusMenuState& state);

} // namespace StatusMenu

} // namespace ambrel
