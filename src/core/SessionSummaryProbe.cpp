#include "SessionSummaryProbe.h"

#include "MillisecondDate.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace ambrel::core {

namespace {

// Deeper documents are refused rather than risking the stack.
constexpr int maximumDepth = 256;

// Bytes that end the fast scan inside a string: the quote, the backslash, control characters
// and every non-ASCII byte.
constexpr std::array<bool, 256> stringStopTable = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[c] = c < 0x20 || c == '"' || c == '\\' || c >= 0x80;
    }
    return table;
}();

void appendUtf8(std::string& out, std::uint32_t scalar) {
    if (scalar < 0x80) {
        out.push_back(static_cast<char>(scalar));
    } else if (scalar < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (scalar >> 6)));
        out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
    } else if (scalar < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (scalar >> 12)));
        out.push_back(static_cast<char>(0x80 | ((scalar >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (scalar >> 18)));
        out.push_back(static_cast<char>(0x80 | ((scalar >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((scalar >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
    }
}

// A validating JSON reader (RFC 8259, UTF-8 as in RFC 3629) that skips what it is not asked for.
class Scanner {
public:
    explicit Scanner(std::string_view text)
        : p_(reinterpret_cast<const unsigned char*>(text.data()))
        , end_(p_ + text.size()) {}

    void skipWhitespace() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) {
            ++p_;
        }
    }

    bool atEnd() const { return p_ == end_; }
    bool peek(unsigned char c) const { return p_ < end_ && *p_ == c; }
    bool consume(unsigned char c) {
        if (peek(c)) {
            ++p_;
            return true;
        }
        return false;
    }

    // Reads a string starting at its opening quote; decodes it into `out` when given.
    bool string(std::string* out) {
        if (!consume('"')) {
            return false;
        }
        while (true) {
            const unsigned char* start = p_;
            while (p_ < end_ && !stringStopTable[*p_]) {
                ++p_;
            }
            if (out != nullptr) {
                out->append(reinterpret_cast<const char*>(start),
                            static_cast<std::size_t>(p_ - start));
            }
            if (p_ == end_) {
                return false;
            }
            const unsigned char c = *p_;
            if (c == '"') {
                ++p_;
                return true;
            }
            if (c < 0x20) {
                return false;
            }
            if (c == '\\') {
                if (!escape(out)) {
                    return false;
                }
            } else if (!utf8Sequence(out)) {
                return false;
            }
        }
    }

    // Skips any value, validating it.
    bool skipValue(int depth) {
        if (depth > maximumDepth || p_ == end_) {
            return false;
        }
        switch (*p_) {
        case '"':
            return string(nullptr);
        case '{':
            return object(depth, [this](const std::string&, int d) { return skipValue(d); });
        case '[':
            return array(depth, nullptr);
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        case 'n':
            return literal("null");
        default:
            return number();
        }
    }

    // Reads an object, calling member(key, depth) with the scanner at each value.
    template <typename Member>
    bool object(int depth, Member&& member) {
        if (!consume('{')) {
            return false;
        }
        skipWhitespace();
        if (consume('}')) {
            return true;
        }
        std::string key;
        while (true) {
            key.clear();
            skipWhitespace();
            if (!string(&key)) {
                return false;
            }
            skipWhitespace();
            if (!consume(':')) {
                return false;
            }
            skipWhitespace();
            if (!member(key, depth + 1)) {
                return false;
            }
            skipWhitespace();
            if (consume('}')) {
                return true;
            }
            if (!consume(',')) {
                return false;
            }
        }
    }

    // Skips an array, counting its elements into `count` when given.
    bool array(int depth, std::size_t* count) {
        if (!consume('[')) {
            return false;
        }
        std::size_t elements = 0;
        skipWhitespace();
        if (!consume(']')) {
            while (true) {
                skipWhitespace();
                if (!skipValue(depth + 1)) {
                    return false;
                }
                ++elements;
                skipWhitespace();
                if (consume(']')) {
                    break;
                }
                if (!consume(',')) {
                    return false;
                }
            }
        }
        if (count != nullptr) {
            *count = elements;
        }
        return true;
    }

private:
    bool literal(std::string_view word) {
        if (static_cast<std::size_t>(end_ - p_) < word.size() ||
            std::string_view(reinterpret_cast<const char*>(p_), word.size()) != word) {
            return false;
        }
        p_ += word.size();
        return true;
    }

    bool digits() {
        const unsigned char* start = p_;
        while (p_ < end_ && *p_ >= '0' && *p_ <= '9') {
            ++p_;
        }
        return p_ > start;
    }

    bool number() {
        const unsigned char* start = p_;
        if (!numberSyntax()) {
            return false;
        }
        // Like the full reader, refuse numbers beyond the range of a double.
        const auto length = static_cast<std::size_t>(p_ - start);
        if (length < 16) {
            return true;
        }
        const std::string text(reinterpret_cast<const char*>(start), length);
        return std::isfinite(std::strtod(text.c_str(), nullptr));
    }

    bool numberSyntax() {
        consume('-');
        if (consume('0')) {
            // no further integer digits after a leading zero
        } else if (p_ < end_ && *p_ >= '1' && *p_ <= '9') {
            digits();
        } else {
            return false;
        }
        if (consume('.') && !digits()) {
            return false;
        }
        if (consume('e') || consume('E')) {
            if (!consume('+')) {
                consume('-');
            }
            if (!digits()) {
                return false;
            }
        }
        return true;
    }

    bool hex4(std::uint32_t& value) {
        if (end_ - p_ < 4) {
            return false;
        }
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const unsigned char c = *p_++;
            value <<= 4;
            if (c >= '0' && c <= '9') {
                value |= c - '0';
            } else if (c >= 'a' && c <= 'f') {
                value |= c - 'a' + 10;
            } else if (c >= 'A' && c <= 'F') {
                value |= c - 'A' + 10;
            } else {
                return false;
            }
        }
        return true;
    }

    bool escape(std::string* out) {
        ++p_; // the backslash
        if (p_ == end_) {
            return false;
        }
        const unsigned char c = *p_++;
        char plain = 0;
        switch (c) {
        case '"':
            plain = '"';
            break;
        case '\\':
            plain = '\\';
            break;
        case '/':
            plain = '/';
            break;
        case 'b':
            plain = '\b';
            break;
        case 'f':
            plain = '\f';
            break;
        case 'n':
            plain = '\n';
            break;
        case 'r':
            plain = '\r';
            break;
        case 't':
            plain = '\t';
            break;
        case 'u': {
            std::uint32_t unit = 0;
            if (!hex4(unit)) {
                return false;
            }
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                return false; // a lone low surrogate
            }
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                std::uint32_t low = 0;
                if (!consume('\\') || !consume('u') || !hex4(low) || low < 0xDC00 || low > 0xDFFF) {
                    return false;
                }
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            }
            if (out != nullptr) {
                appendUtf8(*out, unit);
            }
            return true;
        }
        default:
            return false;
        }
        if (out != nullptr) {
            out->push_back(plain);
        }
        return true;
    }

    bool continuation(std::ptrdiff_t offset, unsigned char low = 0x80,
                      unsigned char high = 0xBF) const {
        return p_ + offset < end_ && p_[offset] >= low && p_[offset] <= high;
    }

    // One multi-byte UTF-8 sequence: no overlong forms, no surrogates, nothing above U+10FFFF.
    bool utf8Sequence(std::string* out) {
        const unsigned char lead = *p_;
        std::ptrdiff_t length = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = continuation(1) ? 2 : 0;
        } else if (lead == 0xE0) {
            length = continuation(1, 0xA0) && continuation(2) ? 3 : 0;
        } else if (lead == 0xED) {
            length = continuation(1, 0x80, 0x9F) && continuation(2) ? 3 : 0;
        } else if (lead >= 0xE1 && lead <= 0xEF) {
            length = continuation(1) && continuation(2) ? 3 : 0;
        } else if (lead == 0xF0) {
            length = continuation(1, 0x90) && continuation(2) && continuation(3) ? 4 : 0;
        } else if (lead >= 0xF1 && lead <= 0xF3) {
            length = continuation(1) && continuation(2) && continuation(3) ? 4 : 0;
        } else if (lead == 0xF4) {
            length = continuation(1, 0x80, 0x8F) && continuation(2) && continuation(3) ? 4 : 0;
        }
        if (length == 0) {
            return false;
        }
        if (out != nullptr) {
            out->append(reinterpret_cast<const char*>(p_), static_cast<std::size_t>(length));
        }
        p_ += length;
        return true;
    }

    const unsigned char* p_;
    const unsigned char* end_;
};

} // namespace

std::optional<SessionSummaryProbe> SessionSummaryProbe::read(std::string_view json) {
    // A member may appear more than once; like the full reader, the last one counts, so a bad
    // value is only remembered, not fatal, until the end.
    enum class State { absent, invalid, present };
    struct Member {
        State state = State::absent;
        Instant date = 0;
        std::size_t count = 0;
    };
    Member startedAt, endedAt, lastUpdated, lines;
    Scanner scanner(json);
    std::string value;

    auto dateMember = [&](Member& member, bool nullable, int depth) {
        if (scanner.peek('"')) {
            value.clear();
            if (!scanner.string(&value)) {
                return false;
            }
            const auto date = MillisecondDate::parse(value);
            member.state = date ? State::present : State::invalid;
            member.date = date.value_or(0);
            return true;
        }
        const bool isNull = scanner.peek('n');
        member.state = nullable && isNull ? State::absent : State::invalid;
        return scanner.skipValue(depth);
    };

    scanner.skipWhitespace();
    const bool parsed = scanner.object(0, [&](const std::string& key, int depth) {
        if (key == "startedAt") {
            return dateMember(startedAt, false, depth);
        }
        if (key == "endedAt") {
            return dateMember(endedAt, true, depth);
        }
        if (key == "lastUpdated") {
            return dateMember(lastUpdated, false, depth);
        }
        if (key == "lines") {
            if (!scanner.peek('[')) {
                lines.state = State::invalid;
                return scanner.skipValue(depth);
            }
            lines.state = State::present;
            return scanner.array(depth, &lines.count);
        }
        return scanner.skipValue(depth);
    });
    scanner.skipWhitespace();
    if (!parsed || !scanner.atEnd() || startedAt.state != State::present ||
        lastUpdated.state != State::present || lines.state != State::present ||
        endedAt.state == State::invalid) {
        return std::nullopt;
    }
    return SessionSummaryProbe{startedAt.date,
                               endedAt.state == State::present ? std::optional(endedAt.date)
                                                               : std::nullopt,
                               lastUpdated.date, lines.count};
}

} // namespace ambrel::core
