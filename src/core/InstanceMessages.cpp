#include "InstanceMessages.h"

#include <charconv>
#include <cstdint>

namespace ambrel::core::InstanceMessages {

namespace {

constexpr std::string_view prefix = "Ambrel ";

} // namespace

std::string greeting(long long processID) {
    return std::string(prefix) + std::to_string(processID);
}

std::optional<long long> parseGreeting(std::string_view line) {
    if (!line.starts_with(prefix)) {
        return std::nullopt;
    }
    const auto digits = line.substr(prefix.size());
    // from_chars takes a sign and leading zeros; the greeting the app writes has neither.
    if (digits.empty() || digits.front() < '1' || digits.front() > '9') {
        return std::nullopt;
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || value <= 0) {
        return std::nullopt;
    }
    return value;
}

} // namespace ambrel::core::InstanceMessages
