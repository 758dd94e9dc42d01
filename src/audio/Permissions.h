#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// May this app record the system's audio and the microphone? Asked of the tapprobe helper in
// a process of its own, refined by whether system audio was ever asked for.
namespace ambrel::Permissions {

enum class State { allowed, denied, notAsked };

std::optional<State> parseState(std::string_view word);

struct Current {
    std::optional<State> systemAudio; // absent when the helper could not tell
    State microphone = State::notAsked;

    bool operator==(const Current&) const = default;
};

// The helper's line read with the rules of the setup panel: a system-audio "denied" before the
// app ever asked counts as "notAsked"; a microphone without a usable word is "notAsked".
Current parse(std::string_view line, bool systemAudioAsked);

// The installed helper: beside the running program (in the build tree) or in
// ../libexec/ambrel/ (installed); absent when neither exists.
std::optional<std::filesystem::path> helperPath();

// Runs the helper with no arguments, its standard error discarded, killing it after
// `timeoutSeconds`; returns its trimmed output, or the empty text when it cannot run.
std::string runHelper(const std::filesystem::path& helper, double timeoutSeconds = 3.0);

// Blocks for up to three seconds: call it off the main thread. `systemAudioAsked`: whether
// the app ever asked to record the system's audio.
Current check(bool systemAudioAsked);

} // namespace ambrel::Permissions
