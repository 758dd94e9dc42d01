#pragma once

#include "SessionRecord.h"

#include <stdexcept>
#include <string>
#include <string_view>

// The JSON form of a session record: keys sorted, UUIDs in upper case, dates in the
// millisecond form, "endedAt" and "language" left out when absent.
namespace ambrel::core::SessionCoding {

// Why a text is not a session record; the message says where.
struct DecodingError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Files that nest arrays and objects deeper than this are refused before anything is built
// from them; a session needs three levels.
constexpr int maximumNesting = 256;

// The JSON text of a session file's bytes: without the NUL bytes that a crash can leave at the
// end of a file.
std::string_view withoutTrailingNuls(std::string_view bytes);

// Pretty-printed UTF-8. Throws std::domain_error for an instant without a calendar form.
std::string encode(const SessionRecord& record);

// Throws DecodingError. Unknown keys are ignored; null counts as absent for the optional ones.
// A UTF-8 byte-order mark may come first, and NUL bytes may follow the text.
SessionRecord decode(std::string_view json);

} // namespace ambrel::core::SessionCoding
