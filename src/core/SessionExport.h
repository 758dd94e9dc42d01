#pragma once

#include "ExportFormat.h"
#include "PlainTextOptions.h"
#include "SessionRecord.h"
#include "TimeZone.h"
#include "TranscriptLabels.h"

#include <string>

// A session as the contents of a file in any export format, for the command line and the export
// dialog alike.
namespace ambrel::core::SessionExport {

// `options` matter to the plain text only, `timeZone` to the plain text and Markdown clock times.
// JSON is the session file's own form, and throws what encoding it throws.
std::string render(const SessionRecord& record, ExportFormat format, const TranscriptLabels& labels,
                   const PlainTextOptions& options, const TimeZone& timeZone);

} // namespace ambrel::core::SessionExport
