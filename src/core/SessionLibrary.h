#pragma once

#include "SessionRecord.h"
#include "SessionStore.h"
#include "SessionSummary.h"

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ambrel::core {

// The stored sessions of one folder for the history window: listing, loading with a cache of
// records and their searchable text, searching and trashing. Not thread-safe: its owner runs
// every call on one worker, away from the user interface.
class SessionLibrary {
public:
    struct Entry {
        SessionRecord record;

        // The lines' texts, one per line, folded for searching: made by the first search that
        // reads it (on the library's worker), since most records are never searched.
        const std::string& foldedText() const;

    private:
        mutable std::optional<std::string> folded_;
    };

    explicit SessionLibrary(SessionStore store) : store_(std::move(store)) {}

    const SessionStore& store() const { return store_; }

    // The sessions newest first; the cache forgets sessions that are gone.
    std::vector<SessionSummary> list();
    // The record of a summary, from the cache while the summary shows no change since; throws
    // what loading throws.
    std::shared_ptr<const Entry> entry(const SessionSummary& summary);
    // Takes a newer record (the one being recorded) into the cache.
    void remember(const SessionRecord& record);
    // The sessions among `summaries` whose lines contain the query, in any case, accent or
    // width; sessions that cannot be read are left out. Stops early, with what it found so far,
    // once `cancelled` is set.
    std::set<std::string> sessionIDs(const std::string& query,
                                     const std::vector<SessionSummary>& summaries,
                                     const std::atomic<bool>* cancelled = nullptr);
    // Moves the session's files to the trash; throws what trashing throws.
    void trash(const SessionSummary& summary);

private:
    static std::shared_ptr<const Entry> makeEntry(SessionRecord record);

    SessionStore store_;
    SessionStore::ListingCache listing_;
    std::map<std::string, std::shared_ptr<const Entry>, std::less<>> cache_;
};

} // namespace ambrel::core
