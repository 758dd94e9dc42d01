#include "StringsTable.h"

#include <fmt/format.h>

namespace ambrel {

namespace {

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {
        if (text_.starts_with("\xEF\xBB\xBF")) {
            position_ = 3; // a byte-order mark
        }
    }

    std::optional<StringsTable::Entries> parse() {
        StringsTable::Entries entries;
        while (skipSpaceAndComments()) {
            std::string key;
            std::string value;
            if (!quoted(key) || !next('=') || !skipToToken() || !quoted(value) || !next(';')) {
                return std::nullopt;
            }
            entries.insert_or_assign(std::move(key), std::move(value));
        }
        if (!error_.empty()) {
            return std::nullopt;
        }
        return entries;
    }

    const std::string& error() const { return error_; }

private:
    // Skips blanks and comments; false at the end of the text or on an unclosed comment.
    bool skipSpaceAndComments() {
        while (position_ < text_.size()) {
            const char c = text_[position_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                advance();
            } else if (text_.substr(position_, 2) == "/*") {
                const auto end = text_.find("*/", position_ + 2);
                if (end == std::string_view::npos) {
                    fail("unclosed comment");
                    return false;
                }
                while (position_ < end + 2) {
                    advance();
                }
            } else if (text_.substr(position_, 2) == "//") {
                while (position_ < text_.size() && text_[position_] != '\n') {
                    advance();
                }
            } else {
                return true;
            }
        }
        return false;
    }

    // Skips to the next token; at the end of the text that is an error.
    bool skipToToken() {
        if (skipSpaceAndComments()) {
            return true;
        }
        fail("unexpected end of text");
        return false;
    }

    bool next(char c) { return skipToToken() && expect(c); }

    bool expect(char c) {
        if (position_ < text_.size() && text_[position_] == c) {
            advance();
            return true;
        }
        fail(fmt::format("expected '{}'", c));
        return false;
    }

    bool quoted(std::string& out) {
        if (!expect('"')) {
            return false;
        }
        while (position_ < text_.size()) {
            const char c = text_[position_];
            advance();
            if (c == '"') {
                return true;
            }
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (position_ >= text_.size()) {
                break;
            }
            const char escaped = text_[position_];
            advance();
            switch (escaped) {
            case '"':
            case '\\':
                out.push_back(escaped);
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'r':
                out.push_back('\r');
                break;
            default:
                fail(fmt::format("unknown escape \\{}", escaped));
                return false;
            }
        }
        fail("unclosed quote");
        return false;
    }

    void advance() {
        if (text_[position_] == '\n') {
            ++line_;
        }
        ++position_;
    }

    void fail(const std::string& message) {
        if (error_.empty()) {
            error_ = fmt::format("line {}: {}", line_, message);
        }
    }

    std::string_view text_;
    std::size_t position_ = 0;
    int line_ = 1;
    std::string error_;
};

} // namespace

std::optional<StringsTable::Entries> StringsTable::parse(std::string_view text,
                                                         std::string* error) {
    Parser parser(text);
    auto entries = parser.parse();
    if (!entries && error != nullptr) {
        *error = parser.error().empty() ? "not a string table" : parser.error();
    }
    return entries;
}

} // namespace ambrel
