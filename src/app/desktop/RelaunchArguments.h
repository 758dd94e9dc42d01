#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ambrel::RelaunchArguments {

constexpr const char* flag = "-relaunchedAfter";

// The process id after "-relaunchedAfter": a signed decimal 32-bit number, "+" allowed; absent
// when the flag, its value or a valid number is missing.
std::optional<std::int32_t> relaunchedAfter(const std::vector<std::string>& arguments);

// Whether the process still runs.
bool isRunning(std::int32_t pid);

} // namespace ambrel::RelaunchArguments
