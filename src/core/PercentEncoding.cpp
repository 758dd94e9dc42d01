#include "PercentEncoding.h"

#include <fmt/format.h>

namespace ambrel::core {

std::string percentEncoded(std::string_view text, std::string_view alsoKeep) {
    std::string encoded;
    encoded.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                                (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~' || alsoKeep.find(c) != std::string_view::npos;
        if (unreserved) {
            encoded += c;
        } else {
            encoded += fmt::format("%{:02X}", byte);
        }
    }
    return encoded;
}

} // namespace ambrel::core
