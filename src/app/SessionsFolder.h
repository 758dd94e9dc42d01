#pragma once

#include "AppSettings.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace ambrel {

// The folder where sessions are saved: chosen by the user, remembered in the settings, checked
// before use. Folders that cannot hold files, and folders in the trash, are refused.
class SessionsFolder {
public:
    // Asks the user for a folder, starting at `start`; absent when cancelled.
    using Picker = std::function<std::optional<std::filesystem::path>(
        const std::filesystem::path& start, const std::string& message)>;
    // Tells the user that a folder cannot be used.
    using Warning = std::function<void(const std::string& title, const std::string& message)>;

    // The defaults show a folder dialog and a warning dialog.
    explicit SessionsFolder(AppSettings settings, Picker picker = {}, Warning warning = {});

    // The folder in use, once restored or chosen.
    const std::optional<std::filesystem::path>& current() const { return current_; }
    // Whether a folder was ever chosen.
    bool wasChosen() const;

    // The remembered folder when it can still be used.
    std::optional<std::filesystem::path> restore();
    // Lets the user pick another folder; absent when cancelled or unusable (after a warning).
    std::optional<std::filesystem::path> choose();
    // The first choice: an "Ambrel" folder inside the folder picked, made when missing.
    std::optional<std::filesystem::path> chooseFirst();

    // "~/Documents/Ambrel" for folders in the home folder, else the full path.
    static std::string displayPath(const std::filesystem::path& folder);
    // Inside a trash folder: never used for sessions.
    static bool isInTrash(const std::filesystem::path& folder);

private:
    void remember(const std::filesystem::path& folder);
    void warnNotWritable(const std::filesystem::path& folder) const;
    std::filesystem::path startingPlace() const;

    AppSettings settings_;
    Picker picker_;
    Warning warning_;
    std::optional<std::filesystem::path> current_;
};

} // namespace ambrel
