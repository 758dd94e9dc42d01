#pragma once

#include <vector>

namespace ambrel::testing {

// Read speech for the echo tests, where a linear filter must face a real voice: the librivox
// excerpts of pocketsphinx's test data, one after another with short pauses, 16 kHz mono. Empty
// when they are not installed.
std::vector<float> recordedSpeech();

} // namespace ambrel::testing
