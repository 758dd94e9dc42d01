# Script mode: writes OUTPUT, a C++ file holding every <code>.strings file of L10N_DIR as bytes,
# with a lookup by language code. Run by a custom command whenever a table changes.
file(GLOB tables "${L10N_DIR}/*.strings")
list(SORT tables)
set(arrays "")
set(cases "")
foreach(table IN LISTS tables)
    get_filename_component(code "${table}" NAME_WE)
    string(MAKE_C_IDENTIFIER "${code}" name)
    file(READ "${table}" hex HEX)
    string(LENGTH "${hex}" length)
    if(length EQUAL 0)
        set(bytes "0x00")
        set(size 0)
    else()
        string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
        math(EXPR size "${length} / 2")
    endif()
    string(APPEND arrays "constexpr unsigned char table_${name}[] = {${bytes}};\n")
    string(APPEND cases "    if (code == \"${code}\") {\n        return std::string_view(reinterpret_cast<const char*>(table_${name}), ${size});\n    }\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated from resources/l10n by cmake/EmbedStringTables.cmake; do not edit.
#include \"locale/EmbeddedStringTables.h\"

namespace ambrel::EmbeddedStringTables {

namespace {
${arrays}} // namespace

std::optional<std::string_view> table(std::string_view code) {
${cases}    return std::nullopt;
}

} // namespace ambrel::EmbeddedStringTables
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
