#include "TranscriptRenderer.h"

#include "FixedDateFormat.h"
#include "StringFormat.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <variant>
#include <vector>

namespace ambrel::core::TranscriptRenderer {

namespace {

using Entry = TimelineEntry;

// Clock texts of one session: the time alone on the day the session started, month and day
// otherwise (a session past midnight, or a clock that went backwards).
class Clock {
public:
    Clock(Instant sessionStart, const TimeZone& timeZone)
        : dateTime_("yyyy-MM-dd HH:mm:ss", timeZone)
        , time_("HH:mm:ss", timeZone)
        , dayTime_("MM-dd HH:mm:ss", timeZone)
        , startDay_(time_.dayContaining(sessionStart)) {}

    std::string dateTime(Instant t) const { return dateTime_.format(t); }
    std::string text(Instant t) const {
        return startDay_.contains(t) ? time_.format(t) : dayTime_.format(t);
    }

private:
    FixedDateFormat dateTime_;
    FixedDateFormat time_;
    FixedDateFormat dayTime_;
    FixedDateFormat::Day startDay_;
};

bool isLine(const Entry& entry) {
    return std::holds_alternative<const TranscriptLine*>(entry);
}

std::string durationText(const TranscriptLabels& labels, double seconds) {
    return labels.formatDuration ? labels.formatDuration(seconds) : formatDuration(seconds);
}

std::string languageName(const TranscriptLabels& labels, const std::string& locale) {
    return labels.languageName ? labels.languageName(locale) : locale;
}

std::string markerText(const Marker& marker, const TranscriptLabels& labels, const Clock& clock) {
    return fmt::format("{} {} {}", symbol(marker.kind), clock.text(marker.date),
                       labels.markerLabel(marker.kind));
}

// Length of the line break starting at text[i], or 0. Covers LF, CR, VT, FF, NEL, LS and PS.
std::size_t lineBreakLength(std::string_view text, std::size_t i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\n' || byte == '\r' || byte == '\v' || byte == '\f') {
        return 1;
    }
    if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x85) {
        return 2;
    }
    if (byte == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80) {
        const auto last = static_cast<unsigned char>(text[i + 2]);
        if (last == 0xA8 || last == 0xA9) {
            return 3;
        }
    }
    return 0;
}

std::string_view trimSpacesAndTabs(std::string_view piece) {
    const auto first = piece.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = piece.find_last_not_of(" \t");
    return piece.substr(first, last - first + 1);
}

} // namespace

std::vector<TimelineEntry> timeline(const SessionRecord& record) {
    std::vector<const Marker*> markers;
    markers.reserve(record.markers.size());
    for (const auto& marker : record.markers) {
        markers.push_back(&marker);
    }
    std::stable_sort(markers.begin(), markers.end(),
                     [](const Marker* a, const Marker* b) { return a->date < b->date; });

    std::vector<TimelineEntry> entries;
    entries.reserve(record.lines.size() + markers.size());
    auto nextMarker = markers.begin();
    for (const auto& line : record.lines) {
        while (nextMarker != markers.end() && (*nextMarker)->date < line.start) {
            entries.emplace_back(*nextMarker++);
        }
        entries.emplace_back(&line);
    }
    entries.insert(entries.end(), nextMarker, markers.end());
    return entries;
}

std::string_view symbol(MarkerKind kind) {
    return kind == MarkerKind::paused ? "\u23F8" : "\u25B6";
}

std::string formatDuration(double seconds) {
    const double whole = std::floor(seconds);
    std::int64_t t = 0;
    if (whole >= 0 && whole < 9223372036854775808.0) {
        t = static_cast<std::int64_t>(whole);
    }
    if (t >= 3600) {
        return fmt::format("{}h {:02}m {:02}s", t / 3600, t % 3600 / 60, t % 60);
    }
    if (t < 60) {
        return fmt::format("{}s", t);
    }
    return fmt::format("{}m {:02}s", t / 60, t % 60);
}

std::string singleLine(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    std::size_t pieceStart = 0;
    auto takePiece = [&](std::size_t end) {
        const auto piece = trimSpacesAndTabs(text.substr(pieceStart, end - pieceStart));
        if (!piece.empty()) {
            if (!result.empty()) {
                result.push_back(' ');
            }
            result.append(piece);
        }
    };
    for (std::size_t i = 0; i < text.size();) {
        if (const auto length = lineBreakLength(text, i)) {
            takePiece(i);
            i += length;
            pieceStart = i;
        } else {
            ++i;
        }
    }
    takePiece(text.size());
    return result;
}

std::string escapeMarkdown(std::string_view text) {
    static constexpr std::string_view special = "$*<[\\_`~";
    if (text.find_first_of(special) == std::string_view::npos) {
        return std::string(text);
    }
    std::string result;
    result.reserve(text.size() + 8);
    for (const char c : text) {
        if (special.find(c) != std::string_view::npos) {
            result.push_back('\\');
        }
        result.push_back(c);
    }
    return result;
}

std::string markdown(const SessionRecord& record, const TranscriptLabels& labels,
                     const TimeZone& timeZone) {
    const Clock clock(record.startedAt, timeZone);
    const Instant end = record.endedAt.value_or(record.lastUpdated);
    const std::string started = clock.dateTime(record.startedAt);

    std::string text;
    text.reserve(128 + record.lines.size() * 96);
    text += fmt::format("# {} \u00B7 {}\n\n", labels.title, started);
    text += fmt::format("- {}: {}\n", labels.started, started);
    text += fmt::format("- {}: {}\n", labels.ended,
                        record.endedAt ? clock.dateTime(*record.endedAt) : labels.recording);
    text += fmt::format("- {}: {}\n", labels.duration,
                        durationText(labels, std::floor(end) - std::floor(record.startedAt)));
    text += fmt::format("- {}: {}\n", labels.lines, record.lines.size());
    if (!record.languages.empty()) {
        std::string names;
        for (const auto& locale : record.languages) {
            if (!names.empty()) {
                names += ", ";
            }
            names += languageName(labels, locale);
        }
        text += fmt::format("- {}: {}\n", labels.language, names);
    }
    text += "\n---\n";

    const bool speakers = record.hasMultipleSources();
    const auto entries = timeline(record);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const bool startsBlock = i == 0 || isLine(entries[i]) != isLine(entries[i - 1]);
        text += startsBlock ? "\n" : "  \n";
        if (isLine(entries[i])) {
            const auto& line = *std::get<const TranscriptLine*>(entries[i]);
            const auto body = escapeMarkdown(singleLine(line.text));
            text += fmt::format("**{}** ", clock.text(line.start));
            text += speakers
                        ? StringFormat::format(labels.speakerLine,
                                               {"**" + labels.speaker(line.source) + "**", body})
                        : body;
        } else {
            text += "> " + markerText(*std::get<const Marker*>(entries[i]), labels, clock);
        }
        const bool endsBlock =
            i + 1 == entries.size() || isLine(entries[i]) != isLine(entries[i + 1]);
        if (endsBlock) {
            text += "\n";
        }
    }
    return text;
}

std::string plainText(const SessionRecord& record, const TranscriptLabels& labels,
                      const PlainTextOptions& options, const TimeZone& timeZone) {
    const auto entries = timeline(record);
    if (entries.empty()) {
        return {};
    }
    const Clock clock(record.startedAt, timeZone);
    const bool speakers = options.speakers && record.hasMultipleSources();
    auto prefix = [&](Instant t) {
        return options.times ? fmt::format("[{}] ", clock.text(t)) : std::string();
    };

    std::string text;
    for (const auto& entry : entries) {
        if (isLine(entry)) {
            const auto& line = *std::get<const TranscriptLine*>(entry);
            const auto body = singleLine(line.text);
            text += prefix(line.start);
            text += speakers ? StringFormat::format(labels.speakerLine,
                                                    {labels.speaker(line.source), body})
                             : body;
        } else {
            const auto& marker = *std::get<const Marker*>(entry);
            text += prefix(marker.date);
            text += fmt::format("{} {}", symbol(marker.kind), labels.markerLabel(marker.kind));
        }
        text += '\n';
    }
    return text;
}

} // namespace ambrel::core::TranscriptRenderer
