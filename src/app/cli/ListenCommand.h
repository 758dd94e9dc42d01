#pragma once

#include "CommandArguments.h"

#include <iosfwd>

namespace ambrel::ListenCommand {

// `ambrel listen [--folder DIR] [--system-audio on|off] [--microphone on|off] [--language ID]...`:
// transcribes the live sources until Ctrl-C or SIGTERM, then closes the session. 0 when the run
// ended as asked, 1 when it failed.
int run(CommandArguments arguments, std::ostream& out, std::ostream& err);

} // namespace ambrel::ListenCommand
