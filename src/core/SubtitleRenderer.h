#pragma once

#include "SessionRecord.h"
#include "SubtitleCue.h"
#include "TranscriptLabels.h"

#include <string>
#include <vector>

// A session as subtitles: one cue per line with text, timed from the session's start, so that
// the transcript can be laid over a recording of the same stretch. Pause and resume markers are
// gaps, never cues.
namespace ambrel::core::SubtitleRenderer {

// The cues in order of start (lines that start together keep their stored order). A cue starts at
// its line's offset (0 for a line from before the session) and ends at the earliest of: the next
// later start of any line, the first marker after its start, the session's end, and the start
// plus a reading time of 0.35 s a word, 1 s to 7 s. Bounds that are not after the start are
// ignored. Lines whose text is blank have no cue.
std::vector<SubtitleCue> cues(const SessionRecord& record);

// SubRip: numbered cues, "00:01:02,345" times, LF line ends, empty for a session without cues.
// The line's text on one line, after "Me: " (the labels' speaker line) when the session has two
// sources.
std::string srt(const SessionRecord& record, const TranscriptLabels& labels);

// WebVTT: the "WEBVTT" header, "00:01:02.345" times, LF line ends; text escaped, the speaker as a
// voice span ("<v Me>") when the session has two sources.
std::string webVtt(const SessionRecord& record, const TranscriptLabels& labels);

} // namespace ambrel::core::SubtitleRenderer
