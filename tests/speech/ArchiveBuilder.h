#pragma once

#include <string>
#include <vector>

namespace ambrel::testing {

// Builds zip or gzip-compressed tar archives in memory, hostile entries included.
class ArchiveBuilder {
public:
    enum class Format { zip, tarGz };

    explicit ArchiveBuilder(Format format) : format_(format) {}

    ArchiveBuilder& file(const std::string& path, const std::string& contents);
    // A file whose header says nothing about its size.
    ArchiveBuilder& fileOfUnknownSize(const std::string& path, const std::string& contents);
    ArchiveBuilder& folder(const std::string& path);
    ArchiveBuilder& symlink(const std::string& path, const std::string& target);
    ArchiveBuilder& hardlink(const std::string& path, const std::string& target);
    ArchiveBuilder& fifo(const std::string& path);
    ArchiveBuilder& characterDevice(const std::string& path);

    std::string bytes() const;

private:
    enum class Kind { file, unsizedFile, folder, symlink, hardlink, fifo, device };
    struct Entry {
        Kind kind;
        std::string path;
        std::string data; // contents or link target
    };

    Format format_;
    std::vector<Entry> entries_;
};

} // namespace ambrel::testing
