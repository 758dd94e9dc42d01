#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace ambrel::core {

// Bytes from a stream cut into lines. A line may hold at most `maximumLength` bytes, so that a
// peer that never sends a line break cannot make the buffer grow without end.
class LineBuffer {
public:
    explicit LineBuffer(std::size_t maximumLength) : maximumLength_(maximumLength) {}

    // False once a line has run longer than the maximum; then everything is dropped, and the
    // stream is not worth reading further.
    bool append(std::string_view bytes);
    // The next complete line, without its "\n".
    std::optional<std::string> nextLine();

    bool overflowed() const { return overflowed_; }

private:
    std::size_t maximumLength_;
    std::deque<std::string> lines_;
    std::string current_;
    bool overflowed_ = false;
};

} // namespace ambrel::core
