#pragma once

namespace ambrel::QtLogSink {

// Sends the program's log to Qt's logging categories "org.ambrel.Ambrel.audio" and
// "org.ambrel.Ambrel.transcript", so QT_LOGGING_RULES and the journal see it. Notices and worse
// show by default, as on the command line.
void install();

} // namespace ambrel::QtLogSink
