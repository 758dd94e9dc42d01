#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace ambrel::testing {

// A sentence spoken by a flite voice, as 16 kHz WAVE in the folder.
std::filesystem::path spokenSentence(const std::filesystem::path& folder, const std::string& text,
                                     const std::string& voice = "slt");
// One file of `first`, `pause` seconds of silence, then `second`.
std::filesystem::path joinedWithPause(const std::filesystem::path& folder,
                                      const std::filesystem::path& first,
                                      const std::filesystem::path& second, double pause);

// The lower-case words of a text, for comparing recognised speech with what was said.
std::vector<std::string> wordsOf(const std::string& text);
// Word-level edit distance.
std::size_t wordErrors(const std::vector<std::string>& reference,
                       const std::vector<std::string>& hypothesis);

} // namespace ambrel::testing
