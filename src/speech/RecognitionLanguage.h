#pragma once

#include <string>
#include <vector>

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

    // Below this a line's confidence counts as low. Each engine scores on a scale of its own:
    // the dictation engine gives clearly heard speech about 0.7 to 0.95 and its echo from the
    // speakers about 0.35 to 0.8; the speech engine's word posteriors sit near 1 for words it
    // hears clearly.
    static double lowConfidence(Engine engine) { return engine == Engine::dictation ? 0.7 : 0.85; }

    // The identifiers of `languages`, in their order.
    static std::vector<std::string> identifiers(const std::vector<RecognitionLanguage>& languages) {
        std::vector<std::string> result;
        result.reserve(languages.size());
        for (const auto& language : languages) {
            result.push_back(language.identifier);
        }
        return result;
    }
};

} // namespace ambrel
