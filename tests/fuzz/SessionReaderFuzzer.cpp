
// Feeds arbitrary bytes to both session readers: neither may crash, they must accept and refuse
// the same files (the history lists what it can open), and agree on every file they accept.
#include "FuzzFailure.h"
#include "core/SessionCoding.h"
#include "core/SessionSummaryProbe.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace {

[[noreturn]] void disagree(const char* what) {
    ambrel::fuzz::fail("the session readers disagree", what);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ambrel::core;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto probe = SessionSummaryProbe::read(text);
    std::optional<SessionRecord> record;
    try {
        record = SessionCoding::decode(text);
    } catch (const SessionCoding::DecodingError&) {
    }
    if (probe && !record) {
        disagree("the summary probe lists a file the full reader refuses");
    }
    if (record && !probe) {
        disagree("the summary probe hides a file the full reader opens");
    }
    if (!record) {
        return 0;
    }
    if (probe->lineCount != record->lines.size() || probe->startedAt != record->startedAt ||
        probe->lastUpdated != record->lastUpdated || probe->endedAt != record->endedAt) {
        disagree("the summary differs from the record");
    }
    // Once written, a record reads back to the same file (dates keep milliseconds only).
    const auto written = SessionCoding::encode(*record);
    if (SessionCoding::encode(SessionCoding::decode(written)) != written) {
        ambrel::fuzz::fail("a written record does not survive a round trip");
    }
    return 0;
}
