#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace ambrel::core {

// Where a line of speech was heard.
enum class SpeechSource {
    systemAudio, // what the computer plays
    microphone,  // the user's microphone
};

inline constexpr std::array<SpeechSource, 2> allSpeechSources{SpeechSource::systemAudio,
                                                              SpeechSource::microphone};

constexpr std::string_view rawValue(SpeechSource source) {
    return source == SpeechSource::systemAudio ? "systemAudio" : "microphone";
}

// Exact, case-sensitive match of the raw value.
constexpr std::optional<SpeechSource> speechSourceFromRawValue(std::string_view text) {
    for (auto source : allSpeechSources) {
        if (rawValue(source) == text) {
            return source;
        }
    }
    return std::nullopt;
}

} // namespace ambrel::core
