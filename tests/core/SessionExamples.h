#pragma once

#include "core/SessionRecord.h"

#include <string>

namespace ambrel::testing {

// A session of one line and one marker, still being recorded, as a session file holds it.
inline const std::string liveSessionJson = R"({
  "appVersion" : "1.4",
  "id" : "2025-03-14 09-05-00",
  "languages" : [ "en-US" ],
  "lastUpdated" : "2025-03-14T08:05:42.250Z",
  "lines" : [ { "id" : "0D5F7B7E-2C5A-4C61-9A0B-6E2B1F0C9A11", "language" : "en-US", "source" : "microphone", "start" : "2025-03-14T08:05:03.120Z", "text" : "Good morning." } ],
  "markers" : [ { "date" : "2025-03-14T08:05:30.000Z", "kind" : "paused" } ],
  "startedAt" : "2025-03-14T08:05:00.004Z"
})";

// 2025-03-14T08:05:00Z, which is 09:05 in Europe/Berlin.
inline constexpr double march14 = 1741939500.0;

core::SessionRecord makeRecord(std::string id, double startedAt, int lineCount);

} // namespace ambrel::testing
