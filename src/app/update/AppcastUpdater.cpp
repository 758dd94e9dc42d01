#include "AppcastUpdater.h"

#include "UpdateInstaller.h"
#include "UpdateSignature.h"
#include "core/AppVersion.h"
#include "core/FileAccess.h"
#include "core/Log.h"
#include "speech/HttpClient.h"

#include <fmt/format.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace ambrel {

namespace fs = std::filesystem;

namespace {

void refuse(const std::string& what, const std::string& reason) {
    core::Log::transcript().error(fmt::format("Update refused: {}: {}", what, reason));
}

// The download for this kind of install, by the end of its address.
std::optional<Appcast::Download> downloadFor(const Appcast::Item& item,
                                             const InstallLocation& location) {
    const std::string suffix = location.downloadSuffix();
    for (const auto& download : item.downloads) {
        auto path = download.url.substr(0, download.url.find_first_of("?#"));
        if (!suffix.empty() && path.size() >= suffix.size() &&
            std::equal(suffix.rbegin(), suffix.rend(), path.rbegin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            })) {
            return download;
        }
    }
    return std::nullopt;
}

// "1.4" and "1.4.0" are one version; texts that are no version only equal themselves.
bool sameVersion(const std::string& a, const std::string& b) {
    const auto first = core::AppVersion::parse(a);
    const auto second = core::AppVersion::parse(b);
    return first && second ? *first == *second : a == b;
}

bool isWebAddress(const std::string& url) {
    return url.rfind("https://", 0) == 0 || url.rfind("http://", 0) == 0;
}

} // namespace

AppcastUpdater::AppcastUpdater(Configuration configuration, core::Scheduler& scheduler)
    : configuration_(std::move(configuration))
    , scheduler_(scheduler) {
    if (!configuration_.background) {
        worker_ = std::make_unique<core::SerialQueue>("org.ambrel.Ambrel.updates");
        configuration_.background = [queue = worker_.get()](std::function<void()> work) {
            queue->async(std::move(work));
        };
    }
}

AppcastUpdater::~AppcastUpdater() {
    alive_.reset();
}

void AppcastUpdater::post(std::function<void(AppcastUpdater&)> work) {
    scheduler_.post([alive = std::weak_ptr<bool>(alive_), this, work = std::move(work)] {
        if (alive.lock()) {
            work(*this);
        }
    });
}

void AppcastUpdater::onWorker(std::function<void()> work) {
    configuration_.background(std::move(work));
}

void AppcastUpdater::setOffer(std::optional<UpdateOffer> offer) {
    if (offer != offer_) {
        offer_ = std::move(offer);
        if (onOfferChanged) {
            onOfferChanged();
        }
    }
}

void AppcastUpdater::start() {
    checkTimer_ = scheduler_.after(firstCheckDelay, [this] {
        check(false);
        checkTimer_ = scheduler_.every(checkInterval, [this] { check(false); });
    });
}

void AppcastUpdater::checkForUpdates() {
    check(true);
}

void AppcastUpdater::check(bool userInitiated) {
    if (checking_ || downloading_) {
        return;
    }
    checking_ = true;
    // With an update waiting, only a still newer one is of interest; it takes the waiting one's
    // place.
    const std::string baseline = readyBuild_.value_or(configuration_.currentVersion);
    const auto current = core::AppVersion::parse(baseline);
    onWorker([this, feed = configuration_.feed, current, baseline, userInitiated,
              location = configuration_.location, &scheduler = scheduler_,
              alive = std::weak_ptr<bool>(alive_)] {
        std::optional<Appcast::Item> newest;
        std::optional<Appcast::Download> download;
        std::optional<std::string> failure;
        try {
            const auto appcast =
                Appcast::parse(HttpClient().fetch(feed, Appcast::maximumBytes, 20));
            newest = current ? appcast.newest(*current) : std::nullopt;
            if (newest) {
                download = downloadFor(*newest, location);
            }
        } catch (const std::exception& error) {
            failure = error.what();
        }
        scheduler.post([this, alive, newest, download, failure, userInitiated, baseline] {
            if (!alive.lock()) {
                return;
            }
            checking_ = false;
            if (failure) {
                refuse("the release feed", *failure);
                if (userInitiated && configuration_.onCheckFailed) {
                    configuration_.onCheckFailed(*failure);
                }
                return;
            }
            if (!newest) {
                core::Log::transcript().info(
                    fmt::format("No release newer than {} in the update feed", baseline));
                // With an update waiting, the menu already offers it.
                if (userInitiated && !readyFile_ && configuration_.onUpToDate) {
                    configuration_.onUpToDate();
                }
                return;
            }
            available_ = newest;
            if (!readyFile_) {
                setOffer(UpdateOffer{UpdateOffer::Kind::available, newest->shortVersion});
            }
            if (download && configuration_.location.canUpdate()) {
                found(*newest, *download);
            }
        });
    });
}

void AppcastUpdater::setProgress(std::optional<double> progress) {
    if (progress != progress_) {
        progress_ = progress;
        if (onOfferChanged) {
            onOfferChanged();
        }
    }
}

void AppcastUpdater::found(const Appcast::Item& item, const Appcast::Download& download) {
    if (downloading_) {
        return;
    }
    if (download.length > maximumDownload) {
        installWhenReady_ = false;
        refuse(download.url,
               fmt::format("{} bytes is more than a release can be", download.length));
        return;
    }
    downloading_ = true;
    // A newer release replacing a waiting one downloads without a show: the menu offers the
    // waiting one until then.
    const bool quiet = readyFile_.has_value();
    if (!quiet) {
        setProgress(0.0);
    }
    // Named from the parsed version, never from the feed's text.
    const auto version = core::AppVersion::parse(item.version);
    const fs::path file = configuration_.downloads /
                          fmt::format("ambrel-{}{}", version ? version->description() : "update",
                                      configuration_.location.downloadSuffix());
    onWorker([this, item, download, file, quiet, key = configuration_.publicKey,
              &scheduler = scheduler_, alive = std::weak_ptr<bool>(alive_)] {
        std::optional<std::string> failure;
        OpenFile open;
        std::error_code ignored;
        try {
            core::FileAccess::createPrivateFolders(file.parent_path());
            fs::remove(file, ignored); // never trust a partial file from before
            int shownPercent = 0;
            bool oversized = false;
            const auto report = [&](std::uint64_t received, std::optional<std::uint64_t> total) {
                if (alive.expired()) {
                    return false; // the app quits: do not keep it waiting for the rest
                }
                if (received > download.length || (total && *total > download.length)) {
                    oversized = true; // more than the feed announced: stop at once
                    return false;
                }
                const int percent =
                    download.length == 0 ? 100 : static_cast<int>(received * 100 / download.length);
                if (percent != shownPercent && !quiet) {
                    shownPercent = percent;
                    scheduler.post([this, alive, percent] {
                        if (alive.lock() && downloading_) {
                            setProgress(percent / 100.0);
                        }
                    });
                }
                return true;
            };
            try {
                HttpClient().download(download.url, file, report, download.length);
            } catch (const std::exception&) {
                if (!oversized) {
                    throw;
                }
            }
            // Opened once: the checks and the installation read these bytes and no others.
            open = openForReading(file);
            struct stat info {};
            if (!open || ::fstat(*open, &info) != 0 || !S_ISREG(info.st_mode)) {
                failure = "the download cannot be read back";
            } else if (const auto size = static_cast<std::uint64_t>(info.st_size);
                       oversized || size > download.length) {
                failure = fmt::format("more than the announced {} bytes arrived", download.length);
            } else if (size != download.length) {
                failure =
                    fmt::format("{} bytes arrived where {} were announced", size, download.length);
            } else if (!UpdateSignature::verify(*open, item.version, download.length,
                                                download.signature, key)) {
                failure = "its signature does not match the release key and version";
            }
        } catch (const std::exception& error) {
            failure = error.what();
        }
        if (failure) {
            open.reset();
            fs::remove(file, ignored);
        }
        scheduler.post([this, alive, item, file, failure, open, url = download.url] {
            if (!alive.lock()) {
                return;
            }
            downloading_ = false;
            setProgress(std::nullopt);
            if (failure) {
                installWhenReady_ = false;
                refuse(url, *failure);
                return;
            }
            prepared(item, file, open);
        });
    });
}

AppcastUpdater::OpenFile AppcastUpdater::openForReading(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return nullptr;
    }
    return OpenFile(new int(fd), [](const int* descriptor) {
        ::close(*descriptor);
        delete descriptor;
    });
}

void AppcastUpdater::prepared(const Appcast::Item& item, const fs::path& file, OpenFile open) {
    if (readyFile_ && *readyFile_ != file) {
        std::error_code ignored;
        fs::remove(*readyFile_, ignored); // superseded
    }
    readyFile_ = file;
    readyOpen_ = std::move(open);
    readyBuild_ = item.version;
    setOffer(UpdateOffer{UpdateOffer::Kind::readyToInstall, item.shortVersion});
    if (std::exchange(installWhenReady_, false)) {
        install();
    } else if (!sameVersion(configuration_.settings->stringValue(failedTargetKey).value_or(""),
                            item.version)) {
        installWhenIdle();
    }
}

void AppcastUpdater::installWhenIdle() {
    if (idleTimer_) {
        return; // the running wait installs the newest download
    }
    idleTimer_ = scheduler_.every(idleCheckInterval, [this] { idleCheck(); });
    post([](AppcastUpdater& updater) { updater.idleCheck(); });
}

void AppcastUpdater::idleCheck() {
    if (!idleTimer_ || !configuration_.isIdle || !configuration_.isIdle()) {
        return;
    }
    if (readyBuild_) {
        configuration_.settings->setValue(quietTargetKey, *readyBuild_);
    } else {
        configuration_.settings->remove(quietTargetKey);
    }
    install();
}

void AppcastUpdater::install() {
    idleTimer_.reset();
    if (!readyFile_ || !readyOpen_ || !readyBuild_) {
        return;
    }
    try {
        const auto executable =
            UpdateInstaller::install(configuration_.location, *readyOpen_, *readyBuild_);
        readyOpen_.reset();
        std::error_code ignored;
        fs::remove(*readyFile_, ignored);
        if (configuration_.relaunch) {
            configuration_.relaunch(executable);
        }
    } catch (const std::exception& error) {
        refuse(readyFile_->string(), error.what());
        std::error_code ignored;
        fs::remove(*readyFile_, ignored); // a release that cannot be installed is of no use
        configuration_.settings->remove(quietTargetKey);
        readyFile_.reset();
        readyOpen_.reset();
        readyBuild_.reset();
        setOffer(std::nullopt);
    }
}

void AppcastUpdater::installUpdate() {
    if (!offer_) {
        return;
    }
    if (offer_->kind == UpdateOffer::Kind::readyToInstall) {
        install();
        return;
    }
    if (!available_) {
        return;
    }
    const auto download = downloadFor(*available_, configuration_.location);
    if (configuration_.location.canUpdate() && download) {
        installWhenReady_ = true;
        found(*available_, *download); // nothing new when it is already downloading
    } else if (configuration_.openPage) {
        // The package manager installs it; the release page tells what is new.
        const std::string page =
            available_->link.empty() ? available_->downloads.front().url : available_->link;
        if (!isWebAddress(page)) {
            refuse(page, "the release page is not a web address");
            return;
        }
        configuration_.openPage(page);
    }
}

bool AppcastUpdater::reopenedByQuietUpdate(core::SettingsStore& settings,
                                           const std::string& currentVersion) {
    const auto target = settings.stringValue(quietTargetKey);
    settings.remove(quietTargetKey);
    const bool cameUp = target && sameVersion(*target, currentVersion);
    if (target && !cameUp) {
        core::Log::transcript().error(fmt::format(
            "The update to {} did not take effect; {} is still running", *target, currentVersion));
        settings.setValue(failedTargetKey, *target);
    }
    return cameUp;
}

} // namespace ambrel
