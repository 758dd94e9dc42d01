#include "ArchiveBuilder.h"

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace ambrel::testing {

ArchiveBuilder& ArchiveBuilder::file(const std::string& path, const std::string& contents) {
    entries_.push_back({Kind::file, path, contents});
    return *this;
}

ArchiveBuilder& ArchiveBuilder::fileOfUnknownSize(const std::string& path,
                                                  const std::string& contents) {
    entries_.push_back({Kind::unsizedFile, path, contents});
    return *this;
}

ArchiveBuilder& ArchiveBuilder::folder(const std::string& path) {
    entries_.push_back({Kind::folder, path, {}});
    return *this;
}

ArchiveBuilder& ArchiveBuilder::symlink(const std::string& path, const std::string& target) {
    entries_.push_back({Kind::symlink, path, target});
    return *this;
}

ArchiveBuilder& ArchiveBuilder::hardlink(const std::string& path, const std::string& target) {
    entries_.push_back({Kind::hardlink, path, target});
    return *this;
}

ArchiveBuilder& ArchiveBuilder::fifo(const std::string& path) {
    entries_.push_back({Kind::fifo, path, {}});
    return *this;
}

ArchiveBuilder& ArchiveBuilder::characterDevice(const std::string& path) {
    entries_.push_back({Kind::device, path, {}});
    return *this;
}

std::string ArchiveBuilder::bytes() const {
    std::string output;
    const std::unique_ptr<archive, decltype(&archive_write_free)> writer(archive_write_new(),
                                                                         archive_write_free);
    if (format_ == Format::zip) {
        archive_write_set_format_zip(writer.get());
    } else {
        archive_write_set_format_pax_restricted(writer.get());
        archive_write_add_filter_gzip(writer.get());
    }
    const auto append = [](archive*, void* context, const void* data, std::size_t size) {
        static_cast<std::string*>(context)->append(static_cast<const char*>(data), size);
        return static_cast<la_ssize_t>(size);
    };
    archive_write_set_bytes_in_last_block(writer.get(), 1);
    if (archive_write_open2(writer.get(), &output, nullptr, append, nullptr, nullptr) !=
        ARCHIVE_OK) {
        throw std::runtime_error(archive_error_string(writer.get()));
    }
    for (const auto& item : entries_) {
        const std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(
            archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname(entry.get(), item.path.c_str());
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_mtime(entry.get(), 1700000000, 0);
        switch (item.kind) {
        case Kind::file:
            archive_entry_set_filetype(entry.get(), AE_IFREG);
            archive_entry_set_size(entry.get(), static_cast<la_int64_t>(item.data.size()));
            break;
        case Kind::unsizedFile:
            archive_entry_set_filetype(entry.get(), AE_IFREG);
            archive_entry_unset_size(entry.get());
            break;
        case Kind::folder:
            archive_entry_set_filetype(entry.get(), AE_IFDIR);
            archive_entry_set_perm(entry.get(), 0755);
            break;
        case Kind::symlink:
            archive_entry_set_filetype(entry.get(), AE_IFLNK);
            archive_entry_set_symlink(entry.get(), item.data.c_str());
            break;
        case Kind::hardlink:
            archive_entry_set_filetype(entry.get(), AE_IFREG);
            archive_entry_set_hardlink(entry.get(), item.data.c_str());
            archive_entry_set_size(entry.get(), 0);
            break;
        case Kind::fifo:
            archive_entry_set_filetype(entry.get(), AE_IFIFO);
            break;
        case Kind::device:
            archive_entry_set_filetype(entry.get(), AE_IFCHR);
            archive_entry_set_rdev(entry.get(), makedev(1, 3));
            break;
        }
        if (archive_write_header(writer.get(), entry.get()) < ARCHIVE_WARN) {
            throw std::runtime_error(archive_error_string(writer.get()));
        }
        const bool hasData = item.kind == Kind::file || item.kind == Kind::unsizedFile;
        if (hasData && !item.data.empty() &&
            archive_write_data(writer.get(), item.data.data(), item.data.size()) < 0) {
            throw std::runtime_error(archive_error_string(writer.get()));
        }
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK) {
        throw std::runtime_error(archive_error_string(writer.get()));
    }
    return output;
}

} // namespace ambrel::testing
