#include "VoskResultReader.h"

#include "core/UnicodeText.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace ambrel {

namespace {

using Json = nlohmann::json;

std::optional<Json> parseObject(std::string_view text) {
    Json json = Json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return std::nullopt;
    }
    return json;
}

std::optional<std::string> stringField(const Json& object, const char* name) {
    const auto found = object.find(name);
    if (found == object.end() || !found->is_string()) {
        return std::nullopt;
    }
    return std::string(core::UnicodeText::trimmingWhitespace(found->get<std::string>()));
}

std::optional<double> numberField(const Json& object, const char* name) {
    const auto found = object.find(name);
    if (found == object.end() || !found->is_number()) {
        return std::nullopt;
    }
    const auto value = found->get<double>();
    return std::isfinite(value) ? std::optional(value) : std::nullopt;
}

// The timed words, or nothing when any of them is unusable: a partial list would not match
// the text.
std::vector<RecognizerResult::Run> wordRuns(const Json& object, double offset) {
    const auto list = object.find("result");
    if (list == object.end() || !list->is_array()) {
        return {};
    }
    std::vector<RecognizerResult::Run> runs;
    for (const auto& item : *list) {
        if (!item.is_object()) {
            return {};
        }
        const auto word = stringField(item, "word");
        const auto start = numberField(item, "start");
        const auto end = numberField(item, "end");
        if (!word || word->empty() || !start || !end || *start < 0 || *end < *start) {
            return {};
        }
        std::optional<double> confidence = numberField(item, "conf");
        if (confidence) {
            confidence = std::clamp(*confidence, 0.0, 1.0);
        }
        runs.push_back({runs.empty() ? *word : " " + *word,
                        std::pair(*start + offset, *end + offset), confidence});
    }
    return runs;
}

} // namespace

std::optional<RecognizerResult> VoskResultReader::readPartial(std::string_view json,
                                                              std::pair<double, double> range) {
    const auto object = parseObject(json);
    if (!object) {
        return std::nullopt;
    }
    const auto text = stringField(*object, "partial");
    if (!text) {
        return std::nullopt;
    }
    RecognizerResult result;
    result.range = range;
    if (!text->empty()) {
        result.runs.push_back({*text, std::nullopt, std::nullopt});
    }
    return result;
}

std::optional<RecognizerResult> VoskResultReader::readFinal(std::string_view json, double offset,
                                                            std::pair<double, double> range) {
    const auto object = parseObject(json);
    if (!object) {
        return std::nullopt;
    }
    const auto text = stringField(*object, "text");
    if (!text || text->empty()) {
        return std::nullopt;
    }
    RecognizerResult result;
    result.isFinal = true;
    result.runs = wordRuns(*object, offset);
    if (result.runs.empty()) {
        result.runs.push_back({*text, std::nullopt, std::nullopt});
        result.range = range;
        return result;
    }
    result.range = {result.runs.front().time->first, result.runs.front().time->second};
    for (const auto& run : result.runs) {
        result.range.first = std::min(result.range.first, run.time->first);
        result.range.second = std::max(result.range.second, run.time->second);
    }
    return result;
}

} // namespace ambrel
