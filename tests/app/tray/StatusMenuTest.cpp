#include "app/tray/StatusMenu.h"

#include "core/SettingsStore.h"
#include "locale/L10n.h"

#include <gtest/gtest.h>

using namespace ambrel;
using Status = TranscriptionStatus;
using Strings = std::vector<std::string>;

namespace {

constexpr core::Instant now = 1741939500.0;

// Row ids with their texts, as a person reads the menu.
Strings texts(const std::vector<MenuRow>& rows) {
    Strings result;
    for (const auto& row : rows) {
        result.push_back(row.kind == MenuRow::Kind::separator ? "---" : row.text());
    }
    return result;
}

const MenuRow& find(const std::vector<MenuRow>& rows, const std::string& id) {
    for (const auto& row : rows) {
        if (row.id == id) {
            return row;
        }
        for (const auto& child : row.children) {
            if (child.id == id) {
                return child;
            }
        }
        for (const auto& child : row.children) {
            for (const auto& grandchild : child.children) {
                if (grandchild.id == id) {
                    return grandchild;
                }
            }
        }
    }
    throw std::runtime_error("no row " + id);
}

bool has(const std::vector<MenuRow>& rows, const std::string& id) {
    try {
        find(rows, id);
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

core::InputDeviceInfo device(std::string uid, std::string name) {
    core::InputDeviceInfo info;
    info.uid = std::move(uid);
    info.name = std::move(name);
    return info;
}

class StatusMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"en"});
        state.now = now;
        handlers.setTranscriptionOn = [this](bool on) { calls.push_back(on ? "on" : "off"); };
        handlers.setPaused = [this](bool paused) { calls.push_back(paused ? "pause" : "resume"); };
        handlers.setOptions = [this](const SpeechOptions& options) { chosen = options; };
        handlers.rememberMicrophoneName = [this](const std::string& name) {
            calls.push_back("remember " + name);
        };
        handlers.quit = [this] { calls.push_back("quit"); };
    }

    StatusMenuState state;
    StatusMenuHandlers handlers;
    Strings calls;
    std::optional<SpeechOptions> chosen;
};

} // namespace

TEST_F(StatusMenuTest, TheTopRowsFollowTheState) {
    {
        SCOPED_TRACE("off");
        const auto rows = StatusMenu::build(state, handlers);
        EXPECT_EQ(texts(rows), (Strings{"Start Transcription", "---", "System Audio — On",
                                        "Microphone — Off", "---", "Settings", "---", "Quit"}));
        EXPECT_EQ(rows[0].icon, "red:record-circle");
        rows[0].action();
    }
    {
        SCOPED_TRACE("preparing");
        state.status.state = Status::Preparing{};
        const auto rows = StatusMenu::build(state, handlers);
        EXPECT_EQ(texts(rows)[0], "Starting transcription…");
        EXPECT_EQ(rows[0].icon, "dot:yellow");
        EXPECT_FALSE(rows[0].enabled);
        EXPECT_EQ(find(rows, "startStop").title, "Stop Transcription");
        EXPECT_EQ(find(rows, "pauseResume").title, "Pause");
        EXPECT_FALSE(find(rows, "pauseResume").enabled);
        find(rows, "startStop").action();
    }
    {
        SCOPED_TRACE("failed");
        state.status.state = Status::Failed{RunProblem::of(RunProblem::Kind::noAudioSource)};
        const auto rows = StatusMenu::build(state, handlers);
        EXPECT_EQ(texts(rows)[0], "Transcription failed: Turn on system audio or the microphone");
        EXPECT_EQ(rows[0].icon, "dot:red");
        EXPECT_EQ(find(rows, "startStop").title, "Start Transcription");
        EXPECT_FALSE(has(rows, "pauseResume"));
    }
    {
        SCOPED_TRACE("listening with a warning and a session");
        state.status.state = Status::Listening{};
        state.status.warnings = {
            RunProblem::sourceFailed(core::SpeechSource::microphone, "Access denied")};
        state.status.currentSessionID = "2025-03-14 08-05-00";
        state.status.currentSessionStartedAt = now - 65;
        state.status.currentLineCount = 3;
        handlers.showHistory = [] {};
        const auto rows = StatusMenu::build(state, handlers);
        EXPECT_EQ(texts(rows)[0], "Listening · 3 lines · 1:05");
        EXPECT_EQ(rows[0].icon, "dot:green");
        EXPECT_EQ(texts(rows)[1], "Microphone failed: Access denied");
        EXPECT_EQ(rows[1].icon, "symbol:warning");
        EXPECT_EQ(find(rows, "history").text(), "Open Transcripts — Recording · 3 lines");
        EXPECT_TRUE(find(rows, "pauseResume").enabled);
        find(rows, "pauseResume").action();
        state.status.lastSaveError = "Disk full";
        EXPECT_EQ(StatusMenu::build(state, handlers)[0].icon, "dot:red");
    }
    {
        SCOPED_TRACE("paused");
        state.status.state = Status::Paused{};
        const auto rows = StatusMenu::build(state, handlers);
        EXPECT_EQ(rows[0].icon, "dot:orange");
        EXPECT_EQ(find(rows, "pauseResume").title, "Resume");
        find(rows, "pauseResume").action();
    }
    EXPECT_EQ(calls, (Strings{"on", "off", "pause", "resume"}));
}

TEST_F(StatusMenuTest, SourceRowsShowAndChangeTheOptions) {
    state.devices = {device("usb:mic", "USB Microphone"), device("builtin", "Built-in Mic")};
    auto rows = StatusMenu::build(state, handlers);
    EXPECT_EQ(find(rows, "systemAudio").icon, "toggle-on:speaker-on");
    find(rows, "systemAudio").action();
    ASSERT_TRUE(chosen);
    EXPECT_FALSE(chosen->systemAudio);

    // The microphone submenu: automatic, the devices, off, and the echo switch, which means
    // nothing while the microphone is off.
    EXPECT_EQ(texts(find(rows, "microphone").children),
              (Strings{"Automatic — Follows the active microphone", "---", "USB Microphone",
                       "Built-in Mic", "---", "Off", "---", "Cancel Speaker Echo"}));
    EXPECT_EQ(find(rows, "mic.off").checked, true);
    EXPECT_EQ(find(rows, "mic.cancelEcho").checked, true);
    EXPECT_FALSE(find(rows, "mic.cancelEcho").enabled);
    EXPECT_EQ(find(rows, "mic.automatic").checked, false);
    find(rows, "mic.device:builtin").action();
    EXPECT_TRUE(chosen->microphone);
    EXPECT_EQ(chosen->microphoneDevice, core::MicrophoneSelection::device("builtin"));
    EXPECT_EQ(calls, Strings{"remember Built-in Mic"});

    // Automatic with nothing plugged in.
    state.options.microphone = true;
    state.devices.clear();
    rows = StatusMenu::build(state, handlers);
    ASSERT_TRUE(find(rows, "mic.cancelEcho").enabled);
    find(rows, "mic.cancelEcho").action();
    EXPECT_FALSE(chosen->echoCancellation);
    EXPECT_TRUE(chosen->microphone) << "only the echo switch changes";
    EXPECT_EQ(find(rows, "microphone").text(), "Microphone — Automatic · not connected");
    EXPECT_EQ(find(rows, "microphone").icon, "toggle-on:microphone-on");
    state.status.microphoneDevice = "Headset";
    EXPECT_EQ(StatusMenu::microphoneSubtitle(state), "Automatic · Headset");

    // A chosen microphone that was unplugged.
    state.status.microphoneDevice.reset();
    state.options.microphoneDevice = core::MicrophoneSelection::device("usb:gone");
    state.microphoneDeviceName = "Podcast Mic";
    state.devices = {device("builtin", "Built-in Mic")};
    rows = StatusMenu::build(state, handlers);
    const auto& missing = find(rows, "mic.missing");
    EXPECT_EQ(missing.title, "Podcast Mic · not connected");
    EXPECT_EQ(missing.checked, true);
    EXPECT_FALSE(missing.enabled);
    EXPECT_EQ(texts(find(rows, "microphone").children),
              (Strings{"Automatic — Follows the active microphone", "---", "Built-in Mic",
                       "Podcast Mic · not connected", "---", "Off", "---", "Cancel Speaker Echo"}));
    EXPECT_EQ(find(rows, "microphone").subtitle, "Built-in Mic");
    find(rows, "mic.off").action();
    EXPECT_FALSE(chosen->microphone);
    EXPECT_EQ(chosen->microphoneDevice, core::MicrophoneSelection::device("usb:gone"));
}

TEST_F(StatusMenuTest, OptionalRowsAppearWithWhatTheyNeed) {
    auto rows = StatusMenu::build(state, handlers);
    EXPECT_FALSE(has(rows, "update"));
    EXPECT_FALSE(has(rows, "overlay"));
    EXPECT_FALSE(has(rows, "checkForUpdates"));

    state.hasUpdater = true;
    state.offer = StatusMenuState::UpdateOffer{false, "1.2", 0.455};
    handlers.setOverlay = [](bool) {};
    handlers.restoreOverlayStyle = [] {};
    state.overlayTransparency = 0.3;
    state.folder = std::filesystem::path("/elsewhere/Meetings");
    rows = StatusMenu::build(state, handlers);
    EXPECT_EQ(find(rows, "update").title, "Downloading 1.2… 46%");
    EXPECT_FALSE(find(rows, "update").enabled);
    state.offer->progress.reset();
    rows = StatusMenu::build(state, handlers);
    const auto all = texts(rows);
    EXPECT_EQ(find(rows, "update").title, "Update to 1.2…");
    EXPECT_TRUE(find(rows, "update").enabled);
    EXPECT_EQ(all[all.size() - 3], "Update to 1.2…");
    EXPECT_EQ(all[all.size() - 2], "---");
    EXPECT_EQ(all.back(), "Quit");
    state.offer->readyToInstall = true;
    EXPECT_EQ(find(StatusMenu::build(state, handlers), "update").title, "Restart to Install 1.2");

    EXPECT_EQ(find(rows, "overlay").text(), "Floating Window — Off");
    EXPECT_TRUE(find(rows, "overlay.restoreStyle").enabled);
    EXPECT_EQ(find(rows, "revealFolder").text(), "Show Transcripts Folder — /elsewhere/Meetings");
    state.overlayTransparency = 0.1;
    EXPECT_FALSE(find(StatusMenu::build(state, handlers), "overlay.restoreStyle").enabled);

    // The interface languages in their own names, the system's choice first.
    const auto& languages = find(rows, "interfaceLanguage").children;
    EXPECT_EQ(languages[0].text(), "System Default");
    EXPECT_EQ(languages[0].checked, true);
    EXPECT_EQ(find(rows, "lang.de").title, "Deutsch");
    EXPECT_EQ(find(rows, "lang.ja").title, "日本語");
    EXPECT_EQ(languages.size(), 13u);
}
