// Feeds arbitrary bytes to both session readers: neither may crash, and they must agree on
// every file the full reader accepts.
#include "core/SessionCoding.h"
#include "core/SessionSummaryProbe.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto probe = ambrel::core::SessionSummaryProbe::read(text);
    try {
        const auto record = ambrel::core::SessionCoding::decode(text);
        const bool agrees = probe && probe->lineCount == record.lines.size() &&
                            probe->startedAt == record.startedAt &&
                            probe->lastUpdated == record.lastUpdated &&
                            probe->endedAt == record.endedAt;
        if (!agrees) {
            std::fprintf(stderr, "the summary probe disagrees with the full reader\n");
            std::abort();
        }
        // Once written, a record reads back to the same file (dates keep milliseconds only).
        const auto written = ambrel::core::SessionCoding::encode(record);
        if (ambrel::core::SessionCoding::encode(ambrel::core::SessionCoding::decode(written)) !=
            written) {
            std::fprintf(stderr, "a written record does not survive a round trip\n");
            std::abort();
        }
    } catch (const ambrel::core::SessionCoding::DecodingError&) {
    }
    return 0;
}
