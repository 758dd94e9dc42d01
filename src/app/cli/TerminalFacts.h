#pragma once

#include <cstddef>
#include <iosfwd>

namespace ambrel::TerminalFacts {

// True when the stream is the process's standard output and that is a terminal.
bool isInteractive(const std::ostream& stream);
// The terminal's width in characters; 0 when unknown.
std::size_t columns(const std::ostream& stream);

} // namespace ambrel::TerminalFacts
