#pragma once

#include "core/MicrophoneSelection.h"

#include <string>
#include <vector>

namespace ambrel {

// What to transcribe and in which languages.
struct SpeechOptions {
    bool systemAudio = true;
    bool microphone = false;
    core::MicrophoneSelection microphoneDevice = core::MicrophoneSelection::automatic();
    bool automaticLanguages = true;
    std::vector<std::string> chosenLanguages; // used when not automatic
    // Removes from the microphone what the speakers play, while system audio is recorded too.
    bool echoCancellation = true;

    bool operator==(const SpeechOptions&) const = default;
};

} // namespace ambrel
