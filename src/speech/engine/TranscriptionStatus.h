#pragma once

#include "RunProblem.h"
#include "core/Instant.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace ambrel {

// The speech engine's situation in one value; observers are told whenever it changes.
struct TranscriptionStatus {
    // Checking permissions and installing models; progress while a download reports it.
    struct Preparing {
        std::optional<double> progress;
        bool operator==(const Preparing&) const = default;
    };
    // The run failed to start or lost all its sources.
    struct Failed {
        RunProblem problem;
        bool operator==(const Failed&) const = default;
    };
    struct Idle {
        bool operator==(const Idle&) const = default;
    };
    struct Listening {
        bool operator==(const Listening&) const = default;
    };
    struct Paused {
        bool operator==(const Paused&) const = default;
    };
    using State = std::variant<Preparing, Failed, Idle, Listening, Paused>;

    // Why the microphone is not recording.
    struct MicrophoneFailed {
        std::string message;
        bool operator==(const MicrophoneFailed&) const = default;
    };
    struct MicrophoneNotConnected {
        bool operator==(const MicrophoneNotConnected&) const = default;
    };
    using MicrophoneProblem = std::variant<MicrophoneFailed, MicrophoneNotConnected>;

    State state = Idle{};
    std::optional<std::string> currentSessionID;
    std::optional<core::Instant> currentSessionStartedAt;
    std::int64_t currentLineCount = 0;
    std::vector<std::string> languages;
    std::optional<std::string> detectedLanguage;
    std::optional<std::string> microphoneDevice;
    std::optional<MicrophoneProblem> microphoneProblem;
    std::vector<RunProblem> warnings; // what the run goes on without, oldest first
    std::optional<std::string> lastSaveError;

    template <typename S>
    bool is() const {
        return std::holds_alternative<S>(state);
    }
    // A run is on: preparing, listening or paused (not off, not failed).
    bool isRunning() const { return is<Preparing>() || is<Listening>() || is<Paused>(); }

    bool operator==(const TranscriptionStatus&) const = default;
};

} // namespace ambrel
