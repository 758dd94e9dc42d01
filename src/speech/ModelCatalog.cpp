#include "ModelCatalog.h"

#include "core/FileAccess.h"
#include "core/Log.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <unicode/locid.h>

#include <algorithm>
#include <map>
#include <sys/stat.h>

namespace ambrel {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr std::uintmax_t maximumListSize = 4 * 1024 * 1024;

std::optional<std::string> text(const json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? std::optional(it->get<std::string>())
                                                 : std::nullopt;
}

std::optional<std::uint64_t> number(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it != object.end() && it->is_number_unsigned()) {
        return it->get<std::uint64_t>();
    }
    if (it != object.end() && it->is_number_integer() && it->get<std::int64_t>() >= 0) {
        return static_cast<std::uint64_t>(it->get<std::int64_t>());
    }
    return std::nullopt;
}

// The locale names the folder the model is unpacked into: letters, digits and single inner
// hyphens only, so that no list can name ".." or a path.
bool isLanguageTag(std::string_view locale) {
    if (locale.empty() || locale.size() > 64 || locale.front() == '-' || locale.back() == '-' ||
        locale.find("--") != std::string_view::npos) {
        return false;
    }
    return std::all_of(locale.begin(), locale.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-';
    });
}

bool isTrue(const json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && ((it->is_boolean() && it->get<bool>()) ||
                                  (it->is_string() && it->get<std::string>() == "true"));
}

} // namespace

ModelCatalog::ModelCatalog(std::string url, fs::path cacheFile,
                           std::function<std::string(const std::string&)> fetch,
                           std::function<core::Instant()> now)
    : url_(std::move(url))
    , cacheFile_(std::move(cacheFile))
    , fetch_(std::move(fetch))
    , now_(std::move(now)) {}

std::string ModelCatalog::localeOf(std::string_view code) {
    // Codes of the list that are not language tags.
    static const std::map<std::string_view, std::string_view> unusual{
        {"cn", "zh-CN"}, {"ua", "uk-UA"}, {"vn", "vi-VN"}, {"kz", "kk-KZ"}, {"tl-ph", "tl-PH"}};
    if (const auto found = unusual.find(code); found != unusual.end()) {
        return std::string(found->second);
    }
    UErrorCode status = U_ZERO_ERROR;
    const auto locale = icu::Locale::forLanguageTag(
        icu::StringPiece(code.data(), static_cast<int32_t>(code.size())), status);
    if (U_FAILURE(status) || locale.isBogus() || std::string_view(locale.getLanguage()).empty()) {
        return std::string(code);
    }
    const auto tag = locale.toLanguageTag<std::string>(status);
    return U_SUCCESS(status) ? tag : std::string(code);
}

std::vector<ModelCatalog::Entry> ModelCatalog::parse(std::string_view text) {
    const json list = json::parse(text.begin(), text.end(), nullptr, false);
    if (!list.is_array()) {
        return {};
    }
    struct Candidate {
        Entry entry;
        bool small;
        std::uint64_t size;
    };
    std::map<std::string, Candidate> best;
    for (const auto& item : list) {
        if (!item.is_object() || isTrue(item, "obsolete")) {
            continue;
        }
        const auto lang = ::ambrel::text(item, "lang");
        const auto url = ::ambrel::text(item, "url");
        const auto name = ::ambrel::text(item, "name");
        // Models are fetched over HTTPS only: many entries carry no checksum to check against.
        if (!lang || !url || !name || !url->starts_with("https://")) {
            continue;
        }
        std::string locale = localeOf(*lang);
        if (!isLanguageTag(locale)) {
            continue;
        }
        Candidate candidate{
            Entry{std::move(locale), *name,
                  ModelArchive{*url, number(item, "size"), ::ambrel::text(item, "sha256"),
                               ::ambrel::text(item, "md5")}},
            ::ambrel::text(item, "type") == "small", number(item, "size").value_or(UINT64_MAX)};
        auto& current = best[candidate.entry.locale];
        // Small models first, then the smaller one: big ones do not keep up live.
        if (current.entry.locale.empty() || (candidate.small && !current.small) ||
            (candidate.small == current.small && candidate.size < current.size)) {
            current = std::move(candidate);
        }
    }
    std::vector<Entry> entries;
    for (auto& [locale, candidate] : best) {
        entries.push_back(std::move(candidate.entry));
    }
    return entries;
}

std::optional<std::string> ModelCatalog::readIfYounger(const fs::path& file, double seconds,
                                                       std::uintmax_t maximumSize) const {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        return std::nullopt;
    }
    const double age =
        now_() - (static_cast<double>(info.st_mtim.tv_sec) + info.st_mtim.tv_nsec / 1e9);
    if (!(age >= 0 && age < seconds)) {
        return std::nullopt;
    }
    try {
        return core::FileAccess::read(file, maximumSize);
    } catch (const fs::filesystem_error&) {
        return std::nullopt;
    }
}

fs::path ModelCatalog::failureFile() const {
    return fs::path(cacheFile_).concat(".failed");
}

std::optional<std::string> ModelCatalog::recentFailure() const {
    auto reason = readIfYounger(failureFile(), retrySeconds, 1024);
    if (reason) {
        // The reason is ours, but the file is outside: only a short printable line is used.
        std::erase_if(*reason, [](unsigned char c) { return c < 0x20 || c == 0x7f; });
        if (reason->empty()) {
            reason = "unknown error";
        }
    }
    return reason;
}

ModelCatalog::Listing ModelCatalog::entries(bool fetchNow) {
    if (auto fresh = readIfYounger(cacheFile_, freshSeconds, maximumListSize); fresh && !fetchNow) {
        return {parse(*fresh), std::nullopt};
    }
    if (!fetchNow) {
        if (auto failure = recentFailure()) {
            return {{}, std::move(failure)};
        }
    }
    std::string problem;
    try {
        const std::string text = fetch_(url_);
        auto parsed = parse(text);
        if (!parsed.empty()) {
            core::FileAccess::createPrivateFolders(cacheFile_.parent_path());
            core::FileAccess::writeAtomically(cacheFile_, text);
            fs::remove(failureFile());
            return {std::move(parsed), std::nullopt};
        }
        problem = "the list names no models";
    } catch (const std::exception& error) {
        problem = error.what();
    }
    // An old list would offer models that cannot be downloaded now, and a run asking for one
    // would fail where an installed model could have served.
    core::Log::transcript().notice(fmt::format(
        "The list of speech models is unavailable ({}); using what is on disk", problem));
    try {
        core::FileAccess::createPrivateFolders(cacheFile_.parent_path());
        core::FileAccess::writeAtomically(failureFile(), problem);
    } catch (const std::exception& error) {
        core::Log::transcript().notice(
            fmt::format("Could not note the failed try: {}", error.what()));
    }
    return {{}, problem};
}

} // namespace ambrel
