#include "AppStoreRelease.h"

#include "InternetDateTime.h"
#include "PercentEncoding.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>

namespace ambrel::core {

using nlohmann::json;

namespace {

constexpr std::string_view lookupEndpoint = "https://itunes.apple.com/lookup";
constexpr std::string_view storePagePrefix = "macappstore://apps.apple.com/app/id";

std::string asciiLowercased(std::string_view text) {
    std::string lowered(text);
    for (auto& c : lowered) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lowered;
}

struct Entry {
    std::optional<std::string> kind;
    std::optional<std::int64_t> trackID;
    std::optional<std::string> version;
    std::optional<std::string> releaseDate;
    std::optional<std::string> minimumOsVersion;
};

struct WrongType {};

// A listed key present with another JSON type fails the whole answer; null counts as absent.
std::optional<std::string> optionalText(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return std::nullopt;
    }
    if (!it->is_string()) {
        throw WrongType{};
    }
    return it->get<std::string>();
}

std::optional<std::int64_t> optionalInteger(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return std::nullopt;
    }
    if (it->is_number_unsigned()) {
        const auto value = it->get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            throw WrongType{};
        }
        return static_cast<std::int64_t>(value);
    }
    if (!it->is_number_integer()) {
        throw WrongType{};
    }
    return it->get<std::int64_t>();
}

std::optional<std::vector<Entry>> decodeResults(std::string_view body) {
    const json root = json::parse(body.begin(), body.end(), nullptr, false);
    if (root.is_discarded() || !root.is_object()) {
        return std::nullopt;
    }
    const auto results = root.find("results");
    if (results == root.end() || !results->is_array()) {
        return std::nullopt;
    }
    std::vector<Entry> entries;
    try {
        for (const auto& item : *results) {
            if (!item.is_object()) {
                return std::nullopt;
            }
            entries.push_back(Entry{optionalText(item, "kind"), optionalInteger(item, "trackId"),
                                    optionalText(item, "version"),
                                    optionalText(item, "currentVersionReleaseDate"),
                                    optionalText(item, "minimumOsVersion")});
        }
    } catch (const WrongType&) {
        return std::nullopt;
    }
    return entries;
}

} // namespace

std::optional<std::string> AppStoreRelease::lookupURL(std::string_view bundleID,
                                                      std::optional<std::string_view> country) {
    auto url = fmt::format("{}?bundleId={}", lookupEndpoint, percentEncoded(bundleID));
    if (country) {
        url += "&country=" + percentEncoded(asciiLowercased(*country));
    }
    return url;
}

std::optional<AppStoreRelease> AppStoreRelease::parse(std::string_view body) {
    if (body.size() > maximumAnswerSize) {
        return std::nullopt;
    }
    std::optional<std::vector<Entry>> entries;
    try {
        entries = decodeResults(body);
    } catch (const json::exception&) {
        return std::nullopt;
    }
    if (!entries) {
        return std::nullopt;
    }
    const auto entry = std::find_if(entries->begin(), entries->end(),
                                    [](const Entry& e) { return e.kind == "mac-software"; });
    if (entry == entries->end() || !entry->trackID || !entry->version) {
        return std::nullopt;
    }
    const auto version = AppVersion::parse(*entry->version);
    if (!version) {
        return std::nullopt;
    }
    AppStoreRelease release{*version, *entry->trackID, std::nullopt, std::nullopt};
    if (entry->releaseDate) {
        release.releaseDate =
            InternetDateTime::parse(*entry->releaseDate, InternetDateTime::Fraction::forbidden);
    }
    if (entry->minimumOsVersion) {
        release.minimumSystemVersion = AppVersion::parse(*entry->minimumOsVersion);
    }
    return release;
}

bool AppStoreRelease::isUpdate(const AppVersion& current, const AppVersion& system, Instant now,
                               double rolloutPosition) const {
    if (current >= version) {
        return false;
    }
    if (minimumSystemVersion && system < *minimumSystemVersion) {
        return false;
    }
    if (!releaseDate) {
        return true;
    }
    const double days = std::floor((now - *releaseDate) / 86400);
    if (!(days >= 0)) {
        return false; // released in the future (or a broken clock)
    }
    if (days > 7) {
        return rolloutPosition < 1.0;
    }
    return rolloutPosition < rollout[static_cast<std::size_t>(days)];
}

std::optional<std::string> AppStoreRelease::appStorePage() const {
    return fmt::format("{}{}", storePagePrefix, trackID);
}

} // namespace ambrel::core
