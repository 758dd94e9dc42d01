#include "SpokenSpeech.h"

#include "Subprocess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <regex>

namespace ambrel::testing {

std::filesystem::path spokenSentence(const std::filesystem::path& folder, const std::string& text,
                                     const std::string& voice) {
    const auto file =
        folder / (voice + "-" + std::to_string(std::hash<std::string>()(text)) + ".wav");
    EXPECT_EQ(Subprocess::run({"flite", "-voice", voice, "-t", text, "-o", file.string()}), 0);
    return file;
}

std::filesystem::path joinedWithPause(const std::filesystem::path& folder,
                                      const std::filesystem::path& first,
                                      const std::filesystem::path& second, double pause) {
    const auto padded = folder / ("padded-" + first.filename().string());
    const auto joined = folder / (first.stem().string() + "+" + second.stem().string() + ".wav");
    EXPECT_EQ(Subprocess::run(
                  {"sox", first.string(), padded.string(), "pad", "0", std::to_string(pause)}),
              0);
    EXPECT_EQ(Subprocess::run({"sox", padded.string(), second.string(), joined.string()}), 0);
    return joined;
}

std::vector<std::string> wordsOf(const std::string& text) {
    std::vector<std::string> words;
    std::string lowered = text;
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    static const std::regex word("[a-z']+");
    for (auto it = std::sregex_iterator(lowered.begin(), lowered.end(), word);
         it != std::sregex_iterator(); ++it) {
        words.push_back(it->str());
    }
    return words;
}

std::size_t wordErrors(const std::vector<std::string>& reference,
                       const std::vector<std::string>& hypothesis) {
    std::vector<std::size_t> row(hypothesis.size() + 1);
    for (std::size_t j = 0; j <= hypothesis.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= reference.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= hypothesis.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                               diagonal + (reference[i - 1] == hypothesis[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[hypothesis.size()];
}

} // namespace ambrel::testing
