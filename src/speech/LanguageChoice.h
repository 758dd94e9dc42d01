#pragma once

#include "RecognitionLanguage.h"

#include <optional>
#include <string>
#include <vector>

namespace ambrel {

// The languages a run will recognise, and what it was asked for but cannot have.
struct LanguageChoice {
    std::vector<RecognitionLanguage> languages;
    // Chosen languages (identifiers) whose model is neither installed nor downloadable now.
    std::vector<std::string> unavailable;
    // Why nothing can be downloaded now, when the list of models could not be had.
    std::optional<std::string> listProblem;

    bool operator==(const LanguageChoice&) const = default;
};

} // namespace ambrel
