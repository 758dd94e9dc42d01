// Whatever a client of the single-instance socket sends, in whatever pieces: no line held may
// run past the limit, the lines read back must be the bytes sent, and a greeting accepted must be
// the one the running app would write.
#include "FuzzFailure.h"
#include "core/InstanceMessages.h"
#include "core/LineBuffer.h"

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ambrel::core;
    using ambrel::fuzz::fail;
    if (size < 2) {
        return 0;
    }
    // The first bytes choose the limit and the size of the pieces, so that both are explored.
    const std::size_t limit = data[0] % 64;
    const std::size_t piece = data[1] % 16 + 1;
    const std::string_view stream(reinterpret_cast<const char*>(data + 2), size - 2);

    LineBuffer buffer(limit);
    std::string readBack;
    bool open = true;
    for (std::size_t at = 0; at < stream.size() && open; at += piece) {
        open = buffer.append(stream.substr(at, piece));
        while (const auto line = buffer.nextLine()) {
            if (line->size() > limit) {
                fail("a line longer than the limit was passed on");
            }
            if (const auto pid = InstanceMessages::parseGreeting(*line)) {
                if (*pid <= 0 || InstanceMessages::greeting(*pid) != *line) {
                    fail("a greeting was accepted that the app would not write");
                }
            }
            readBack += *line + "\n";
        }
    }
    if (open != !buffer.overflowed()) {
        fail("append and overflowed() disagree");
    }
    if (open && stream.substr(0, readBack.size()) != readBack) {
        fail("the lines read are not the bytes sent");
    }
    if (open && stream.substr(readBack.size()).find('\n') != std::string_view::npos) {
        fail("a complete line was held back");
    }
    return 0;
}
