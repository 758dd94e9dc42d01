#include "SessionStore.h"

#include "FileAccess.h"
#include "FixedDateFormat.h"
#include "FreedesktopTrash.h"
#include "SessionCoding.h"
#include "SessionFileError.h"
#include "SessionSummaryProbe.h"
#include "TranscriptRenderer.h"

#include <fmt/format.h>

#include <algorithm>
#include <sys/stat.h>

namespace ambrel::core {

namespace fs = std::filesystem;

namespace {

bool existsAt(const fs::path& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

std::string describe(const fs::filesystem_error& error) {
    return error.code().message();
}

} // namespace

SessionStore::SessionStore(fs::path directory, TimeZone timeZone)
    : directory_(std::move(directory))
    , timeZone_(std::move(timeZone))
    , moveToTrash_([](const fs::path& file) { FreedesktopTrash::moveToTrash(file); }) {}

bool SessionStore::isValidSessionID(std::string_view id) {
    return !id.empty() && id != "." && id != ".." && id.find('/') == std::string_view::npos &&
           id.find('\0') == std::string_view::npos;
}

void SessionStore::requireValidID(std::string_view id, const char* action) const {
    if (!isValidSessionID(id)) {
        throw SessionFileError(directory_,
                               fmt::format("Cannot {} session \u201C{}\u201D: the name is not a "
                                           "file name in the transcripts folder",
                                           action, id),
                               std::make_error_code(std::errc::invalid_argument));
    }
}

fs::path SessionStore::jsonURL(std::string_view id) const {
    return directory_ / (std::string(id) + ".json");
}

fs::path SessionStore::markdownURL(std::string_view id) const {
    return directory_ / (std::string(id) + ".md");
}

std::string SessionStore::makeSessionID(Instant startedAt) {
    const std::string base = FixedDateFormat("yyyy-MM-dd HH-mm-ss", timeZone_).format(startedAt);
    std::string candidate = base;
    for (int n = 2; reservedIDs_.contains(candidate) || existsAt(jsonURL(candidate)) ||
                    existsAt(markdownURL(candidate));
         ++n) {
        candidate = fmt::format("{} ({})", base, n);
    }
    reservedIDs_.insert(candidate);
    return candidate;
}

void SessionStore::save(const SessionRecord& record, const TranscriptLabels& labels) const {
    requireValidID(record.id, "save");
    const std::string json = SessionCoding::encode(record);
    const std::string markdown = TranscriptRenderer::markdown(record, labels, timeZone_);
    FileAccess::createPrivateFolders(directory_);
    FileAccess::writeAtomically(jsonURL(record.id), json);
    FileAccess::writeAtomically(markdownURL(record.id), markdown);
}

SessionRecord SessionStore::load(std::string_view id) const {
    requireValidID(id, "open");
    const fs::path path = jsonURL(id);
    std::string bytes;
    try {
        bytes = FileAccess::read(path, maximumFileSize);
    } catch (const fs::filesystem_error& error) {
        const auto reason = error.code() == std::errc::file_too_large
                                ? fmt::format("it is larger than {} MB", maximumFileSize >> 20)
                            : error.code() == std::errc::no_such_device
                                ? std::string("it is not a regular file")
                                : describe(error);
        throw SessionFileError(path,
                               fmt::format("Cannot read \u201C{}\u201D: {}", path.string(), reason),
                               error.code());
    }
    try {
        SessionRecord record = SessionCoding::decode(bytes);
        record.id = std::string(id);
        return record;
    } catch (const SessionCoding::DecodingError& error) {
        throw SessionFileError(path, fmt::format("\u201C{}\u201D is not a readable session: {}",
                                                 path.string(), error.what()));
    }
}

std::vector<SessionSummary> SessionStore::listSessions() const {
    ListingCache unused;
    return listSessions(unused);
}

std::vector<SessionSummary> SessionStore::listSessions(ListingCache& cache) const {
    std::vector<SessionSummary> summaries;
    std::error_code error;
    fs::directory_iterator entries(directory_, error);
    if (error) {
        cache.files.clear();
        return summaries;
    }
    // Files no longer there drop out: only what is found now goes into the new map.
    decltype(cache.files) found;
    for (const auto& entry : entries) {
        const fs::path& path = entry.path();
        const std::string name = path.filename().string();
        if (name.empty() || name.front() == '.' || path.extension() != ".json") {
            continue;
        }
        // One stat per file: this runs over every session on each refresh.
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            continue;
        }
        const std::int64_t modified =
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
        const std::int64_t size = info.st_size;
        auto node = cache.files.extract(name);
        auto known = node ? found.insert(std::move(node)).position : found.end();
        if (known == found.end() || known->second.modified != modified ||
            known->second.size != size) {
            std::optional<SessionSummary> summary;
            try {
                const auto probe =
                    SessionSummaryProbe::read(FileAccess::read(path, maximumFileSize));
                if (probe) {
                    const std::string id = path.stem().string();
                    summary = SessionSummary{id,
                                             probe->startedAt,
                                             probe->endedAt,
                                             probe->lastUpdated,
                                             probe->lineCount,
                                             jsonURL(id),
                                             markdownURL(id)};
                }
            } catch (const fs::filesystem_error&) {
                // Left out, and read again once it changes.
            }
            known =
                found.insert_or_assign(name, ListingCache::Known{modified, size, summary}).first;
        }
        if (known->second.summary) {
            summaries.push_back(*known->second.summary);
        }
    }
    cache.files = std::move(found);
    std::stable_sort(summaries.begin(), summaries.end(),
                     [](const SessionSummary& a, const SessionSummary& b) {
                         if (a.startedAt != b.startedAt) {
                             return a.startedAt > b.startedAt;
                         }
                         return a.id > b.id;
                     });
    return summaries;
}

void SessionStore::trash(std::string_view id) const {
    requireValidID(id, "trash");
    std::vector<fs::path> files;
    for (const auto& candidate : {jsonURL(id), markdownURL(id)}) {
        if (existsAt(candidate)) {
            files.push_back(candidate);
        }
    }
    if (files.empty()) {
        throw fs::filesystem_error("No files of session " + std::string(id), jsonURL(id),
                                   std::make_error_code(std::errc::no_such_file_or_directory));
    }
    for (const auto& file : files) {
        try {
            moveToTrash_(file);
        } catch (const std::exception&) {
            moveIntoFallbackTrash(file);
        }
    }
}

void SessionStore::moveIntoFallbackTrash(const fs::path& file) const {
    const fs::path folder = directory_ / ".trash";
    FileAccess::createPrivateFolders(folder);
    const std::string stem = file.stem().string();
    const std::string extension = file.extension().string();
    fs::path destination = folder / file.filename();
    for (int n = 2;; ++n) {
        try {
            FileAccess::renameWithoutReplacing(file, destination);
            return;
        } catch (const fs::filesystem_error& error) {
            if (error.code() != std::errc::file_exists) {
                throw;
            }
        }
        destination = folder / fmt::format("{} ({}){}", stem, n, extension);
    }
}

} // namespace ambrel::core
