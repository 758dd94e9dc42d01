#include "HistoryModel.h"

#include "core/FileAccess.h"
#include "core/SessionExport.h"
#include "core/TimeZone.h"
#include "core/TranscriptRenderer.h"
#include "core/UnicodeText.h"
#include "locale/L10n.h"

#include <algorithm>

namespace ambrel {

namespace fs = std::filesystem;
using core::SessionRecord;
using core::SessionSummary;

HistoryModel::HistoryModel(fs::path directory,
                           std::function<std::optional<SessionRecord>()> liveSession,
                           core::Scheduler& scheduler, Services services)
    : scheduler_(scheduler)
    , services_(std::move(services))
    , directory_(std::move(directory))
    , library_(std::make_shared<core::SessionLibrary>(core::SessionStore(directory_)))
    , liveSessionProvider_(std::move(liveSession)) {}

HistoryModel::~HistoryModel() {
    if (searchCancelled_) {
        *searchCancelled_ = true;
    }
    alive_.reset();
}

void HistoryModel::notify(Change change) {
    if (onChange) {
        onChange(change);
    }
}

void HistoryModel::onWorker(std::function<void(core::SessionLibrary&)> work) {
    if (!services_.background) {
        // The worker starts with the first work, not with the app.
        worker_ = std::make_unique<core::SerialQueue>("org.ambrel.Ambrel.library");
        services_.background = [queue = worker_.get()](std::function<void()> work) {
            queue->async(std::move(work));
        };
    }
    services_.background([library = library_, work = std::move(work)] { work(*library); });
}

HistoryModel::Stamp HistoryModel::stampOf(const SessionSummary& summary) {
    return {summary.id, summary.lastUpdated, summary.endedAt};
}

std::vector<SessionSummary> HistoryModel::visibleSessions() const {
    if (!searchMatches_) {
        return sessions_;
    }
    std::vector<SessionSummary> visible;
    std::copy_if(
        sessions_.begin(), sessions_.end(), std::back_inserter(visible),
        [&](const SessionSummary& summary) { return searchMatches_->contains(summary.id); });
    return visible;
}

std::optional<SessionSummary> HistoryModel::selectedSummary() const {
    if (!selectedID_) {
        return std::nullopt;
    }
    const auto found = std::find_if(sessions_.begin(), sessions_.end(), [&](const auto& summary) {
        return summary.id == *selectedID_;
    });
    return found != sessions_.end() ? std::optional(*found) : std::nullopt;
}

void HistoryModel::setSessions(std::vector<SessionSummary> sessions) {
    if (sessions != sessions_) {
        sessions_ = std::move(sessions);
        notify(Change::sessions);
    }
}

void HistoryModel::setAlert(std::optional<std::string> message) {
    if (message != alertMessage_) {
        alertMessage_ = std::move(message);
        notify(Change::alert);
    }
}

void HistoryModel::reload() {
    if (reloadRunning_) {
        return;
    }
    reloadRunning_ = true;
    const auto generation = generation_;
    onWorker([this, generation, &scheduler = scheduler_,
              alive = std::weak_ptr<bool>(alive_)](core::SessionLibrary& library) {
        auto list = library.list();
        scheduler.post([this, generation, alive, list = std::move(list)]() mutable {
            if (!alive.lock() || generation != generation_) {
                return; // an older folder's listing
            }
            reloadRunning_ = false;
            apply(std::move(list));
        });
    });
}

void HistoryModel::apply(std::vector<SessionSummary> list) {
    if (latestLive_ && !latestLive_->isLive()) {
        const auto filed = std::find_if(list.begin(), list.end(),
                                        [&](const auto& s) { return s.id == latestLive_->id; });
        if (filed != list.end() && filed->lastUpdated >= latestLive_->lastUpdated) {
            latestLive_.reset(); // the file has caught up
        }
    }
    auto merged = overlayingLive(std::move(list));
    const bool changed = merged != sessions_;
    setSessions(std::move(merged));
    if (!hasLoaded_) {
        hasLoaded_ = true;
        notify(Change::hasLoaded);
    }
    if (selectedID_ && !selectedSummary()) {
        select(std::nullopt);
    }
    if (!selectedID_ && !didAutoSelect_ && !sessions_.empty()) {
        auto pick = sessions_.front().id;
        if (liveSessionID_ && std::any_of(sessions_.begin(), sessions_.end(),
                                          [&](const auto& s) { return s.id == *liveSessionID_; })) {
            pick = *liveSessionID_;
        }
        didAutoSelect_ = true;
        select(pick);
    } else {
        checkStaleDetail();
    }
    if (changed && !searchText_.empty()) {
        runSearch(false);
    }
}

std::vector<SessionSummary> HistoryModel::overlayingLive(std::vector<SessionSummary> list) const {
    if (!latestLive_ || (latestLive_->id != liveSessionID_ && latestLive_->isLive())) {
        return list;
    }
    const auto& live = *latestLive_;
    const auto found =
        std::find_if(list.begin(), list.end(), [&](const auto& s) { return s.id == live.id; });
    if (found != list.end()) {
        if (found->lastUpdated > live.lastUpdated) {
            return list; // the file is newer
        }
        found->lastUpdated = live.lastUpdated;
        found->endedAt = live.endedAt;
        found->lineCount = live.lines.size();
        return list;
    }
    const core::SessionStore store(directory_);
    SessionSummary summary{live.id,
                           live.startedAt,
                           live.endedAt,
                           live.lastUpdated,
                           live.lines.size(),
                           store.jsonURL(live.id),
                           store.markdownURL(live.id)};
    const auto before = std::find_if(list.begin(), list.end(),
                                     [&](const auto& s) { return s.startedAt < live.startedAt; });
    list.insert(before, std::move(summary));
    return list;
}

std::optional<SessionRecord> HistoryModel::currentLive() {
    if (latestLive_ && latestLive_->id == liveSessionID_) {
        return latestLive_;
    }
    if (liveSessionProvider_) {
        if (auto record = liveSessionProvider_(); record && record->id == liveSessionID_) {
            latestLive_ = record;
            return record;
        }
    }
    return std::nullopt;
}

void HistoryModel::updateLiveSessionID(const std::optional<std::string>& id) {
    if (id == liveSessionID_) {
        return;
    }
    liveSessionID_ = id;
    if (latestLive_ && latestLive_->id != id && latestLive_->isLive()) {
        latestLive_.reset();
    }
    notify(Change::liveSession);
    if (isActive_) {
        reload();
    }
}

void HistoryModel::liveSessionDidUpdate(const SessionRecord& record) {
    latestLive_ = record;
    if (record.isLive() && liveSessionID_ != record.id) {
        liveSessionID_ = record.id;
        notify(Change::liveSession);
    }
    if (!isActive_) {
        return;
    }
    setSessions(overlayingLive(sessions_));
    if (selectedID_ == record.id) {
        show(record);
    }
    onWorker([record](core::SessionLibrary& library) { library.remember(record); });
}

void HistoryModel::show(const SessionRecord& record) {
    const bool changed = detail_ != record || detailError_ || detailStamp_;
    detail_ = record;
    detailError_.reset();
    detailStamp_.reset();
    if (changed) {
        notify(Change::detail);
    }
}

void HistoryModel::select(const std::optional<std::string>& id) {
    if (id == selectedID_) {
        return;
    }
    selectedID_ = id;
    ++detailTask_;
    detail_.reset();
    detailError_.reset();
    detailStamp_.reset();
    notify(Change::selection);
    notify(Change::detail);
    const auto summary = selectedSummary();
    if (!summary) {
        return;
    }
    if (summary->id == liveSessionID_) {
        if (const auto live = currentLive()) {
            show(*live);
            return;
        }
    }
    load(*summary);
}

void HistoryModel::load(const SessionSummary& summary) {
    const auto task = ++detailTask_;
    onWorker([this, task, summary, &scheduler = scheduler_,
              alive = std::weak_ptr<bool>(alive_)](core::SessionLibrary& library) {
        std::shared_ptr<const core::SessionLibrary::Entry> entry;
        std::optional<std::string> error;
        try {
            entry = library.entry(summary);
        } catch (const std::exception& failure) {
            error = failure.what();
        }
        scheduler.post([this, task, summary, alive, entry, error] {
            if (!alive.lock() || task != detailTask_ || selectedID_ != summary.id) {
                return;
            }
            if (entry) {
                detail_ = entry->record;
                detailError_.reset();
            } else {
                detail_.reset();
                detailError_ = error;
            }
            detailStamp_ = stampOf(summary);
            notify(Change::detail);
        });
    });
}

void HistoryModel::checkStaleDetail() {
    const auto summary = selectedSummary();
    if (!summary || summary->id == liveSessionID_) {
        return;
    }
    const auto stamp = stampOf(*summary);
    if (detailStamp_ == stamp) {
        return;
    }
    if (detail_ && detail_->id == summary->id && detail_->lastUpdated >= summary->lastUpdated &&
        detail_->endedAt == summary->endedAt) {
        detailStamp_ = stamp;
        return;
    }
    load(*summary);
}

void HistoryModel::setSearchText(const std::string& text) {
    if (text == searchText_) {
        return;
    }
    searchText_ = text;
    notify(Change::search);
    runSearch(true);
}

void HistoryModel::runSearch(bool debounced) {
    if (searchCancelled_) {
        *searchCancelled_ = true;
        searchCancelled_.reset();
    }
    searchDelay_.reset();
    // Trimmed as the command line's search trims it, so both find the same sessions.
    const std::string query(core::UnicodeText::trimmingWhitespace(searchText_));
    if (query.empty()) {
        if (searchMatches_ || !activeQuery_.empty()) {
            searchMatches_.reset();
            activeQuery_.clear();
            notify(Change::search);
        }
        return;
    }
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    searchCancelled_ = cancelled;
    auto search = [this, query, cancelled, summaries = sessions_] {
        onWorker([this, query, cancelled, summaries, &scheduler = scheduler_,
                  alive = std::weak_ptr<bool>(alive_)](core::SessionLibrary& library) {
            if (*cancelled) {
                return;
            }
            auto found = library.sessionIDs(query, summaries, cancelled.get());
            scheduler.post([this, query, cancelled, alive, found = std::move(found)]() mutable {
                if (!alive.lock() || *cancelled) {
                    return;
                }
                searchMatches_ = std::move(found);
                activeQuery_ = query;
                notify(Change::search);
            });
        });
    };
    if (debounced) {
        searchDelay_ = scheduler_.after(searchDelay, std::move(search));
    } else {
        search();
    }
}

std::optional<SessionSummary>
HistoryModel::target(const std::optional<SessionSummary>& given) const {
    return given ? given : selectedSummary();
}

void HistoryModel::renderAndCopy(const SessionRecord& record) {
    const auto options = services_.copyOptions ? services_.copyOptions() : core::PlainTextOptions{};
    const auto text = core::TranscriptRenderer::plainText(record, L10n::transcriptLabels(), options,
                                                          core::TimeZone::system());
    if (services_.copyText) {
        services_.copyText(text);
    }
}

void HistoryModel::copyTranscript(const std::optional<SessionSummary>& summary) {
    const auto chosen = target(summary);
    if (!chosen) {
        return;
    }
    if (detail_ && detail_->id == chosen->id) {
        renderAndCopy(*detail_);
        return;
    }
    onWorker([this, summary = *chosen, &scheduler = scheduler_,
              alive = std::weak_ptr<bool>(alive_)](core::SessionLibrary& library) {
        std::shared_ptr<const core::SessionLibrary::Entry> entry;
        std::string error;
        try {
            entry = library.entry(summary);
        } catch (const std::exception& failure) {
            error = failure.what();
        }
        scheduler.post([this, alive, entry, error] {
            if (!alive.lock()) {
                return;
            }
            if (entry) {
                renderAndCopy(entry->record);
            } else {
                setAlert(error);
            }
        });
    });
}

std::optional<SessionRecord> HistoryModel::heldRecord(const SessionSummary& summary) {
    if (summary.id == liveSessionID_) {
        if (auto live = currentLive()) {
            return live;
        }
    }
    if (detail_ && detail_->id == summary.id) {
        return detail_;
    }
    return std::nullopt;
}

void HistoryModel::exportSession(const ExportChoice& destination,
                                 const std::optional<SessionSummary>& summary) {
    const auto chosen = target(summary);
    if (!chosen) {
        return;
    }
    // Read here: the labels and options belong to this thread.
    const auto options = services_.copyOptions ? services_.copyOptions() : core::PlainTextOptions{};
    onWorker([this, destination, options, labels = L10n::transcriptLabels(),
              held = heldRecord(*chosen), summary = *chosen, &scheduler = scheduler_,
              alive = std::weak_ptr<bool>(alive_)](core::SessionLibrary& library) {
        std::optional<std::string> readFailure;
        std::optional<std::string> writeFailure;
        try {
            const auto record = held ? *held : library.entry(summary)->record;
            const auto bytes = core::SessionExport::render(record, destination.format, labels,
                                                           options, core::TimeZone::system());
            try {
                core::FileAccess::writeAtomically(destination.file, bytes);
            } catch (const fs::filesystem_error& error) {
                // The system's words alone: the alert names the file already.
                writeFailure = error.code().message();
            }
        } catch (const std::exception& error) {
            readFailure = error.what(); // the session could not be read or encoded
        }
        scheduler.post([this, alive, file = destination.file, readFailure, writeFailure] {
            if (!alive.lock()) {
                return;
            }
            if (writeFailure) {
                setAlert(L10n::format(Texts::historyExportFailed, {file.string(), *writeFailure}));
            } else if (readFailure) {
                setAlert(readFailure);
            }
        });
    });
}

void HistoryModel::openMarkdown(const std::optional<SessionSummary>& summary) {
    const auto chosen = target(summary);
    if (!chosen) {
        return;
    }
    std::error_code error;
    if (!fs::exists(chosen->markdownURL, error)) {
        setAlert(
            L10n::format(Texts::alertFileNotWrittenYet, {chosen->markdownURL.filename().string()}));
        return;
    }
    if (!services_.openFile || !services_.openFile(chosen->markdownURL)) {
        setAlert(L10n::text(Texts::alertCouldNotOpenFile));
    }
}

void HistoryModel::revealInFileManager(const std::optional<SessionSummary>& summary) {
    const auto chosen = target(summary);
    if (!chosen || !services_.reveal) {
        return;
    }
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& file : {chosen->markdownURL, chosen->jsonURL}) {
        if (fs::exists(file, error)) {
            files.push_back(file);
        }
    }
    services_.reveal(files, directory_);
}

void HistoryModel::requestTrash(const std::optional<SessionSummary>& summary) {
    const auto chosen = target(summary);
    if (!chosen) {
        return;
    }
    if (chosen->id == liveSessionID_) {
        setAlert(L10n::text(Texts::historyCannotTrashLive));
        return;
    }
    pendingTrash_ = chosen;
    notify(Change::pendingTrash);
}

void HistoryModel::dismissTrash() {
    if (pendingTrash_) {
        pendingTrash_.reset();
        notify(Change::pendingTrash);
    }
}

void HistoryModel::dismissAlert() {
    setAlert(std::nullopt);
}

void HistoryModel::confirmTrash(const SessionSummary& given) {
    const SessionSummary summary = given; // may be the pending one, cleared next
    dismissTrash();
    if (summary.id == liveSessionID_) {
        setAlert(L10n::text(Texts::historyCannotTrashLive));
        return;
    }
    const auto generation = generation_;
    onWorker([this, summary, generation, &scheduler = scheduler_,
              alive = std::weak_ptr<bool>(alive_)](core::SessionLibrary& library) {
        std::optional<std::string> error;
        try {
            library.trash(summary);
        } catch (const std::exception& failure) {
            error = failure.what();
        }
        scheduler.post([this, summary, generation, alive, error] {
            if (!alive.lock()) {
                return;
            }
            if (error) {
                setAlert(error);
            } else if (generation == generation_) {
                remove(summary.id);
            }
        });
    });
}

void HistoryModel::remove(const std::string& id) {
    const auto visible = visibleSessions();
    std::optional<std::string> neighbour;
    const auto position =
        std::find_if(visible.begin(), visible.end(), [&](const auto& s) { return s.id == id; });
    if (position != visible.end()) {
        if (position + 1 != visible.end()) {
            neighbour = (position + 1)->id;
        } else if (position != visible.begin()) {
            neighbour = (position - 1)->id;
        }
    }
    auto remaining = sessions_;
    std::erase_if(remaining, [&](const auto& s) { return s.id == id; });
    setSessions(std::move(remaining));
    if (searchMatches_ && searchMatches_->erase(id) > 0) {
        notify(Change::search);
    }
    if (latestLive_ && latestLive_->id == id) {
        latestLive_.reset();
    }
    if (selectedID_ == id) {
        select(neighbour);
    }
}

void HistoryModel::activate() {
    if (selectedID_ && selectedID_ == liveSessionID_) {
        if (const auto live = currentLive()) {
            show(*live);
        }
    }
    reload();
    if (!isActive_) {
        isActive_ = true;
        refreshTimer_ = scheduler_.every(refreshInterval, [this] { reload(); });
    }
}

void HistoryModel::deactivate() {
    isActive_ = false;
    refreshTimer_.reset();
}

void HistoryModel::setDirectory(const fs::path& directory) {
    if (directory.lexically_normal() == directory_.lexically_normal()) {
        return;
    }
    directory_ = directory;
    library_ = std::make_shared<core::SessionLibrary>(core::SessionStore(directory_));
    if (latestLive_ && !latestLive_->isLive()) {
        latestLive_.reset();
    }
    ++generation_;
    reloadRunning_ = false;
    ++detailTask_;
    if (searchCancelled_) {
        *searchCancelled_ = true;
        searchCancelled_.reset();
    }
    searchDelay_.reset();
    setSessions({});
    if (hasLoaded_) {
        hasLoaded_ = false;
        notify(Change::hasLoaded);
    }
    didAutoSelect_ = false;
    if (searchMatches_ || !activeQuery_.empty()) {
        searchMatches_.reset();
        activeQuery_.clear();
        notify(Change::search);
    }
    select(std::nullopt);
    if (isActive_) {
        reload();
    }
}

} // namespace ambrel
