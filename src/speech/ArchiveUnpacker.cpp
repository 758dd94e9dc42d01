#include "ArchiveUnpacker.h"

#include <archive.h>
#include <archive_entry.h>
#include <fmt/format.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace ambrel {

namespace {

namespace fs = std::filesystem;

using Reader = std::unique_ptr<archive, decltype(&archive_read_free)>;
using Writer = std::unique_ptr<archive, decltype(&archive_write_free)>;

constexpr int maximumLinkHops = 40;

[[noreturn]] void refuse(const std::string& what) {
    throw std::runtime_error("the archive contains " + what);
}

[[noreturn]] void damaged(archive* reader) {
    const char* reason = archive_error_string(reader);
    throw std::runtime_error(reason != nullptr ? fmt::format("the archive is damaged ({})", reason)
                                               : "the archive is damaged");
}

[[noreturn]] void cannotWrite(const char* reason) {
    throw std::runtime_error(reason != nullptr
                                 ? fmt::format("cannot write the unpacked files ({})", reason)
                                 : "cannot write the unpacked files");
}

std::string sizeText(std::uint64_t bytes) {
    if (bytes >= (1u << 30) && bytes % (1u << 30) == 0) {
        return fmt::format("{} GiB", bytes >> 30);
    }
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) {
        return fmt::format("{} MiB", bytes >> 20);
    }
    return fmt::format("{} bytes", bytes);
}

// A path inside the archive made relative and tidy ("./a//b" becomes "a/b"); refused when it
// is absolute or climbs with "..".
fs::path entryPath(const char* name) {
    if (name == nullptr) {
        refuse("an entry without a readable name");
    }
    const fs::path path(name);
    if (path.is_absolute()) {
        refuse("an absolute path");
    }
    fs::path tidy;
    for (const auto& part : path) {
        if (part == "..") {
            refuse("a path with \"..\"");
        }
        if (!part.empty() && part != ".") {
            tidy /= part;
        }
    }
    return tidy;
}

// Follows `relative` below `root` as path resolution would, symbolic links included, and gives
// the resolved path; absent when that would leave `root` at any step or loop.
std::optional<fs::path> resolveBelow(const fs::path& root, const fs::path& relative) {
    std::vector<fs::path> resolved;
    std::deque<fs::path> pending(relative.begin(), relative.end());
    int hops = 0;
    while (!pending.empty()) {
        const fs::path part = pending.front();
        pending.pop_front();
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (resolved.empty()) {
                return std::nullopt;
            }
            resolved.pop_back();
            continue;
        }
        if (part.is_absolute()) {
            return std::nullopt;
        }
        resolved.push_back(part);
        fs::path current = root;
        for (const auto& step : resolved) {
            current /= step;
        }
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(current, error))) {
            continue;
        }
        const fs::path target = fs::read_symlink(current, error);
        if (error || target.is_absolute() || ++hops > maximumLinkHops) {
            return std::nullopt;
        }
        resolved.pop_back();
        pending.insert(pending.begin(), target.begin(), target.end());
    }
    fs::path result;
    for (const auto& step : resolved) {
        result /= step;
    }
    return result;
}

void checkLinksBelow(const fs::path& root) {
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (error) {
            break;
        }
        if (it->is_symlink(error) && !resolveBelow(root, it->path().lexically_relative(root))) {
            refuse("a link that leads outside it");
        }
    }
    if (error) {
        cannotWrite(error.message().c_str());
    }
}

// The single top-level folder when there is nothing else, else `root`.
fs::path contentsOf(const fs::path& root) {
    std::error_code error;
    auto it = fs::directory_iterator(root, error);
    if (error || it == fs::directory_iterator() || !it->is_directory(error) ||
        it->is_symlink(error)) {
        return root;
    }
    const fs::path single = it->path();
    return it.increment(error) == fs::directory_iterator() && !error ? single : root;
}

// Checks one entry and points it at its place below `root`; returns whether it carries data.
bool prepare(archive_entry* entry, const fs::path& relative, const fs::path& root) {
    if (const char* hardlink = archive_entry_hardlink(entry)) {
        const fs::path target(hardlink);
        const auto resolved = target.is_absolute() ? std::nullopt : resolveBelow(root, target);
        if (!resolved) {
            refuse("a link that leads outside it");
        }
        std::error_code error;
        if (!fs::is_regular_file(fs::symlink_status(root / *resolved, error))) {
            refuse("a hard link to something other than a file");
        }
        archive_entry_copy_hardlink(entry, (root / *resolved).c_str());
    } else {
        switch (archive_entry_filetype(entry)) {
        case AE_IFDIR:
            archive_entry_set_perm(entry, 0755);
            break;
        case AE_IFREG:
            archive_entry_set_perm(entry, (archive_entry_perm(entry) & 0111) != 0 ? 0755 : 0644);
            break;
        case AE_IFLNK: {
            const char* text = archive_entry_symlink(entry);
            const fs::path target = text != nullptr ? fs::path(text) : fs::path();
            const fs::path reached = (relative.parent_path() / target).lexically_normal();
            if (target.empty() || target.is_absolute() || reached.empty() ||
                *reached.begin() == "..") {
                refuse("a link that leads outside it");
            }
            break;
        }
        default:
            refuse("a device or pipe");
        }
    }
    archive_entry_copy_pathname(entry, (root / relative).c_str());
    return archive_entry_filetype(entry) == AE_IFREG || archive_entry_hardlink(entry) != nullptr;
}

} // namespace

std::optional<fs::path> ArchiveUnpacker::unpack(const fs::path& file, const fs::path& folder,
                                                std::uint64_t maximumBytes,
                                                const std::function<bool(double)>& progress) {
    const auto tooLarge = [&] { refuse("more than " + sizeText(maximumBytes) + " of files"); };
    std::error_code error;
    // Links are resolved against the real location, so the root must hold no links itself.
    const fs::path root = fs::canonical(folder, error);
    if (error) {
        cannotWrite(error.message().c_str());
    }
    const auto archiveBytes = fs::file_size(file, error);
    if (error || archiveBytes == 0) {
        throw std::runtime_error("cannot read the archive");
    }

    const Reader reader(archive_read_new(), archive_read_free);
    const Writer writer(archive_write_disk_new(), archive_write_free);
    if (!reader || !writer) {
        throw std::runtime_error("cannot unpack archives");
    }
    // Only filters built into the library: no outside programs run on untrusted data.
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_filter_bzip2(reader.get());
    archive_read_support_filter_xz(reader.get());
    archive_read_support_filter_zstd(reader.get());
    archive_read_support_format_zip(reader.get());
    archive_read_support_format_tar(reader.get());
    // Ownership and special permission bits from the archive are not restored.
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                     ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                     ARCHIVE_EXTRACT_NO_OVERWRITE);
    if (archive_read_open_filename(reader.get(), file.c_str(), 1 << 16) != ARCHIVE_OK) {
        damaged(reader.get());
    }

    const auto proceed = [&] {
        const auto consumed = static_cast<double>(archive_filter_bytes(reader.get(), -1));
        return !progress || progress(std::min(1.0, consumed / static_cast<double>(archiveBytes)));
    };
    std::uint64_t unpacked = 0;
    while (true) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) {
            break;
        }
        if (status < ARCHIVE_WARN) {
            damaged(reader.get());
        }
        const fs::path relative = entryPath(archive_entry_pathname(entry));
        if (relative.empty()) {
            continue; // "./" itself
        }
        const bool hasData = prepare(entry, relative, root);
        // A file takes up to where its data ends or its header says it ends, whichever is
        // further: the files are made that long, holes included.
        std::uint64_t extent = 0;
        const auto reach = [&](std::uint64_t end) {
            if (end > extent) {
                if (end - extent > maximumBytes - unpacked) {
                    tooLarge();
                }
                unpacked += end - extent;
                extent = end;
            }
        };
        if (hasData && archive_entry_size_is_set(entry)) {
            reach(static_cast<std::uint64_t>(std::max<la_int64_t>(0, archive_entry_size(entry))));
        }
        if (archive_write_header(writer.get(), entry) < ARCHIVE_WARN) {
            cannotWrite(archive_error_string(writer.get()));
        }
        while (hasData) {
            const void* block = nullptr;
            std::size_t size = 0;
            la_int64_t offset = 0;
            const int read = archive_read_data_block(reader.get(), &block, &size, &offset);
            if (read == ARCHIVE_EOF) {
                break;
            }
            if (read < ARCHIVE_WARN) {
                damaged(reader.get());
            }
            if (offset < 0) {
                damaged(reader.get());
            }
            if (size > maximumBytes || static_cast<std::uint64_t>(offset) > maximumBytes - size) {
                tooLarge();
            }
            reach(static_cast<std::uint64_t>(offset) + size);
            if (archive_write_data_block(writer.get(), block, size, offset) < ARCHIVE_WARN) {
                cannotWrite(archive_error_string(writer.get()));
            }
            if (!proceed()) {
                return std::nullopt;
            }
        }
        if (archive_write_finish_entry(writer.get()) < ARCHIVE_WARN) {
            cannotWrite(archive_error_string(writer.get()));
        }
        if (!proceed()) {
            return std::nullopt;
        }
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK) {
        cannotWrite(archive_error_string(writer.get()));
    }

    const fs::path contents = contentsOf(root);
    checkLinksBelow(contents);
    return contents;
}

} // namespace ambrel
