#include "TerminalCaptions.h"

#include "core/UnicodeText.h"
#include "locale/Format.h"
#include "locale/L10n.h"

#include <ostream>

namespace ambrel {

namespace {

// Carriage return, then erase to the end of the line.
constexpr const char* eraseLine = "\r\x1b[K";

// The end of a text, at most `columns` characters, so that it stays on one terminal line. It
// starts at a word when the cut would fall inside one, unless the one word is all there is.
std::string lastColumns(const std::string& text, std::size_t columns) {
    if (columns == 0) {
        return text;
    }
    const auto boundaries = core::UnicodeText::characterBoundaries(text);
    const std::size_t count = boundaries.empty() ? 0 : boundaries.size() - 1;
    if (count <= columns) {
        return text;
    }
    std::size_t cut = boundaries[count - columns + 1];
    if (text[cut - 1] != ' ') {
        if (const auto space = text.find(' ', cut); space != std::string::npos) {
            cut = space + 1;
        }
    }
    return "…" + text.substr(cut);
}

std::string oneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r' || c == '\t') {
            c = ' ';
        }
    }
    return text;
}

} // namespace

TerminalCaptions::TerminalCaptions(std::ostream& out, bool interactive, Times times,
                                   bool labelSources, std::size_t columns)
    : out_(out)
    , interactive_(interactive)
    , columns_(columns)
    , times_(times)
    , labelSources_(labelSources) {}

std::string TerminalCaptions::lineText(const core::SessionRecord& record,
                                       const core::TranscriptLine& line) const {
    if (times_ == Times::clock && (!clock_ || clock_->sessionStart() != record.startedAt)) {
        clock_.emplace(record.startedAt);
    }
    const std::string time = times_ == Times::offset
                                 ? Format::elapsed(line.start - record.startedAt)
                                 : clock_->text(line.start);
    const std::string text = oneLine(line.text);
    return "[" + time + "] " +
           (labelSources_ ? L10n::format(Texts::speakerLine, {L10n::speaker(line.source), text})
                          : text);
}

void TerminalCaptions::showSession(const core::SessionRecord& record) {
    bool cleared = false;
    for (const auto& line : record.lines) {
        if (!printed_.insert(line.id.string()).second) {
            continue;
        }
        if (!cleared) {
            clearLastLine();
            cleared = true;
        }
        out_ << lineText(record, line) << '\n';
    }
    if (cleared) {
        drawLastLine();
        out_.flush();
    }
}

void TerminalCaptions::showLive(const LiveTranscriptText& live) {
    std::string words;
    for (const auto& line : live.lines) {
        if (line.isFinal) {
            continue;
        }
        if (!words.empty()) {
            words += "  ";
        }
        words += live.showsSpeakers
                     ? L10n::format(Texts::speakerLine, {L10n::speaker(line.source), line.text})
                     : line.text;
    }
    words = oneLine(words);
    if (words != live_) {
        live_ = std::move(words);
        drawLastLine();
    }
}

void TerminalCaptions::showStatus(const std::string& status) {
    if (status != status_) {
        status_ = oneLine(status);
        drawLastLine();
    }
}

void TerminalCaptions::clearLastLine() {
    if (interactive_ && lastLineDrawn_) {
        out_ << eraseLine;
        lastLineDrawn_ = false;
    }
}

void TerminalCaptions::interject(std::ostream& stream, const std::string& message) {
    const bool redraw = lastLineDrawn_;
    clearLastLine();
    out_.flush();
    stream << message << '\n';
    stream.flush();
    if (redraw) {
        drawLastLine();
    }
}

void TerminalCaptions::drawLastLine() {
    if (!interactive_) {
        return;
    }
    const std::string& text = live_.empty() ? status_ : live_;
    out_ << eraseLine << lastColumns(text, columns_ > 1 ? columns_ - 1 : 0);
    out_.flush();
    lastLineDrawn_ = !text.empty();
}

} // namespace ambrel
