#pragma once

#include "ModelArchive.h"
#include "core/Instant.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ambrel {

// The downloadable models of the `speech` engine: the public model list, fetched over the
// network and kept for a day; without network the last copy, or nothing.
class ModelCatalog {
public:
    static constexpr const char* defaultURL = "https://alphacephei.com/vosk/models/model-list.json";
    static constexpr double freshSeconds = 24 * 3600;

    struct Entry {
        std::string locale; // BCP 47
        std::string name;
        ModelArchive archive;

        bool operator==(const Entry&) const = default;
    };

    // `fetch` gets a document by URL (and throws when it cannot); `now` tells the time.
    ModelCatalog(std::string url, std::filesystem::path cacheFile,
                 std::function<std::string(const std::string& url)> fetch,
                 std::function<core::Instant()> now);

    // One model per language: the small current one (a live recogniser must keep up). From a
    // copy less than a day old, else fetched; empty when the list cannot be had. Blocks while
    // fetching; call off the main thread.
    std::vector<Entry> entries();

    // The model list's JSON read leniently: unusable entries are skipped, never fatal.
    static std::vector<Entry> parse(std::string_view json);
    // The list's language codes as BCP 47 ("en-us" -> "en-US", "cn" -> "zh-CN").
    static std::string localeOf(std::string_view code);

private:
    std::optional<std::string> freshCachedText() const;

    std::string url_;
    std::filesystem::path cacheFile_;
    std::function<std::string(const std::string&)> fetch_;
    std::function<core::Instant()> now_;
};

} // namespace ambrel
