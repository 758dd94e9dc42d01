#pragma once

#include "Appcast.h"
#include "UpdateSignature.h"
#include "Updater.h"
#include "app/AppSettings.h"
#include "app/desktop/InstallLocation.h"
#include "core/Scheduler.h"
#include "core/SerialQueue.h"
#include "core/SettingsStore.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ambrel {

// Checks the release feed now and then, downloads a newer release for this kind of install,
// checks its length and signature, and installs it once the app is idle (or when asked), then
// starts the new version. Installs it cannot replace get an offer that opens the release page.
class AppcastUpdater : public Updater {
public:
    struct Configuration {
        std::string feed;
        std::string publicKey; // base64 Ed25519
        std::string currentVersion;
        InstallLocation location;
        std::filesystem::path downloads; // where downloads wait for their installation
        std::shared_ptr<core::SettingsStore> settings;
        std::function<bool()> isIdle;
        // Starts the installed executable and ends this process.
        std::function<void(const std::filesystem::path& executable)> relaunch;
        std::function<void(const std::string& url)> openPage;
        // Runs network and file work in order, off the main thread. Empty: a worker of its own.
        std::function<void(std::function<void()>)> background;
        // A check the user asked for found nothing newer, or failed (with the reason).
        std::function<void()> onUpToDate;
        std::function<void(const std::string& reason)> onCheckFailed;
    };

    static constexpr double firstCheckDelay = 60.0;
    static constexpr double checkInterval = 24 * 3600.0;
    static constexpr double idleCheckInterval = 60.0;
    static constexpr std::uint64_t maximumDownload = UpdateSignature::maximumSize;
    static constexpr std::string_view quietTargetKey = AppSettings::Keys::quietUpdateTargetBuild;
    // A build a quiet installation did not bring up: not installed quietly again, lest a release
    // that misnames its version restart the app every minute.
    static constexpr std::string_view failedTargetKey = AppSettings::Keys::quietUpdateFailedBuild;

    AppcastUpdater(Configuration configuration, core::Scheduler& scheduler);
    ~AppcastUpdater() override;

    // Starts the scheduled checks.
    void start();

    std::optional<UpdateOffer> offer() const override { return offer_; }
    bool checksOnDemand() const override { return true; }
    bool canCheckForUpdates() const override { return !checking_ && !downloading_; }
    void checkForUpdates() override;
    void installUpdate() override;
    std::optional<double> downloadProgress() const override { return progress_; }

    // Whether this launch is the one a quiet installation started; answers once.
    static bool reopenedByQuietUpdate(core::SettingsStore& settings,
                                      const std::string& currentVersion);

private:
    void check(bool userInitiated);
    void found(const Appcast::Item& item, const Appcast::Download& download);
    // An open file that closes with its last holder: the checked download, kept open from the
    // check to the installation so that what is installed is what was checked.
    using OpenFile = std::shared_ptr<const int>;
    static OpenFile openForReading(const std::filesystem::path& file);

    void prepared(const Appcast::Item& item, const std::filesystem::path& file, OpenFile open);
    void setProgress(std::optional<double> progress);
    void installWhenIdle();
    void idleCheck();
    void install();
    void setOffer(std::optional<UpdateOffer> offer);
    void post(std::function<void(AppcastUpdater&)> work);
    void onWorker(std::function<void()> work);

    Configuration configuration_;
    core::Scheduler& scheduler_;
    std::unique_ptr<core::SerialQueue> worker_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::optional<UpdateOffer> offer_;
    std::optional<Appcast::Item> available_;
    std::optional<std::filesystem::path> readyFile_;
    OpenFile readyOpen_;
    std::optional<std::string> readyBuild_;
    bool checking_ = false;
    bool downloading_ = false;
    bool installWhenReady_ = false; // the user asked for it while it downloaded
    std::optional<double> progress_;
    core::Scheduler::TimerHandle checkTimer_;
    core::Scheduler::TimerHandle idleTimer_;
};

} // namespace ambrel
