#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// What the running app and a later copy of it say over their local socket, one line each: the
// running one greets with its process id, the later one asks it to show its history.
namespace ambrel::core::InstanceMessages {

// Lines longer than this are not ours; whoever sends one is dropped.
inline constexpr std::size_t maximumLineLength = 64 * 1024;

inline constexpr std::string_view showHistory = "showHistory";

// "Ambrel 1234", without the line break.
std::string greeting(long long processID);

// The process id of a greeting, exactly as greeting() writes it: "Ambrel " and a positive
// decimal number without leading zeros that fits a pid_t; nothing for anything else.
std::optional<long long> parseGreeting(std::string_view line);

} // namespace ambrel::core::InstanceMessages
