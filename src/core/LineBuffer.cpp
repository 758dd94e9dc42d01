#include "LineBuffer.h"

namespace ambrel::core {

bool LineBuffer::append(std::string_view bytes) {
    while (!overflowed_ && !bytes.empty()) {
        const auto end = bytes.find('\n');
        const auto piece = bytes.substr(0, end);
        if (piece.size() > maximumLength_ - current_.size()) {
            overflowed_ = true;
            lines_.clear();
            current_.clear();
            current_.shrink_to_fit();
            break;
        }
        current_.append(piece);
        if (end == std::string_view::npos) {
            break;
        }
        lines_.push_back(std::move(current_));
        current_.clear();
        bytes.remove_prefix(end + 1);
    }
    return !overflowed_;
}

std::optional<std::string> LineBuffer::nextLine() {
    if (lines_.empty()) {
        return std::nullopt;
    }
    auto line = std::move(lines_.front());
    lines_.pop_front();
    return line;
}

} // namespace ambrel::core
