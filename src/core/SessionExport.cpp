#include "SessionExport.h"

#include "SessionCoding.h"
#include "SubtitleRenderer.h"
#include "TranscriptRenderer.h"

namespace ambrel::core::SessionExport {

std::string render(const SessionRecord& record, ExportFormat format, const TranscriptLabels& labels,
                   const PlainTextOptions& options, const TimeZone& timeZone) {
    switch (format) {
    case ExportFormat::srt:
        return SubtitleRenderer::srt(record, labels);
    case ExportFormat::webVtt:
        return SubtitleRenderer::webVtt(record, labels);
    case ExportFormat::plainText:
        return TranscriptRenderer::plainText(record, labels, options, timeZone);
    case ExportFormat::markdown:
        return TranscriptRenderer::markdown(record, labels, timeZone);
    case ExportFormat::json:
        return SessionCoding::encode(record);
    }
    return {};
}

} // namespace ambrel::core::SessionExport
