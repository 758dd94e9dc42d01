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
