#pragma once

#include "app/AppSettings.h"
#include "core/ExportFormat.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <variant>

namespace ambrel {

// What the save dialog opens with: a folder, a file name and the file type selected.
struct ExportQuestion {
    std::filesystem::path folder;
    std::string fileName; // ends in the extension of `format`
    core::ExportFormat format = core::ExportFormat::srt;

    bool operator==(const ExportQuestion&) const = default;
};

// A file to export to and its format: the user's answer in the dialog, then what is written.
struct ExportChoice {
    std::filesystem::path file;
    core::ExportFormat format = core::ExportFormat::srt;

    bool operator==(const ExportChoice&) const = default;
};

// Where an export of the history window goes and in which format: the dialog's defaults, and the
// file and format its answer means. No widgets: the dialog is a function given by the caller.
namespace ExportPlan {

// Asks the user; nothing when cancelled. The dialog asks itself before replacing a file.
using Dialog = std::function<std::optional<ExportChoice>(const ExportQuestion&)>;

// The dialog's file type for a format, in the interface language: "SubRip Subtitles (*.srt)".
std::string fileType(core::ExportFormat format);

// For a session: its id as the name, in the folder of the last export when it still exists, else
// in the transcripts folder's parent (exports kept out of the listed folder); the last format.
ExportQuestion question(const std::string& sessionID,
                        const std::filesystem::path& transcriptsFolder,
                        const AppSettings& settings);

// The file and format an answer means. An extension naming a format chooses it over the file type;
// a name without extension gets the type's. When that gives a name the dialog did not ask about
// and a file of that name exists, the answer is the dialog again, opened on that name, so that the
// user agrees to replacing it there.
std::variant<ExportChoice, ExportQuestion> resolve(const ExportChoice& answer,
                                                   const ExportQuestion& asked);

// Asks until an answer resolves to a file; remembers its folder and format for the next export.
std::optional<ExportChoice> choose(const std::string& sessionID,
                                   const std::filesystem::path& transcriptsFolder,
                                   AppSettings& settings, const Dialog& dialog);

} // namespace ExportPlan

} // namespace ambrel
