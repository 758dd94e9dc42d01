#pragma once

#include "Instant.h"
#include "SessionRecord.h"
#include "SessionSummary.h"
#include "TimeZone.h"
#include "TranscriptLabels.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace ambrel::core {

// The folder of stored sessions: <id>.json (the record) beside <id>.md (its transcript).
// Errors are SessionFileError (reads, decoding, refused names) or
// std::filesystem::filesystem_error (writes, trash), and name the file concerned.
class SessionStore {
public:
    using MoveToTrash = std::function<void(const std::filesystem::path&)>;

    // Session files larger than this are refused rather than read into memory.
    static constexpr std::uintmax_t maximumFileSize = 128u * 1024 * 1024;

    explicit SessionStore(std::filesystem::path directory, TimeZone timeZone = TimeZone::system());

    const std::filesystem::path& directory() const { return directory_; }
    const TimeZone& timeZone() const { return timeZone_; }

    // Default: the user's freedesktop.org trash.
    void setMoveToTrash(MoveToTrash moveToTrash) { moveToTrash_ = std::move(moveToTrash); }

    // "2025-03-14 09-05-00", or with " (2)", " (3)"… when taken by a file or an earlier call.
    // Not safe to call concurrently on one store.
    std::string makeSessionID(Instant startedAt);

    std::filesystem::path jsonURL(std::string_view id) const;
    std::filesystem::path markdownURL(std::string_view id) const;

    // Writes the JSON file, then the Markdown file, each atomically. A failed JSON write leaves
    // both files untouched; a failed Markdown write keeps the new JSON file. Transcripts are
    // private: new files are the owner's only, as is the folder when it has to be created.
    void save(const SessionRecord& record,
              const TranscriptLabels& labels = TranscriptLabels::english()) const;

    // The record of <id>.json; its id is the file's name whatever the file says.
    SessionRecord load(std::string_view id) const;

    // What a listing read, so that the next one reads only the files that changed since.
    struct ListingCache {
        struct Known {
            std::int64_t modified = 0; // nanoseconds since the epoch
            std::int64_t size = 0;
            std::optional<SessionSummary> summary; // absent: the file could not be read
        };
        std::map<std::string, Known, std::less<>> files;
    };

    // Summaries newest first; unreadable files are left out, a missing folder gives none.
    std::vector<SessionSummary> listSessions() const;
    std::vector<SessionSummary> listSessions(ListingCache& cache) const;

    // Moves both files to the trash, or into ".trash" in the folder when the trash refuses.
    void trash(std::string_view id) const;

    // False for names that would leave the folder: empty, ".", "..", or containing "/" or NUL.
    static bool isValidSessionID(std::string_view id);

private:
    void requireValidID(std::string_view id, const char* action) const;
    void moveIntoFallbackTrash(const std::filesystem::path& file) const;

    std::filesystem::path directory_;
    TimeZone timeZone_;
    MoveToTrash moveToTrash_;
    std::set<std::string, std::less<>> reservedIDs_;
};

} // namespace ambrel::core
