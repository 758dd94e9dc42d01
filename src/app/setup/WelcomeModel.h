#pragma once

#include "audio/AudioSource.h"
#include "audio/Permissions.h"
#include "core/SerialQueue.h"
#include "speech/SpeechOptions.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ambrel {

// The setup checklist: a transcripts folder, permission to record what the computer plays and
// the microphone, then the interface and recognition languages. Re-checked while shown, so that
// a permission given elsewhere shows up by itself.
class WelcomeModel {
public:
    enum class Step { todo, done, denied, checking, unknown };

    struct Actions {
        std::function<void()> chooseFolder;
        std::function<void()> turnOnMicrophone;
        std::function<void(const std::optional<std::string>&)> setInterfaceLanguage;
        std::function<void()> showSpeechRecognition;
    };

    // What the model asks of the app and the system; tests script these.
    struct Services {
        // Runs the slow permission check (the helper) away from the main thread. Empty: a worker
        // of the model's own.
        std::function<void(std::function<void()>)> background;
        std::function<Permissions::Current()> checkPermissions;
        // A capture of what the computer plays, started once to make the system ask.
        std::function<std::shared_ptr<AudioSource>()> makeSystemAudioProbe;
        // Runs the probe's starts and stops in order, away from the main thread. Empty: a serial
        // worker of the model's own.
        std::function<void(std::function<void()>)> probeWork;
        std::function<std::optional<std::filesystem::path>()> folder;
        std::function<SpeechOptions()> options;
        std::function<bool()> systemAudioAsked;
        std::function<void()> markSystemAudioAsked;
        // Runs work on the main thread.
        std::function<void(std::function<void()>)> post;
    };

    WelcomeModel(Actions actions, Services services);
    ~WelcomeModel();
    WelcomeModel(const WelcomeModel&) = delete;
    WelcomeModel& operator=(const WelcomeModel&) = delete;

    // Told after any field changed.
    std::function<void()> onChange;
    // Closes the panel (set by the panel).
    std::function<void()> close;

    const std::optional<std::string>& interfaceLanguage() const { return interfaceLanguage_; }
    const std::string& recognitionLanguages() const { return recognitionLanguages_; }
    const std::optional<std::string>& folder() const { return folder_; }
    Step systemAudio() const { return systemAudio_; }
    Step microphone() const { return microphone_; }
    const Actions& actions() const { return actions_; }
    bool isComplete() const;

    // Reads the settings again and checks the permissions (one check at a time).
    void refresh();
    void askForSystemAudio();
    void stopAskingForSystemAudio();
    void turnOnMicrophone();

private:
    // The language and folder rows, from the settings.
    void showSettings();
    void apply(const Permissions::Current& current);
    template <typename T>
    void set(T& field, T value);
    void inBackground(std::function<void()> work);
    void onProbeQueue(std::function<void()> work);

    Actions actions_;
    Services services_;
    std::unique_ptr<core::SerialQueue> probeQueue_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::optional<std::string> interfaceLanguage_;
    std::string recognitionLanguages_;
    std::optional<std::string> folder_;
    Step systemAudio_ = Step::checking;
    Step microphone_ = Step::todo;
    bool checking_ = false;
    std::shared_ptr<AudioSource> systemAudioProbe_;
    bool askingForSystemAudio_ = false;
};

} // namespace ambrel
