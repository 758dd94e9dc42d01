#pragma once

#include "core/PlainTextOptions.h"
#include "core/SettingsStore.h"
#include "speech/SpeechOptions.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ambrel {

// The app's settings by name, with their types, defaults and reading rules.
class AppSettings {
public:
    // Every key the app reads or writes.
    struct Keys {
        static constexpr std::string_view transcribeSystemAudio = "transcribeSystemAudio";
        static constexpr std::string_view transcribeMicrophone = "transcribeMicrophone";
        static constexpr std::string_view microphoneDevice = "microphoneDevice";
        static constexpr std::string_view automaticLanguages = "automaticLanguages";
        static constexpr std::string_view chosenLanguages = "chosenLanguages";
        // "Cancel Speaker Echo" in the microphone's menu.
        static constexpr std::string_view cancelSpeakerEcho = "cancelSpeakerEcho";
        static constexpr std::string_view transcriptionOn = "transcriptionOn";
        static constexpr std::string_view showOverlay = "showOverlay";
        static constexpr std::string_view overlayTransparency = "overlayTransparency";
        static constexpr std::string_view overlayContrast = "overlayContrast";
        static constexpr std::string_view copyTimestamps = "copyTimestamps";
        static constexpr std::string_view copySpeakers = "copySpeakers";
        // The folder and the format of the last export from the history window.
        static constexpr std::string_view exportFolder = "exportFolder";
        static constexpr std::string_view exportFormat = "exportFormat";
        static constexpr std::string_view microphoneDeviceName = "microphoneDeviceName";
        static constexpr std::string_view systemAudioAsked = "systemAudioAsked";
        static constexpr std::string_view interfaceLanguage = "interfaceLanguage";
        // The transcripts folder's path (where other platforms keep a bookmark).
        static constexpr std::string_view sessionsFolderBookmark = "sessionsFolderBookmark";
        static constexpr std::string_view quietUpdateTargetBuild = "quietUpdateTargetBuild";
        // A build a quiet update did not bring up; not installed quietly again.
        static constexpr std::string_view quietUpdateFailedBuild = "quietUpdateFailedBuild";
    };

    static constexpr double defaultTransparency = 0.1;
    static constexpr double defaultContrast = 0.5;

    explicit AppSettings(std::shared_ptr<core::SettingsStore> store) : store_(std::move(store)) {}

    const std::shared_ptr<core::SettingsStore>& store() const { return store_; }

    SpeechOptions speechOptions() const;
    void setSpeechOptions(const SpeechOptions& options);
    core::PlainTextOptions copyOptions() const;
    // Whether the microphone's speaker echo is cancelled: on unless turned off. Also part of
    // speechOptions(); a running engine follows a change at once (SpeechEngine::setOptions).
    bool cancelSpeakerEcho() const;
    void setCancelSpeakerEcho(bool on);

    double overlayTransparency() const;
    double overlayContrast() const;
    // Whether the captions' style differs from the default one.
    static bool isOverlayStyled(double transparency, double contrast) {
        return transparency != defaultTransparency || contrast != defaultContrast;
    }
    bool isOverlayStyled() const {
        return isOverlayStyled(overlayTransparency(), overlayContrast());
    }
    void restoreOverlayStyle();
    // A stored number limited to the range; the default when nothing or no number is stored.
    double clamped(std::string_view key, double fallback, double lower, double upper) const;

    bool flag(std::string_view key) const; // false unless true is stored
    void setFlag(std::string_view key, bool value);
    std::optional<std::string> text(std::string_view key) const;
    void setText(std::string_view key, const std::string& value);
    void remove(std::string_view key);

private:
    // True unless false is stored.
    bool flagDefaultingToTrue(std::string_view key) const;

    std::shared_ptr<core::SettingsStore> store_;
};

} // namespace ambrel
