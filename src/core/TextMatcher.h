#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ambrel::core {

// Finds a query in texts the way people search: case, accents and character width do not
// matter ("cafe" finds "Café", "ｒｅｐｏｒｔ" finds "Report", "strasse" finds "Straße"). Both
// sides are folded to a comparable form (compatibility decomposition, accents removed, full case
// folding), then compared as plain text, which keeps a search over many transcripts fast.
class TextMatcher {
public:
    // The comparable form of a text, UTF-8. With `origins`, also the byte offset in `text` of the
    // character each folded byte came from, plus one entry for the end.
    static std::string fold(std::string_view text, std::vector<std::uint32_t>* origins = nullptr);

    explicit TextMatcher(std::string_view query);

    bool isEmpty() const { return folded_.empty(); }
    const std::string& foldedQuery() const { return folded_; }

    // Whether the query occurs in a text already folded.
    bool foundIn(std::string_view foldedText) const;
    // Non-overlapping occurrences in a text, from its start, as byte ranges [first, second) of
    // the text; each range covers whole characters.
    std::vector<std::pair<std::size_t, std::size_t>> occurrences(std::string_view text) const;

private:
    std::string folded_;
};

} // namespace ambrel::core
