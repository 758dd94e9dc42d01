#include "TerminalText.h"

#include <fmt/format.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace ambrel::core::TerminalText {

namespace {

bool needsEscape(UChar32 c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

std::string escaped(std::string_view text, bool keepNewlines) {
    std::string result;
    result.reserve(text.size());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    std::int32_t i = 0;
    while (i < length) {
        const auto start = i;
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) {
            for (auto j = start; j < i; ++j) {
                result += fmt::format("\\x{:02x}", bytes[j]);
            }
        } else if (needsEscape(c) && !(keepNewlines && c == '\n')) {
            result += fmt::format("\\u{:04x}", static_cast<std::uint32_t>(c));
        } else {
            result.append(
                text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
        }
    }
    return result;
}

} // namespace ambrel::core::TerminalText
