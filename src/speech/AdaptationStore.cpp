#include "AdaptationStore.h"

#include "core/FileAccess.h"
#include "core/Log.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <system_error>

namespace ambrel {

namespace {

constexpr std::uintmax_t maximumFileSize = 64 * 1024;
constexpr const char* valuesKey = "values";

} // namespace

std::string AdaptationStore::nameFor(const std::string& engine, const std::string& locale,
                                     const std::string& source) {
    std::string name = engine + "-" + locale + "-" + source;
    for (char& c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!plain) {
            c = '_';
        }
    }
    return name;
}

std::optional<std::vector<double>> AdaptationStore::load(const std::string& name,
                                                         std::size_t count) const {
    if (folder_.empty()) {
        return std::nullopt;
    }
    const auto path = folder_ / (name + ".json");
    try {
        const auto json = nlohmann::json::parse(core::FileAccess::read(path, maximumFileSize));
        const auto& values = json.at(valuesKey);
        if (!values.is_array() || values.size() != count) {
            throw std::runtime_error("not the expected number of values");
        }
        std::vector<double> result;
        for (const auto& value : values) {
            if (!value.is_number() || !std::isfinite(value.get<double>())) {
                throw std::runtime_error("a value is not a finite number");
            }
            result.push_back(value.get<double>());
        }
        return result;
    } catch (const std::filesystem::filesystem_error& error) {
        if (error.code() != std::errc::no_such_file_or_directory) {
            core::Log::transcript().notice(
                fmt::format("Ignored the stored adaptation {}: {}", path.string(), error.what()));
        }
    } catch (const std::exception& error) {
        core::Log::transcript().notice(
            fmt::format("Ignored the stored adaptation {}: {}", path.string(), error.what()));
    }
    return std::nullopt;
}

void AdaptationStore::save(const std::string& name, const std::vector<double>& values) const {
    if (folder_.empty()) {
        return;
    }
    const auto path = folder_ / (name + ".json");
    try {
        core::FileAccess::createPrivateFolders(folder_);
        nlohmann::json json;
        json[valuesKey] = values;
        core::FileAccess::writeAtomically(path, json.dump() + "\n");
    } catch (const std::exception& error) {
        core::Log::transcript().notice(
            fmt::format("Could not keep the adaptation in {}: {}", path.string(), error.what()));
    }
}

} // namespace ambrel
