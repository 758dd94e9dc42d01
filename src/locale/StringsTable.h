#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace ambrel {

// A string table in the usual .strings form:
//     /* comment */  // comment
//     "key" = "value";
// Quoted texts know the escapes \" \\ \n \t and \r.
struct StringsTable {
    using Entries = std::map<std::string, std::string, std::less<>>;

    // Absent when the text is not such a table; the error tells the line.
    static std::optional<Entries> parse(std::string_view text, std::string* error = nullptr);
};

} // namespace ambrel
