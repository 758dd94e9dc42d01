#include "AppVersion.h"

#include "UnicodeText.h"

#include <algorithm>
#include <charconv>

namespace ambrel::core {

namespace {

std::optional<std::int64_t> piece(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt; // too large
    }
    return value;
}

} // namespace

std::optional<AppVersion> AppVersion::parse(std::string_view text) {
    text = UnicodeText::trimmingBlanks(text);
    if (text.empty()) {
        return std::nullopt;
    }
    std::vector<std::int64_t> parts;
    while (true) {
        const auto dot = text.find('.');
        const auto value = piece(text.substr(0, dot));
        if (!value) {
            return std::nullopt;
        }
        parts.push_back(*value);
        if (dot == std::string_view::npos) {
            break;
        }
        text.remove_prefix(dot + 1);
    }
    return AppVersion(std::move(parts));
}

std::string AppVersion::description() const {
    std::string text;
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        text += (i == 0 ? "" : ".") + std::to_string(parts_[i]);
    }
    return text;
}

int AppVersion::compare(const AppVersion& a, const AppVersion& b) {
    const std::size_t length = std::max(a.parts_.size(), b.parts_.size());
    for (std::size_t i = 0; i < length; ++i) {
        const std::int64_t x = i < a.parts_.size() ? a.parts_[i] : 0;
        const std::int64_t y = i < b.parts_.size() ? b.parts_[i] : 0;
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return 0;
}

} // namespace ambrel::core
