#include "SessionLibrary.h"

#include "TextMatcher.h"

#include <algorithm>

namespace ambrel::core {

const std::string& SessionLibrary::Entry::foldedText() const {
    if (!folded_) {
        std::string text;
        for (const auto& line : record.lines) {
            if (!text.empty()) {
                text += '\n';
            }
            text += line.text;
        }
        folded_ = TextMatcher::fold(text);
    }
    return *folded_;
}

std::shared_ptr<const SessionLibrary::Entry> SessionLibrary::makeEntry(SessionRecord record) {
    auto entry = std::make_shared<Entry>();
    entry->record = std::move(record);
    return entry;
}

std::vector<SessionSummary> SessionLibrary::list() {
    auto summaries = store_.listSessions(listing_);
    std::set<std::string, std::less<>> listed;
    for (const auto& summary : summaries) {
        listed.insert(summary.id);
    }
    std::erase_if(cache_, [&](const auto& item) { return !listed.contains(item.first); });
    return summaries;
}

std::shared_ptr<const SessionLibrary::Entry> SessionLibrary::entry(const SessionSummary& summary) {
    if (const auto cached = cache_.find(summary.id); cached != cache_.end()) {
        const auto& record = cached->second->record;
        if (record.lastUpdated >= summary.lastUpdated && record.endedAt == summary.endedAt) {
            return cached->second;
        }
    }
    auto made = makeEntry(store_.load(summary.id));
    cache_.insert_or_assign(summary.id, made);
    return made;
}

void SessionLibrary::remember(const SessionRecord& record) {
    if (const auto cached = cache_.find(record.id);
        cached != cache_.end() && cached->second->record.lastUpdated > record.lastUpdated) {
        return;
    }
    cache_.insert_or_assign(record.id, makeEntry(record));
}

std::set<std::string> SessionLibrary::sessionIDs(const std::string& query,
                                                 const std::vector<SessionSummary>& summaries,
                                                 const std::atomic<bool>* cancelled) {
    const TextMatcher matcher(query);
    std::set<std::string> found;
    for (const auto& summary : summaries) {
        if (cancelled != nullptr && cancelled->load()) {
            break;
        }
        try {
            if (matcher.foundIn(entry(summary)->foldedText())) {
                found.insert(summary.id);
            }
        } catch (const std::exception&) {
            // An unreadable session cannot match.
        }
    }
    return found;
}

void SessionLibrary::trash(const SessionSummary& summary) {
    store_.trash(summary.id);
    cache_.erase(summary.id);
}

} // namespace ambrel::core
