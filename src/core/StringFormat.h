#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

// printf-style formats as the string tables write them: "%@" for a text, "%d" (with the
// l/ll length modifiers, and %i/%u) for a whole number, "%%" for a percent sign, and
// positional forms such as "%2$@". Arguments are taken in order unless positions are given.
namespace ambrel::core::StringFormat {

using Argument = std::variant<std::string, std::int64_t>;

// Unknown conversions and references to missing arguments are copied unchanged, so a broken
// translation shows its placeholder rather than crashing.
std::string format(std::string_view format, std::initializer_list<Argument> arguments);

} // namespace ambrel::core::StringFormat
