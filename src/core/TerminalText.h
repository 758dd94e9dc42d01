#pragma once

#include <string>
#include <string_view>

// Untrusted text made safe to print for a person: nothing in it can move the cursor, recolour
// the screen, start a new row or reorder what follows.
namespace ambrel::core::TerminalText {

// C0 and C1 controls, DEL and the bidirectional formatting characters become visible escapes
// such as \u001b or \u202e; bytes that are not UTF-8 become \xff. Everything else, backslashes
// included, is kept. `keepNewlines` keeps line feeds, for text whose rows were laid out by us.
std::string escaped(std::string_view text, bool keepNewlines = false);

} // namespace ambrel::core::TerminalText
