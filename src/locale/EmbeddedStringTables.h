#pragma once

#include <optional>
#include <string_view>

// The string tables of resources/l10n, compiled into the program.
namespace ambrel::EmbeddedStringTables {

// The bytes of <code>.strings; absent when there is no table for the code.
std::optional<std::string_view> table(std::string_view code);

} // namespace ambrel::EmbeddedStringTables
