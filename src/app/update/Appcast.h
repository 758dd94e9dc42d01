#pragma once

#include "core/AppVersion.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ambrel {

// The list of releases the updater reads: an RSS feed whose items carry a build version, a
// version to show, a link to the release page and one download per kind of install, each with
// its length and an Ed25519 signature. Read as untrusted input.
struct Appcast {
    struct Download {
        std::string url;
        std::uint64_t length = 0;
        std::string signature; // base64
    };
    struct Item {
        std::string version;      // compared with the running build
        std::string shortVersion; // shown to people; the version when absent
        std::string link;         // the release page
        std::vector<Download> downloads;
    };

    struct Error : std::runtime_error {
        using std::runtime_error::runtime_error;
    };

    static constexpr std::size_t maximumBytes = 1024 * 1024;

    std::vector<Item> items;

    // Throws Error for text that is not such a feed.
    static Appcast parse(std::string_view xml);
    // The newest item above `current` that offers a download; absent when there is none.
    std::optional<Item> newest(const core::AppVersion& current) const;
};

} // namespace ambrel
