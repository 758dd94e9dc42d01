#include "SessionCoding.h"

#include "MillisecondDate.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace ambrel::core::SessionCoding {

using nlohmann::json;

namespace {

std::string typeName(const json& value) {
    return value.is_null() ? "null" : std::string(value.type_name());
}

[[noreturn]] void fail(const std::string& path, const std::string& problem) {
    throw DecodingError(fmt::format("{}: {}", path, problem));
}

const json* find(const json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

const json& require(const json& object, const char* key, const std::string& path) {
    const json* value = find(object, key);
    if (value == nullptr) {
        fail(path, fmt::format("the key \"{}\" is missing", key));
    }
    return *value;
}

const std::string& text(const json& value, const std::string& path) {
    if (!value.is_string()) {
        fail(path, fmt::format("expected a text, found {}", typeName(value)));
    }
    return value.get_ref<const std::string&>();
}

const json& object(const json& value, const std::string& path) {
    if (!value.is_object()) {
        fail(path, fmt::format("expected an object, found {}", typeName(value)));
    }
    return value;
}

const json& array(const json& value, const std::string& path) {
    if (!value.is_array()) {
        fail(path, fmt::format("expected an array, found {}", typeName(value)));
    }
    return value;
}

Instant date(const json& value, const std::string& path) {
    const auto& string = text(value, path);
    try {
        return MillisecondDate::decode(string);
    } catch (const MillisecondDate::InvalidDate& error) {
        fail(path, error.what());
    }
}

const json* optional(const json& object, const char* key) {
    const json* value = find(object, key);
    return value == nullptr || value->is_null() ? nullptr : value;
}

TranscriptLine decodeLine(const json& value, const std::string& path) {
    object(value, path);
    TranscriptLine line;
    const auto& id = text(require(value, "id", path), path + ".id");
    const auto uuid = Uuid::parse(id);
    if (!uuid) {
        fail(path + ".id", fmt::format("\"{}\" is not a UUID", id));
    }
    line.id = *uuid;
    if (const json* language = optional(value, "language")) {
        line.language = text(*language, path + ".language");
    }
    const auto& source = text(require(value, "source", path), path + ".source");
    const auto parsedSource = speechSourceFromRawValue(source);
    if (!parsedSource) {
        fail(path + ".source", fmt::format("unknown source \"{}\"", source));
    }
    line.source = *parsedSource;
    line.start = date(require(value, "start", path), path + ".start");
    line.text = text(require(value, "text", path), path + ".text");
    return line;
}

Marker decodeMarker(const json& value, const std::string& path) {
    object(value, path);
    Marker marker;
    marker.date = date(require(value, "date", path), path + ".date");
    const auto& kind = text(require(value, "kind", path), path + ".kind");
    const auto parsedKind = markerKindFromRawValue(kind);
    if (!parsedKind) {
        fail(path + ".kind", fmt::format("unknown marker kind \"{}\"", kind));
    }
    marker.kind = *parsedKind;
    return marker;
}

std::string cleanParserMessage(const std::string& message) {
    // "[json.exception.parse_error.101] parse error at line 1, ..." -> "parse error at line 1, ..."
    if (!message.empty() && message.front() == '[') {
        if (const auto end = message.find("] "); end != std::string::npos) {
            return message.substr(end + 2);
        }
    }
    return message;
}

// How deeply arrays and objects nest, counted outside strings; for text that is no JSON the
// answer does not matter, as the parser refuses it anyway.
bool nestsTooDeeply(std::string_view text) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > maximumNesting) {
                return true;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

} // namespace

std::string_view withoutTrailingNuls(std::string_view bytes) {
    const auto last = bytes.find_last_not_of('\0');
    return bytes.substr(0, last == std::string_view::npos ? 0 : last + 1);
}

std::string encode(const SessionRecord& record) {
    json lines = json::array();
    for (const auto& line : record.lines) {
        json object{{"id", line.id.string()},
                    {"source", std::string(rawValue(line.source))},
                    {"start", MillisecondDate::string(line.start)},
                    {"text", line.text}};
        if (line.language) {
            object["language"] = *line.language;
        }
        lines.push_back(std::move(object));
    }
    json markers = json::array();
    for (const auto& marker : record.markers) {
        markers.push_back(json{{"date", MillisecondDate::string(marker.date)},
                               {"kind", std::string(rawValue(marker.kind))}});
    }
    // nlohmann::json keeps object keys in a sorted map, which is the order the file wants.
    json session{{"appVersion", record.appVersion},
                 {"id", record.id},
                 {"languages", record.languages},
                 {"lastUpdated", MillisecondDate::string(record.lastUpdated)},
                 {"lines", std::move(lines)},
                 {"markers", std::move(markers)},
                 {"startedAt", MillisecondDate::string(record.startedAt)}};
    if (record.endedAt) {
        session["endedAt"] = MillisecondDate::string(*record.endedAt);
    }
    // Invalid UTF-8 in a recognised text becomes U+FFFD rather than failing every later save.
    return session.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

SessionRecord decode(std::string_view bytes) {
    const std::string_view document = withoutTrailingNuls(bytes);
    // The parser would take a NUL for the end of the text and ignore what follows.
    if (document.find('\0') != std::string_view::npos) {
        throw DecodingError("a NUL byte inside the text");
    }
    if (nestsTooDeeply(document)) {
        throw DecodingError(fmt::format("nested deeper than {} levels", maximumNesting));
    }
    json root;
    try {
        root = json::parse(document.begin(), document.end());
    } catch (const json::exception& error) {
        // Syntax errors, and numbers too large for a double.
        throw DecodingError(cleanParserMessage(error.what()));
    }
    const std::string path = "session";
    object(root, path);

    SessionRecord record;
    record.appVersion = text(require(root, "appVersion", path), "appVersion");
    if (const json* endedAt = optional(root, "endedAt")) {
        record.endedAt = date(*endedAt, "endedAt");
    }
    record.id = text(require(root, "id", path), "id");
    const auto& languages = array(require(root, "languages", path), "languages");
    for (std::size_t i = 0; i < languages.size(); ++i) {
        record.languages.push_back(text(languages[i], fmt::format("languages[{}]", i)));
    }
    record.lastUpdated = date(require(root, "lastUpdated", path), "lastUpdated");
    const auto& lines = array(require(root, "lines", path), "lines");
    record.lines.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        record.lines.push_back(decodeLine(lines[i], fmt::format("lines[{}]", i)));
    }
    const auto& markers = array(require(root, "markers", path), "markers");
    for (std::size_t i = 0; i < markers.size(); ++i) {
        record.markers.push_back(decodeMarker(markers[i], fmt::format("markers[{}]", i)));
    }
    record.startedAt = date(require(root, "startedAt", path), "startedAt");
    return record;
}

} // namespace ambrel::core::SessionCoding
