#pragma once

#include <string>

namespace ambrel {

// A language a recogniser can work in, and which engine serves it.
struct RecognitionLanguage {
    enum class Engine {
        speech,    // downloadable models, many languages
        dictation, // models that come with the system; always there
    };

    std::string identifier; // BCP 47, e.g. "en-US"
    Engine engine = Engine::dictation;

    bool operator==(const RecognitionLanguage&) const = default;
};

} // namespace ambrel
