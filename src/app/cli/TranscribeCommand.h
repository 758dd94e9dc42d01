#pragma once

#include "CommandArguments.h"

#include <iosfwd>

namespace ambrel::TranscribeCommand {

// `ambrel transcribe [--folder DIR] [--source S] [--language ID]... FILE...`: each file as one
// session, faster than real time. 0 when every file was done, 1 when one failed.
int run(CommandArguments arguments, std::ostream& out, std::ostream& err);

} // namespace ambrel::TranscribeCommand
