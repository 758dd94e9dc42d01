#include "Permissions.h"

#include "core/UnicodeText.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace ambrel::Permissions {

namespace fs = std::filesystem;

std::optional<State> parseState(std::string_view word) {
    if (word == "allowed") {
        return State::allowed;
    }
    if (word == "denied") {
        return State::denied;
    }
    if (word == "notAsked") {
        return State::notAsked;
    }
    return std::nullopt;
}

Current parse(std::string_view line, bool systemAudioAsked) {
    std::map<std::string, std::string, std::less<>> values;
    std::size_t position = 0;
    while (position < line.size()) {
        const auto end = std::min(line.find(' ', position), line.size());
        const auto piece = line.substr(position, end - position);
        position = end + 1;
        const auto equals = piece.find('=');
        if (piece.empty() || equals == std::string_view::npos) {
            continue;
        }
        const auto key = piece.substr(0, equals);
        const auto value = piece.substr(equals + 1);
        if (!key.empty() && !value.empty()) {
            values.insert_or_assign(std::string(key), std::string(value));
        }
    }
    auto stateOf = [&](std::string_view key) -> std::optional<State> {
        const auto found = values.find(key);
        return found == values.end() ? std::nullopt : parseState(found->second);
    };
    Current current;
    current.systemAudio = stateOf("systemAudio");
    if (current.systemAudio == State::denied && !systemAudioAsked) {
        current.systemAudio = State::notAsked;
    }
    current.microphone = stateOf("microphone").value_or(State::notAsked);
    return current;
}

std::optional<fs::path> helperPath() {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::nullopt;
    }
    const fs::path folder = program.parent_path();
    for (const auto& candidate : {folder / "tapprobe", folder / "../libexec/ambrel/tapprobe"}) {
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate.lexically_normal();
        }
    }
    return std::nullopt;
}

std::string runHelper(const fs::path& helper, double timeoutSeconds) {
    if (::access(helper.c_str(), X_OK) != 0) {
        return {};
    }
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const std::string program = helper.string();
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    if (spawned != 0) {
        ::close(pipe[0]);
        return {};
    }

    // Read until the helper closes its output or its time is up; what came before counts.
    std::string output;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(timeoutSeconds));
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(child, SIGKILL);
            break;
        }
        pollfd descriptor{pipe[0], POLLIN, 0};
        const int ready = ::poll(&descriptor, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            continue;
        }
        char chunk[256];
        const ssize_t count = ::read(pipe[0], chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        output.append(chunk, static_cast<std::size_t>(count));
    }
    ::close(pipe[0]);
    // A helper that closed its output may still not end: it too gets only the time left.
    int status = 0;
    while (true) {
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended < 0 && errno == EINTR) {
            continue;
        }
        if (ended != 0) {
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(child, SIGKILL);
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::string(core::UnicodeText::trimmingWhitespace(output));
}

Current check(bool systemAudioAsked) {
    const auto helper = helperPath();
    const std::string line = helper ? runHelper(*helper) : std::string();
    return parse(line, systemAudioAsked);
}

} // namespace ambrel::Permissions
