#include "app/setup/WelcomeModel.h"

#include "DeferredWork.h"
#include "app/setup/WelcomeView.h"
#include "audio/AudioSourceError.h"
#include "core/VirtualScheduler.h"
#include "locale/L10n.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace ambrel;
using Step = WelcomeModel::Step;
using State = Permissions::State;

namespace {

// A capture that only counts its starts and stops.
class ProbeCapture : public AudioSource {
public:
    void start(BufferCallback, InterruptionCallback) override {
        ++starts;
        if (fails) {
            throw AudioSourceError("Couldn’t start system audio capture");
        }
    }
    void stop() override { ++stops; }
    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    std::atomic<bool> fails{false};
};

class WelcomeModelTest : public ::testing::Test {
protected:
    WelcomeModelTest() { L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"en"}); }

    std::unique_ptr<WelcomeModel> make() {
        WelcomeModel::Actions actions;
        actions.chooseFolder = [this] { ++folderChoices; };
        actions.turnOnMicrophone = [this] { ++microphoneTurnedOn; };
        actions.setInterfaceLanguage = [](const std::optional<std::string>&) {};
        actions.showSpeechRecognition = [] {};
        WelcomeModel::Services services;
        services.background = background.submitter();
        services.checkPermissions = [this] {
            ++checks;
            return permissions;
        };
        services.makeSystemAudioProbe = [this] { return probe; };
        services.probeWork = probeWork.submitter();
        services.folder = [this] { return folder; };
        services.options = [this] { return options; };
        services.systemAudioAsked = [this] { return asked; };
        services.markSystemAudioAsked = [this] { asked = true; };
        services.post = [this](std::function<void()> work) { scheduler.post(std::move(work)); };
        return std::make_unique<WelcomeModel>(std::move(actions), std::move(services));
    }
    void settle() { background.settle(scheduler); }
    // Lets the probe's worker do what it was given.
    void runProbe() {
        probeWork.settle(scheduler);
        settle();
    }

    core::VirtualScheduler scheduler;
    ambrel::testing::DeferredWork background;
    ambrel::testing::DeferredWork probeWork;
    Permissions::Current permissions{State::notAsked, State::notAsked};
    std::shared_ptr<ProbeCapture> probe = std::make_shared<ProbeCapture>();
    std::optional<std::filesystem::path> folder;
    SpeechOptions options;
    bool asked = false;
    int checks = 0;
    int folderChoices = 0;
    int microphoneTurnedOn = 0;
};

} // namespace

TEST_F(WelcomeModelTest, StepsFollowTheFolderAndThePermissions) {
    auto model = make();
    WelcomeView view(*model);
    model->onChange = [&] { view.refresh(); };
    settle();
    EXPECT_EQ(model->systemAudio(), Step::todo);
    EXPECT_EQ(model->microphone(), Step::todo);
    EXPECT_FALSE(model->isComplete());
    EXPECT_EQ(view.folderControl(), "todo:Choose…");
    EXPECT_EQ(view.systemAudioControl(), "todo:Allow…");
    EXPECT_FALSE(view.doneIsDefault());
    EXPECT_EQ(model->recognitionLanguages(), "Automatic");

    // A refresh while a check runs does not start another.
    model->refresh();
    model->refresh();
    EXPECT_EQ(background.size(), 1u);

    folder = std::filesystem::path("/srv/transcripts");
    permissions = {State::allowed, State::allowed};
    options.automaticLanguages = false;
    options.chosenLanguages = {"de-DE", "fr-FR"};
    settle();
    model->refresh();
    settle();
    EXPECT_EQ(model->folder(), "/srv/transcripts");
    EXPECT_TRUE(model->isComplete());
    EXPECT_EQ(view.folderControl(), "plain:Change…");
    EXPECT_EQ(view.systemAudioControl(), "");
    EXPECT_TRUE(view.doneIsDefault());
    EXPECT_EQ(model->recognitionLanguages(), "German and French");

    // System audio the helper cannot tell about, after it was asked for: counts as done.
    permissions = {std::nullopt, State::allowed};
    asked = true;
    model->refresh();
    settle();
    EXPECT_EQ(model->systemAudio(), Step::unknown);
    EXPECT_TRUE(model->isComplete());
    EXPECT_EQ(view.systemAudioControl(), "plain:Open Sound Settings");
    permissions = {State::denied, State::denied};
    model->refresh();
    settle();
    EXPECT_EQ(view.microphoneControl(), "todo:Open Sound Settings");
}

TEST_F(WelcomeModelTest, AskingForSystemAudioShowsProgressUntilTheProbeRuns) {
    auto model = make();
    settle();
    permissions = {State::denied, State::notAsked};
    model->askForSystemAudio();
    EXPECT_EQ(model->systemAudio(), Step::checking);
    // A check that ends meanwhile does not end the waiting.
    model->refresh();
    settle();
    EXPECT_EQ(model->systemAudio(), Step::checking);
    EXPECT_EQ(probe->starts, 0);
    runProbe();
    EXPECT_EQ(probe->starts, 1);
    EXPECT_TRUE(asked);
    settle();
    EXPECT_EQ(model->systemAudio(), Step::denied);

    // Closing the panel stops the capture.
    model->stopAskingForSystemAudio();
    runProbe();
    EXPECT_EQ(probe->stops, 2); // once before its start, once at the end

    // A probe that could not start does not keep "Allow…" from trying again.
    probe->fails = true;
    model->askForSystemAudio();
    runProbe();
    EXPECT_EQ(probe->starts, 2);
    probe->fails = false;
    model->askForSystemAudio();
    runProbe();
    EXPECT_EQ(probe->starts, 3);
    model->stopAskingForSystemAudio();
}

TEST_F(WelcomeModelTest, AllowingTheMicrophoneTurnsItOnOnce) {
    auto model = make();
    settle();
    permissions = {State::allowed, State::allowed};
    model->turnOnMicrophone();
    settle();
    EXPECT_EQ(microphoneTurnedOn, 1);
    EXPECT_EQ(model->microphone(), Step::done);
}
