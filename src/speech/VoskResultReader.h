#pragma once

#include "Recognizer.h"

#include <optional>
#include <string_view>
#include <utility>

namespace ambrel {

// Turns the JSON texts libvosk reports into recogniser results. They come from a library we do
// not control: whatever is missing or of the wrong type is left out rather than trusted.
class VoskResultReader {
public:
    // A partial result ({"partial": text}): one run with the whole text, no time and no
    // confidence, covering `range`; no runs when the text is empty. Absent when `json` is not a
    // partial result.
    static std::optional<RecognizerResult> readPartial(std::string_view json,
                                                       std::pair<double, double> range);

    // A final result ({"text": ..., "result": [{"word", "start", "end", "conf"}...]}): one run per
    // word, its time moved onto the pipeline's time line by `offset`. Without usable word
    // details, one untimed run with the whole text over `range`. Absent when the text is empty
    // or `json` is not a result.
    static std::optional<RecognizerResult> readFinal(std::string_view json, double offset,
                                                     std::pair<double, double> range);
};

} // namespace ambrel
