#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// Whole-file reads and writes that never leave a half-written file behind.
// Failures throw std::filesystem::filesystem_error carrying the path and the system's code.
namespace ambrel::core::FileAccess {

// Fails with EFBIG when the file holds more than maximumSize bytes.
std::string read(const std::filesystem::path& path, std::uintmax_t maximumSize);

// Writes to a hidden temporary file in the same folder, flushes it to disk and renames it over
// the target, so readers see either the old or the new contents. The folder must exist.
void writeAtomically(const std::filesystem::path& path, std::string_view bytes);

// Renames without replacing an existing destination; fails with EEXIST if there is one.
void renameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

} // namespace ambrel::core::FileAccess
