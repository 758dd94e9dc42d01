#include "SessionsFolder.h"

#include "app/desktop/DefaultFolders.h"
#include "app/desktop/ModalAlert.h"
#include "app/desktop/UiText.h"
#include "app/desktop/WritableFolder.h"
#include "core/XdgFolders.h"
#include "locale/L10n.h"

#include <QFileDialog>
#include <QString>

namespace ambrel {

namespace fs = std::filesystem;

namespace {

std::optional<fs::path> pickWithDialog(const fs::path& start, const std::string& message) {
    QFileDialog dialog(nullptr, QString::fromStdString(message),
                       QString::fromStdString(start.string()));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setLabelText(QFileDialog::Accept, uiText(Texts::panelChoose));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return fs::path(dialog.selectedFiles().front().toStdString());
}

void warnWithDialog(const std::string& title, const std::string& message) {
    ModalAlert::show(title, message, ModalAlert::Style::warning);
}

} // namespace

SessionsFolder::SessionsFolder(AppSettings settings, Picker picker, Warning warning)
    : settings_(std::move(settings))
    , picker_(picker ? std::move(picker) : Picker(pickWithDialog))
    , warning_(warning ? std::move(warning) : Warning(warnWithDialog)) {}

bool SessionsFolder::wasChosen() const {
    const auto stored = settings_.text(AppSettings::Keys::sessionsFolderBookmark);
    return stored && !stored->empty();
}

bool SessionsFolder::isInTrash(const fs::path& folder) {
    for (const auto& part : folder) {
        const std::string name = part.string();
        if (name == ".Trash" || name == ".Trashes" || name.starts_with(".Trash-")) {
            return true;
        }
    }
    const auto trash = (core::XdgFolders::dataHome() / "Trash").lexically_normal();
    const auto relative = folder.lexically_normal().lexically_relative(trash);
    return !relative.empty() && *relative.begin() != "..";
}

std::optional<fs::path> SessionsFolder::restore() {
    const auto stored = settings_.text(AppSettings::Keys::sessionsFolderBookmark);
    if (!stored || stored->empty()) {
        return std::nullopt;
    }
    const fs::path folder(*stored);
    if (!folder.is_absolute() || isInTrash(folder) || WritableFolder::problem(folder)) {
        return std::nullopt;
    }
    current_ = folder;
    return folder;
}

fs::path SessionsFolder::startingPlace() const {
    fs::path start = current_ ? *current_ : DefaultFolders::documents();
    std::error_code error;
    if (!fs::exists(start, error)) {
        start = start.parent_path();
    }
    return start;
}

void SessionsFolder::warnNotWritable(const fs::path& folder) const {
    warning_(L10n::text(Texts::alertFolderNotWritable),
             L10n::format(Texts::alertFolderNotWritableDetail, {folder.string()}));
}

void SessionsFolder::remember(const fs::path& folder) {
    settings_.setText(AppSettings::Keys::sessionsFolderBookmark, folder.string());
    current_ = folder;
}

std::optional<fs::path> SessionsFolder::choose() {
    const auto chosen = picker_(startingPlace(), L10n::text(Texts::panelChooseStorage));
    if (!chosen) {
        return std::nullopt;
    }
    if (isInTrash(*chosen) || WritableFolder::problem(*chosen)) {
        warnNotWritable(*chosen);
        return std::nullopt;
    }
    remember(*chosen);
    return chosen;
}

std::optional<fs::path> SessionsFolder::chooseFirst() {
    const auto chosen = picker_(DefaultFolders::documents(), L10n::text(Texts::panelChooseStorage));
    if (!chosen) {
        return std::nullopt;
    }
    const fs::path folder = chosen->filename() == "Ambrel" ? *chosen : *chosen / "Ambrel";
    if (isInTrash(folder) || WritableFolder::problem(folder)) {
        warnNotWritable(*chosen);
        return std::nullopt;
    }
    remember(folder);
    return folder;
}

std::string SessionsFolder::displayPath(const fs::path& folder) {
    const std::string home = DefaultFolders::home().string();
    const std::string path = folder.string();
    if (!home.empty() && home != "/" && path.starts_with(home + "/")) {
        return "~" + path.substr(home.size());
    }
    return path;
}

} // namespace ambrel
