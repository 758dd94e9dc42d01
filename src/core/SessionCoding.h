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

// Pretty-printed UTF-8. Throws std::domain_error for an instant without a calendar form.
std::string encode(const SessionRecord& record);

// Throws DecodingError. Unknown keys are ignored; null counts as absent for the optional ones.
SessionRecord decode(std::string_view json);

} // namespace ambrel::core::SessionCoding
