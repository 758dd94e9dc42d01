#pragma once

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

namespace ambrel::core {

// The forms a session can be exported in.
enum class ExportFormat {
    srt,       // SubRip subtitles
    webVtt,    // WebVTT subtitles
    plainText, // as copied from the history window
    markdown,  // the transcript file kept beside the record
    json,      // the session record itself
};

inline constexpr std::array<ExportFormat, 5> allExportFormats{
    ExportFormat::srt, ExportFormat::webVtt, ExportFormat::plainText, ExportFormat::markdown,
    ExportFormat::json};

// The file name extension, without the dot; also the format's name on the command line.
constexpr std::string_view fileExtension(ExportFormat format) {
    switch (format) {
    case ExportFormat::srt:
        return "srt";
    case ExportFormat::webVtt:
        return "vtt";
    case ExportFormat::plainText:
        return "txt";
    case ExportFormat::markdown:
        return "md";
    case ExportFormat::json:
        return "json";
    }
    return {};
}

// By extension, ignoring ASCII case ("srt", "VTT"); nothing for any other text.
constexpr std::optional<ExportFormat> exportFormatFromName(std::string_view name) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (auto format : allExportFormats) {
        const auto extension = fileExtension(format);
        if (extension.size() == name.size() &&
            std::equal(extension.begin(), extension.end(), name.begin(),
                       [&](char a, char b) { return a == lower(b); })) {
            return format;
        }
    }
    return std::nullopt;
}

} // namespace ambrel::core
