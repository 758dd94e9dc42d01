#include "SubtitleRenderer.h"

#include "StringFormat.h"
#include "TranscriptRenderer.h"
#include "UnicodeText.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <limits>
#include <optional>
#include <string_view>

namespace ambrel::core::SubtitleRenderer {

namespace {

// Reading time of a cue that nothing cuts short earlier.
constexpr std::int64_t millisecondsPerWord = 350;
constexpr std::int64_t shortestReading = 1000;
constexpr std::int64_t longestReading = 7000;

// Session files keep instants to the millisecond, so offsets are taken between rounded instants.
std::int64_t milliseconds(Instant t) {
    return std::llround(t * 1000.0);
}

std::int64_t readingTime(std::string_view text) {
    const auto words = static_cast<std::int64_t>(UnicodeText::wordCount(text));
    return std::clamp(words * millisecondsPerWord, shortestReading, longestReading);
}

void appendTime(std::string& out, std::int64_t ms, char fractionSeparator) {
    fmt::format_to(std::back_inserter(out), "{:02}:{:02}:{:02}{}{:03}", ms / 3'600'000,
                   ms / 60'000 % 60, ms / 1000 % 60, fractionSeparator, ms % 1000);
}

void appendTiming(std::string& out, const SubtitleCue& cue, char fractionSeparator) {
    appendTime(out, cue.start, fractionSeparator);
    out += " --> ";
    appendTime(out, cue.end, fractionSeparator);
    out += '\n';
}

// SubRip has no escapes; the one thing its readers cannot take inside a cue is a timing arrow.
void appendSrtText(std::string& out, std::string_view text) {
    for (auto arrow = text.find("-->"); arrow != std::string_view::npos; arrow = text.find("-->")) {
        out.append(text.substr(0, arrow));
        out += "-- ";
        text.remove_prefix(arrow + 2);
    }
    out.append(text);
}

// Character references for the three characters that WebVTT cue text and annotations reserve;
// escaping ">" also keeps "-->" out of the cue.
void appendWebVttText(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
}

// "<v Me>", or nothing for a name that is blank.
std::string voiceSpan(const std::string& speaker) {
    const auto name = TranscriptRenderer::singleLine(speaker);
    if (name.empty()) {
        return {};
    }
    std::string span = "<v ";
    appendWebVttText(span, name);
    span += '>';
    return span;
}

std::size_t sizeHint(const std::vector<SubtitleCue>& all) {
    std::size_t size = 16;
    for (const auto& cue : all) {
        size += cue.text.size() + 48;
    }
    return size;
}

} // namespace

std::vector<SubtitleCue> cues(const SessionRecord& record) {
    const auto origin = milliseconds(record.startedAt);
    std::vector<SubtitleCue> result;
    result.reserve(record.lines.size());
    for (const auto& line : record.lines) {
        auto text = TranscriptRenderer::singleLine(line.text);
        if (!text.empty()) {
            const auto start = std::max<std::int64_t>(0, milliseconds(line.start) - origin);
            result.push_back({start, 0, line.source, std::move(text)});
        }
    }
    // The engine inserts lines by start, but a record read from a file promises nothing.
    std::stable_sort(result.begin(), result.end(),
                     [](const SubtitleCue& a, const SubtitleCue& b) { return a.start < b.start; });

    std::vector<std::int64_t> markers;
    markers.reserve(record.markers.size());
    for (const auto& marker : record.markers) {
        markers.push_back(milliseconds(marker.date) - origin);
    }
    std::sort(markers.begin(), markers.end());
    const std::optional<std::int64_t> sessionEnd =
        record.endedAt ? std::optional(milliseconds(*record.endedAt) - origin) : std::nullopt;

    // Backwards, so that the next later start is at hand; lines that start together share it.
    auto nextStart = std::numeric_limits<std::int64_t>::max();
    for (auto cue = result.rbegin(); cue != result.rend(); ++cue) {
        if (cue != result.rbegin() && std::prev(cue)->start > cue->start) {
            nextStart = std::prev(cue)->start;
        }
        auto bound = nextStart;
        if (const auto marker = std::upper_bound(markers.begin(), markers.end(), cue->start);
            marker != markers.end()) {
            bound = std::min(bound, *marker);
        }
        if (sessionEnd && *sessionEnd > cue->start) {
            bound = std::min(bound, *sessionEnd);
        }
        // Words are counted only where the reading time can matter.
        cue->end = bound - cue->start <= shortestReading
                       ? bound
                       : std::min(bound, cue->start + readingTime(cue->text));
    }
    return result;
}

std::string srt(const SessionRecord& record, const TranscriptLabels& labels) {
    const auto all = cues(record);
    const bool speakers = record.hasMultipleSources();
    std::string out;
    out.reserve(sizeHint(all));
    for (std::size_t i = 0; i < all.size(); ++i) {
        const auto& cue = all[i];
        if (i > 0) {
            out += '\n';
        }
        fmt::format_to(std::back_inserter(out), "{}\n", i + 1);
        appendTiming(out, cue, ',');
        if (speakers) {
            // The labels come from translations: keep whatever they hold on the one line too.
            appendSrtText(out, TranscriptRenderer::singleLine(StringFormat::format(
                                   labels.speakerLine, {labels.speaker(cue.source), cue.text})));
        } else {
            appendSrtText(out, cue.text);
        }
        out += '\n';
    }
    return out;
}

std::string webVtt(const SessionRecord& record, const TranscriptLabels& labels) {
    const auto all = cues(record);
    std::array<std::string, 2> voices; // by SpeechSource
    if (record.hasMultipleSources()) {
        for (const auto source : allSpeechSources) {
            voices[static_cast<std::size_t>(source)] = voiceSpan(labels.speaker(source));
        }
    }
    std::string out;
    out.reserve(sizeHint(all));
    out += "WEBVTT\n";
    for (const auto& cue : all) {
        out += '\n';
        appendTiming(out, cue, '.');
        out += voices[static_cast<std::size_t>(cue.source)];
        appendWebVttText(out, cue.text);
        out += '\n';
    }
    return out;
}

} // namespace ambrel::core::SubtitleRenderer
