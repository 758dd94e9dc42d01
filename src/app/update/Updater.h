#pragma once

#include <functional>
#include <optional>
#include <string>

namespace ambrel {

// What the menu offers about a newer version.
struct UpdateOffer {
    enum class Kind {
        available,      // found; not yet downloaded, or only on the release page
        readyToInstall, // downloaded and checked; installing restarts the app
    };
    Kind kind = Kind::available;
    std::string version;

    bool operator==(const UpdateOffer&) const = default;
};

// Finds and installs newer versions of the app.
class Updater {
public:
    virtual ~Updater() = default;

    virtual std::optional<UpdateOffer> offer() const = 0;
    virtual bool checksOnDemand() const = 0;
    virtual bool canCheckForUpdates() const = 0;
    virtual void checkForUpdates() = 0;
    // Installs a ready update (restarting the app), or gets an available one.
    virtual void installUpdate() = 0;
    // How much of the update has arrived (0…1) while it downloads; absent otherwise.
    virtual std::optional<double> downloadProgress() const { return std::nullopt; }

    // The offer changed.
    std::function<void()> onOfferChanged;
};

} // namespace ambrel
