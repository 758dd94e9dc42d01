#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace ambrel::WritableFolder {

// Makes the folder when it is missing and tries a probe file in it; the reason when sessions
// cannot be written there, absent when they can.
std::optional<std::string> problem(const std::filesystem::path& folder);

} // namespace ambrel::WritableFolder
