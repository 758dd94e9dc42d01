
// A server's Content-Range decides where a continued download goes: any text must give a
// consistent range or none, and a range must read back the same once written out.
#include "FuzzFailure.h"
#include "speech/ContentRange.h"

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto range = ambrel::ContentRange::parse(text);
    if (!range) {
        return 0;
    }
    const bool consistent = range->first.has_value() == range->last.has_value() &&
                            (range->first || range->length) &&
                            (!range->first || *range->first <= *range->last) &&
                            (!range->first || !range->length || *range->last < *range->length);
    if (!consistent) {
        ambrel::fuzz::fail("an inconsistent range was accepted");
    }
    const std::string span =
        range->first ? std::to_string(*range->first) + "-" + std::to_string(*range->last) : "*";
    const std::string whole = range->length ? std::to_string(*range->length) : "*";
    if (ambrel::ContentRange::parse("bytes " + span + "/" + whole) != range) {
        ambrel::fuzz::fail("a range does not read back the same");
    }
    return 0;
}
