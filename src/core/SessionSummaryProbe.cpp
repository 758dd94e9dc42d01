#include "SessionSummaryProbe.h"

#include "MarkerKind.h"
#include "MillisecondDate.h"
#include "SessionCoding.h"
#include "SpeechSource.h"
#include "Uuid.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace ambrel::core {

namespace {

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
// Every syntax check answers false; callers pass that straight up.
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
    bool consume(std::string_view bytes) {
        if (static_cast<std::size_t>(end_ - p_) < bytes.size() ||
            std::string_view(reinterpret_cast<const char*>(p_), bytes.size()) != bytes) {
            return false;
        }
        p_ += bytes.size();
        return true;
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
    bool skipValue() {
        if (p_ == end_) {
            return false;
        }
        switch (*p_) {
        case '"':
            return string(nullptr);
        case '{':
            return object([this](const std::string&) { return skipValue(); });
        case '[':
            return array([this] { return skipValue(); });
        case 't':
            return consume("true");
        case 'f':
            return consume("false");
        case 'n':
            return consume("null");
        default:
            return number();
        }
    }

    // Reads an object, calling member(key) with the scanner at each value.
    template <typename Member>
    bool object(Member&& member) {
        if (!consume('{') || !enter()) {
            return false;
        }
        skipWhitespace();
        if (consume('}')) {
            return leave();
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
            if (!member(key)) {
                return false;
            }
            skipWhitespace();
            if (consume('}')) {
                return leave();
            }
            if (!consume(',')) {
                return false;
            }
        }
    }

    // Reads an array, calling element() with the scanner at each element.
    template <typename Element>
    bool array(Element&& element) {
        if (!consume('[') || !enter()) {
            return false;
        }
        skipWhitespace();
        if (consume(']')) {
            return leave();
        }
        while (true) {
            skipWhitespace();
            if (!element()) {
                return false;
            }
            skipWhitespace();
            if (consume(']')) {
                return leave();
            }
            if (!consume(',')) {
                return false;
            }
        }
    }

private:
    // The full reader refuses deeper files before parsing them; so does this one.
    bool enter() { return ++depth_ <= SessionCoding::maximumNesting; }
    bool leave() {
        --depth_;
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
        bool exponent = false;
        if (!numberSyntax(exponent)) {
            return false;
        }
        // Like the full reader, refuse numbers beyond the range of a double. Without an exponent
        // that takes hundreds of digits; with one, any length will do.
        const auto length = static_cast<std::size_t>(p_ - start);
        if (!exponent && length < 300) {
            return true;
        }
        const std::string text(reinterpret_cast<const char*>(start), length);
        return std::isfinite(std::strtod(text.c_str(), nullptr));
    }

    bool numberSyntax(bool& exponent) {
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
            exponent = true;
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
    int depth_ = 0;
};

// What the last occurrence of a member held (the full reader keeps the last of repeated keys).
enum class State { absent, invalid, present };

// Values of the session format, checked as the full reader checks them. Each answers false for
// broken JSON only; whether the value was of the wanted kind goes into `state`.
class SessionReader {
public:
    explicit SessionReader(Scanner& scanner) : scanner_(scanner) {}

    bool text(State& state, bool nullable = false) {
        if (scanner_.peek('"')) {
            state = State::present;
            return scanner_.string(nullptr);
        }
        return other(state, nullable);
    }

    // A text that `accepts` must accept.
    template <typename Accepts>
    bool text(State& state, Accepts&& accepts) {
        if (!scanner_.peek('"')) {
            return other(state, false);
        }
        value_.clear();
        if (!scanner_.string(&value_)) {
            return false;
        }
        state = accepts(value_) ? State::present : State::invalid;
        return true;
    }

    bool date(State& state, Instant& instant, bool nullable = false) {
        if (!scanner_.peek('"')) {
            return other(state, nullable);
        }
        value_.clear();
        if (!scanner_.string(&value_)) {
            return false;
        }
        const auto parsed = MillisecondDate::parse(value_);
        state = parsed ? State::present : State::invalid;
        instant = parsed.value_or(0);
        return true;
    }

    // An array whose elements `element(valid)` reads; present when every element is valid.
    template <typename Element>
    bool array(State& state, std::size_t* count, Element&& element) {
        if (!scanner_.peek('[')) {
            return other(state, false);
        }
        bool valid = true;
        std::size_t elements = 0;
        const bool parsed = scanner_.array([&] {
            ++elements;
            return element(valid);
        });
        state = valid ? State::present : State::invalid;
        if (count != nullptr) {
            *count = elements;
        }
        return parsed;
    }

    bool languages(State& state) {
        return array(state, nullptr, [this](bool& valid) {
            State language = State::absent;
            const bool parsed = text(language);
            valid = valid && language == State::present;
            return parsed;
        });
    }

    bool lines(State& state, std::size_t& count) {
        return array(state, &count, [this](bool& valid) {
            State id{}, language{}, source{}, start{}, words{};
            Instant unused = 0;
            const bool parsed = object(valid, [&](const std::string& key) {
                if (key == "id") {
                    return text(id,
                                [](const std::string& v) { return Uuid::parse(v).has_value(); });
                }
                if (key == "language") {
                    return text(language, true);
                }
                if (key == "source") {
                    return text(source, [](const std::string& v) {
                        return speechSourceFromRawValue(v).has_value();
                    });
                }
                if (key == "start") {
                    return date(start, unused);
                }
                if (key == "text") {
                    return text(words);
                }
                return scanner_.skipValue();
            });
            valid = valid && id == State::present && language != State::invalid &&
                    source == State::present && start == State::present && words == State::present;
            return parsed;
        });
    }

    bool markers(State& state) {
        return array(state, nullptr, [this](bool& valid) {
            State date{}, kind{};
            Instant unused = 0;
            const bool parsed = object(valid, [&](const std::string& key) {
                if (key == "date") {
                    return this->date(date, unused);
                }
                if (key == "kind") {
                    return text(kind, [](const std::string& v) {
                        return markerKindFromRawValue(v).has_value();
                    });
                }
                return scanner_.skipValue();
            });
            valid = valid && date == State::present && kind == State::present;
            return parsed;
        });
    }

private:
    // A value of the wrong kind; null stands for absent where that is allowed.
    bool other(State& state, bool nullable) {
        state = nullable && scanner_.peek('n') ? State::absent : State::invalid;
        return scanner_.skipValue();
    }

    // An element that must be an object; `valid` turns false when it is something else.
    template <typename Member>
    bool object(bool& valid, Member&& member) {
        if (!scanner_.peek('{')) {
            valid = false;
            return scanner_.skipValue();
        }
        return scanner_.object(std::forward<Member>(member));
    }

    Scanner& scanner_;
    std::string value_;
};

} // namespace

std::optional<SessionSummaryProbe> SessionSummaryProbe::read(std::string_view json) {
    Scanner scanner(SessionCoding::withoutTrailingNuls(json));
    SessionReader reader(scanner);
    State appVersion{}, endedAt{}, id{}, languages{}, lastUpdated{}, lines{}, markers{},
        startedAt{};
    SessionSummaryProbe probe;
    Instant ended = 0;

    scanner.consume("\xEF\xBB\xBF"); // a byte-order mark, as the full reader allows
    scanner.skipWhitespace();
    if (!scanner.peek('{')) {
        return std::nullopt; // not an object, or not JSON at all
    }
    const bool parsed = scanner.object([&](const std::string& key) {
        if (key == "appVersion") {
            return reader.text(appVersion);
        }
        if (key == "endedAt") {
            return reader.date(endedAt, ended, true);
        }
        if (key == "id") {
            return reader.text(id);
        }
        if (key == "languages") {
            return reader.languages(languages);
        }
        if (key == "lastUpdated") {
            return reader.date(lastUpdated, probe.lastUpdated);
        }
        if (key == "lines") {
            return reader.lines(lines, probe.lineCount);
        }
        if (key == "markers") {
            return reader.markers(markers);
        }
        if (key == "startedAt") {
            return reader.date(startedAt, probe.startedAt);
        }
        return scanner.skipValue();
    });
    scanner.skipWhitespace();
    if (!parsed || !scanner.atEnd()) {
        return std::nullopt;
    }
    for (const State required :
         {appVersion, id, languages, lastUpdated, lines, markers, startedAt}) {
        if (required != State::present) {
            return std::nullopt;
        }
    }
    if (endedAt == State::invalid) {
        return std::nullopt;
    }
    if (endedAt == State::present) {
        probe.endedAt = ended;
    }
    return probe;
}

} // namespace ambrel::core
