#include "SessionExamples.h"

#include <fmt/format.h>

namespace ambrel::testing {

core::SessionRecord makeRecord(std::string id, double startedAt, int lineCount) {
    core::SessionRecord record(std::move(id), startedAt);
    for (int i = 0; i < lineCount; ++i) {
        core::TranscriptLine line;
        line.id = core::Uuid::random();
        line.text = fmt::format("Line {} of the session, with a few words in it.", i + 1);
        line.start = startedAt + 2.0 * i;
        line.source = i % 3 == 0 ? core::SpeechSource::microphone : core::SpeechSource::systemAudio;
        line.language = "en-US";
        record.lines.push_back(std::move(line));
    }
    record.languages = {"en-US"};
    record.appVersion = "0.1.0";
    record.lastUpdated = startedAt + 2.0 * lineCount;
    return record;
}

} // namespace ambrel::testing
