#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace ambrel {

// Checksums of files, read in pieces so that large files need little memory.
class FileDigest {
public:
    enum class Algorithm { sha256, md5 };

    // The digest as lower-case hex; absent when `proceed` (asked between pieces) said stop.
    // Throws std::runtime_error when the file cannot be read.
    static std::optional<std::string> hex(Algorithm algorithm, const std::filesystem::path& file,
                                          const std::function<bool()>& proceed = {});

    // Whether two hex digests are the same, ignoring case.
    static bool same(const std::string& a, const std::string& b);
};

} // namespace ambrel
