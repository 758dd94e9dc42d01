#include "ExportPlan.h"

#include "locale/L10n.h"

namespace ambrel::ExportPlan {

namespace fs = std::filesystem;
using core::ExportFormat;

namespace {

const Text& typeName(ExportFormat format) {
    switch (format) {
    case ExportFormat::srt:
        return Texts::historyExportSrt;
    case ExportFormat::webVtt:
        return Texts::historyExportWebVtt;
    case ExportFormat::plainText:
        return Texts::historyExportPlainText;
    case ExportFormat::markdown:
        return Texts::historyExportMarkdown;
    case ExportFormat::json:
        break;
    }
    return Texts::historyExportJson;
}

// The remembered folder, if it is still a folder; the setting may hold anything.
std::optional<fs::path> lastFolder(const AppSettings& settings) {
    const auto stored = settings.text(AppSettings::Keys::exportFolder);
    if (!stored || stored->empty() || stored->find('\0') != std::string::npos) {
        return std::nullopt;
    }
    const fs::path folder(*stored);
    std::error_code error;
    if (!folder.is_absolute() || !fs::is_directory(folder, error)) {
        return std::nullopt;
    }
    return folder;
}

fs::path parentOf(const fs::path& folder) {
    std::error_code error;
    auto absolute = fs::absolute(folder, error).lexically_normal();
    if (!absolute.has_filename()) {
        absolute = absolute.parent_path(); // "/a/b/" names "/a/b"
    }
    return absolute.parent_path();
}

} // namespace

std::string fileType(ExportFormat format) {
    return L10n::text(typeName(format)) + " (*." + std::string(core::fileExtension(format)) + ")";
}

ExportQuestion question(const std::string& sessionID, const fs::path& transcriptsFolder,
                        const AppSettings& settings) {
    const auto stored = settings.text(AppSettings::Keys::exportFormat);
    const auto format =
        (stored ? core::exportFormatFromName(*stored) : std::nullopt).value_or(ExportFormat::srt);
    return {lastFolder(settings).value_or(parentOf(transcriptsFolder)),
            sessionID + "." + std::string(core::fileExtension(format)), format};
}

std::variant<ExportChoice, ExportQuestion> resolve(const ExportChoice& answer,
                                                   const ExportQuestion& asked) {
    fs::path file = asked.folder / answer.file; // an absolute answer stays as it is
    if (!file.has_filename()) {
        return asked;
    }
    const auto extension = file.extension().string();
    if (extension.size() > 1) {
        const auto named = core::exportFormatFromName(std::string_view(extension).substr(1));
        return ExportChoice{file, named.value_or(answer.format)};
    }
    file.replace_extension(std::string(core::fileExtension(answer.format)));
    std::error_code error;
    if (fs::exists(fs::symlink_status(file, error))) {
        return ExportQuestion{file.parent_path(), file.filename().string(), answer.format};
    }
    return ExportChoice{file, answer.format};
}

std::optional<ExportChoice> choose(const std::string& sessionID, const fs::path& transcriptsFolder,
                                   AppSettings& settings, const Dialog& dialog) {
    auto asked = question(sessionID, transcriptsFolder, settings);
    while (const auto answer = dialog(asked)) {
        auto resolved = resolve(*answer, asked);
        if (const auto* target = std::get_if<ExportChoice>(&resolved)) {
            settings.setText(AppSettings::Keys::exportFolder, target->file.parent_path().string());
            settings.setText(AppSettings::Keys::exportFormat,
                             std::string(core::fileExtension(target->format)));
            return *target;
        }
        asked = std::get<ExportQuestion>(std::move(resolved));
    }
    return std::nullopt;
}

} // namespace ambrel::ExportPlan
