#pragma once

#include <iosfwd>

namespace ambrel::CommandLine {

// Runs the command named by the arguments. Exit status: 0 done, 1 failed, 2 usage error.
int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

} // namespace ambrel::CommandLine
