#include "RelaunchArguments.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>

namespace ambrel::RelaunchArguments {

std::optional<std::int32_t> relaunchedAfter(const std::vector<std::string>& arguments) {
    const auto found = std::find(arguments.begin(), arguments.end(), flag);
    if (found == arguments.end() || found + 1 == arguments.end()) {
        return std::nullopt;
    }
    std::string_view text = *(found + 1);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
            return std::nullopt;
        }
    }
    std::int32_t pid = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), pid);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return pid;
}

bool isRunning(std::int32_t pid) {
    if (pid <= 0) {
        return false;
    }
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

} // namespace ambrel::RelaunchArguments
