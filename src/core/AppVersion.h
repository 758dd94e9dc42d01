#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ambrel::core {

// A dotted numeric version such as 1.4 or 2.0.1; missing parts count as 0, so 1.2 == 1.2.0.
class AppVersion {
public:
    // Blanks around the text are ignored; every dot-separated piece must be a whole number
    // (a leading "+" allowed) that fits 64 bits.
    static std::optional<AppVersion> parse(std::string_view text);

    const std::vector<std::int64_t>& parts() const { return parts_; }
    std::string description() const;

    friend bool operator==(const AppVersion& a, const AppVersion& b) { return compare(a, b) == 0; }
    friend std::strong_ordering operator<=>(const AppVersion& a, const AppVersion& b) {
        return compare(a, b) <=> 0;
    }

private:
    explicit AppVersion(std::vector<std::int64_t> parts) : parts_(std::move(parts)) {}
    static int compare(const AppVersion& a, const AppVersion& b);

    std::vector<std::int64_t> parts_;
};

} // namespace ambrel::core
