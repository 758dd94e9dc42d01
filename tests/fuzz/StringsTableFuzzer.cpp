// String tables are read at start-up: no input may crash the reader, and what it accepts must
// format safely with the arguments the program passes.
#include "core/StringFormat.h"
#include "locale/StringsTable.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto table = ambrel::StringsTable::parse(text, &error);
    if (table) {
        for (const auto& [key, value] : *table) {
            (void)ambrel::core::StringFormat::format(value, {std::string("x"), std::int64_t{7}});
        }
    }
    return 0;
}
