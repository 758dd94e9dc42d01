#pragma once

#include <string>
#include <string_view>

namespace ambrel::core {

// Percent-encodes every byte but RFC 3986's unreserved characters and those in `alsoKeep`.
std::string percentEncoded(std::string_view text, std::string_view alsoKeep = {});

} // namespace ambrel::core
