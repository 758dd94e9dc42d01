#include "TerminalFacts.h"

#include <iostream>
#include <sys/ioctl.h>
#include <unistd.h>

namespace ambrel::TerminalFacts {

bool isInteractive(const std::ostream& stream) {
    return &stream == &std::cout && ::isatty(STDOUT_FILENO) == 1;
}

std::size_t columns(const std::ostream& stream) {
    winsize size{};
    if (!isInteractive(stream) || ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) {
        return 0;
    }
    return size.ws_col;
}

} // namespace ambrel::TerminalFacts
