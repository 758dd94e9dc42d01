#include "ContentRange.h"

#include <charconv>

namespace ambrel {

namespace {

std::optional<std::uint64_t> number(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

bool equalsIgnoringCase(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i];
        if (c != lower[i]) {
            return false;
        }
    }
    return true;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

std::optional<ContentRange> ContentRange::parse(std::string_view value) {
    value = trimmed(value);
    const auto space = value.find(' ');
    if (space == std::string_view::npos || !equalsIgnoringCase(value.substr(0, space), "bytes")) {
        return std::nullopt;
    }
    value.remove_prefix(space + 1);
    const auto slash = value.find('/');
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view span = value.substr(0, slash);
    const std::string_view whole = value.substr(slash + 1);
    ContentRange range;
    if (whole != "*") {
        range.length = number(whole);
        if (!range.length) {
            return std::nullopt;
        }
    }
    if (span == "*") {
        // Only a 416 answer says this, and it must tell the length.
        return range.length ? std::optional(range) : std::nullopt;
    }
    const auto dash = span.find('-');
    if (dash == std::string_view::npos) {
        return std::nullopt;
    }
    range.first = number(span.substr(0, dash));
    range.last = number(span.substr(dash + 1));
    if (!range.first || !range.last || *range.first > *range.last ||
        (range.length && *range.last >= *range.length)) {
        return std::nullopt;
    }
    return range;
}

} // namespace ambrel
