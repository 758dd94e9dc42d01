#pragma once

#include "core/Instant.h"
#include "core/SessionRecord.h"
#include "core/Uuid.h"
#include "locale/Format.h"
#include "speech/engine/LiveTranscriptText.h"

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <set>
#include <string>

namespace ambrel {

// Captions in a terminal: each recorded line once, as it is recorded; on an interactive
// terminal also a last line, rewritten in place, with the words being recognised or the
// status.
class TerminalCaptions {
public:
    enum class Times {
        offset, // "[0:05]" from the session's start, for files
        clock,  // "[09:05:03]", for live runs
    };

    // `columns`: the terminal's width, 0 when unknown.
    TerminalCaptions(std::ostream& out, bool interactive, Times times, bool labelSources,
                     std::size_t columns = 0);

    // Prints the record's lines that were not printed yet.
    void showSession(const core::SessionRecord& record);
    void showLive(const LiveTranscriptText& live);
    // Shown on the last line while nothing is being recognised (interactive only).
    void showStatus(const std::string& status);
    // Leaves the last line empty, so that other output can follow.
    void clearLastLine();
    // Prints a message line on `stream` (standard error, say) without garbling the last line:
    // clears it, prints, and draws it again below.
    void interject(std::ostream& stream, const std::string& message);

private:
    void drawLastLine();
    std::string lineText(const core::SessionRecord& record, const core::TranscriptLine& line) const;

    std::ostream& out_;
    bool interactive_;
    std::size_t columns_;
    Times times_;
    bool labelSources_;
    std::set<std::string> printed_;
    std::string live_;
    std::string status_;
    bool lastLineDrawn_ = false;
    mutable std::optional<Format::TranscriptClock> clock_; // of the session shown
};

} // namespace ambrel
