#include "CommandArguments.h"

#include <fmt/format.h>

#include <algorithm>

namespace ambrel {

CommandArguments::CommandArguments(std::vector<std::string_view> words) {
    const auto separator = std::find(words.begin(), words.end(), "--");
    words_.assign(words.begin(), separator);
    if (separator != words.end()) {
        afterSeparator_.assign(separator + 1, words.end());
    }
}

bool CommandArguments::flag(std::string_view name) {
    for (auto it = words_.begin(); it != words_.end(); ++it) {
        if (*it == name) {
            words_.erase(it);
            return true;
        }
    }
    return false;
}

std::optional<std::string> CommandArguments::value(std::string_view name) {
    auto all = values(name);
    if (all.size() > 1) {
        throw UsageError{fmt::format("{} may be given only once", name)};
    }
    return all.empty() ? std::nullopt : std::optional(all.front());
}

std::vector<std::string> CommandArguments::values(std::string_view name) {
    std::vector<std::string> found;
    for (auto it = words_.begin(); it != words_.end();) {
        if (*it != name) {
            ++it;
            continue;
        }
        if (it + 1 == words_.end()) {
            throw UsageError{fmt::format("{} needs a value", name)};
        }
        found.emplace_back(*(it + 1));
        it = words_.erase(it, it + 2);
    }
    return found;
}

std::optional<bool> CommandArguments::onOff(std::string_view name) {
    const auto word = value(name);
    if (!word) {
        return std::nullopt;
    }
    if (*word == "on") {
        return true;
    }
    if (*word == "off") {
        return false;
    }
    throw UsageError{fmt::format("{} takes on or off, not {}", name, *word)};
}

void CommandArguments::refuseOptions() const {
    for (auto word : words_) {
        if (word.size() > 1 && word.front() == '-') {
            throw UsageError{fmt::format("unknown option {}", word)};
        }
    }
}

std::vector<std::string> CommandArguments::operands(std::size_t count) {
    refuseOptions();
    words_.insert(words_.end(), afterSeparator_.begin(), afterSeparator_.end());
    afterSeparator_.clear();
    if (words_.size() != count) {
        throw UsageError{words_.size() < count
                             ? "missing argument"
                             : fmt::format("unexpected argument {}", words_[count])};
    }
    return {words_.begin(), words_.end()};
}

std::vector<std::string> CommandArguments::someOperands() {
    refuseOptions();
    words_.insert(words_.end(), afterSeparator_.begin(), afterSeparator_.end());
    afterSeparator_.clear();
    if (words_.empty()) {
        throw UsageError{"missing argument"};
    }
    return {words_.begin(), words_.end()};
}

} // namespace ambrel
