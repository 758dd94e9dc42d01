#pragma once

#include "ModelArchive.h"
#include "core/Instant.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ambrel {

// The downloadable models of the `speech` engine: the public model list, fetched over the
// network at most once a day and kept; a failed fetch is not tried again for an hour (the time
// of the last try is kept beside the copy, so relaunches wait too) unless asked to.
class ModelCatalog {
public:
    static constexpr const char* defaultURL = "https://alphacephei.com/vosk/models/model-list.json";
    static constexpr double freshSeconds = 24 * 3600;
    static constexpr double retrySeconds = 3600;

    struct Entry {
        std::string locale; // BCP 47
        std::string name;
        ModelArchive archive;

        bool operator==(const Entry&) const = default;
    };

    struct Listing {
        std::vector<Entry> entries;
        // Why there are none to download, when the list could not be had.
        std::optional<std::string> problem;

        bool operator==(const Listing&) const = default;
    };

    // `fetch` gets a document by URL (and throws when it cannot); `now` tells the time.
    ModelCatalog(std::string url, std::filesystem::path cacheFile,
                 std::function<std::string(const std::string& url)> fetch,
                 std::function<core::Instant()> now);

    // One model per language: the small current one (a live recogniser must keep up). From a
    // copy less than a day old, else fetched (unless the last try failed within the hour, or
    // `fetchNow` asks to try whatever happened before); empty, with the reason, when the list
    // cannot be had. Blocks while fetching; call off the main thread.
    Listing entries(bool fetchNow = false);

    // The model list's JSON read leniently: unusable entries are skipped, never fatal.
    static std::vector<Entry> parse(std::string_view json);
    // The list's language codes as BCP 47 ("en-us" -> "en-US", "cn" -> "zh-CN").
    static std::string localeOf(std::string_view code);

private:
    // The file's contents when it was written less than `seconds` ago.
    std::optional<std::string> readIfYounger(const std::filesystem::path& file, double seconds,
                                             std::uintmax_t maximumSize) const;
    // The reason of a failed try within the last hour.
    std::optional<std::string> recentFailure() const;
    std::filesystem::path failureFile() const;

    std::string url_;
    std::filesystem::path cacheFile_;
    std::function<std::string(const std::string&)> fetch_;
    std::function<core::Instant()> now_;
};

} // namespace ambrel
