#pragma once

#include "ExportPlan.h"
#include "core/PlainTextOptions.h"
#include "core/Scheduler.h"
#include "core/SerialQueue.h"
#include "core/SessionLibrary.h"
#include "core/SessionRecord.h"
#include "core/SessionSummary.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ambrel {

// What the history window shows and does: the stored sessions newest first with the session
// being recorded laid over them, the selection and its record, the search over all transcripts,
// and copying, exporting, opening, revealing and trashing sessions. Lives on the scheduler's
// thread; files are read, searched and written by a library on a worker of its own.
class HistoryModel {
public:
    enum class Change {
        sessions,
        hasLoaded,
        selection,
        detail,
        liveSession,
        search,
        pendingTrash,
        alert,
    };

    // What the model asks of the desktop; tests put recorders in.
    struct Services {
        // Runs library work in order, away from the user interface. Empty: a worker of its own.
        std::function<void(std::function<void()>)> background;
        std::function<void(const std::string& text)> copyText;
        // False when no application could open the file.
        std::function<bool(const std::filesystem::path& file)> openFile;
        // Shows the files selected in a file manager, else opens the folder.
        std::function<void(const std::vector<std::filesystem::path>& files,
                           const std::filesystem::path& folder)>
            reveal;
        std::function<core::PlainTextOptions()> copyOptions;
    };

    static constexpr double refreshInterval = 5.0;
    static constexpr double searchDelay = 0.2;

    // `liveSession` answers the speech engine's open record, if any.
    HistoryModel(std::filesystem::path directory,
                 std::function<std::optional<core::SessionRecord>()> liveSession,
                 core::Scheduler& scheduler, Services services);
    ~HistoryModel();
    HistoryModel(const HistoryModel&) = delete;
    HistoryModel& operator=(const HistoryModel&) = delete;

    // Told of every change of an observed property, after it happened.
    std::function<void(Change)> onChange;

    const std::vector<core::SessionSummary>& sessions() const { return sessions_; }
    bool hasLoaded() const { return hasLoaded_; }
    const std::optional<std::string>& selectedID() const { return selectedID_; }
    const std::optional<core::SessionRecord>& detail() const { return detail_; }
    const std::optional<std::string>& detailError() const { return detailError_; }
    const std::optional<std::string>& liveSessionID() const { return liveSessionID_; }
    const std::string& searchText() const { return searchText_; }
    const std::string& activeQuery() const { return activeQuery_; }
    const std::optional<std::set<std::string>>& searchMatches() const { return searchMatches_; }
    const std::optional<core::SessionSummary>& pendingTrash() const { return pendingTrash_; }
    const std::optional<std::string>& alertMessage() const { return alertMessage_; }
    const std::filesystem::path& directory() const { return directory_; }
    bool isActive() const { return isActive_; }

    // The sessions the list shows: all of them, or those the search found.
    std::vector<core::SessionSummary> visibleSessions() const;
    std::optional<core::SessionSummary> selectedSummary() const;

    // The window opened or closed.
    void activate();
    void deactivate();

    // From the speech engine.
    void updateLiveSessionID(const std::optional<std::string>& id);
    void liveSessionDidUpdate(const core::SessionRecord& record);
    // The user chose another transcripts folder.
    void setDirectory(const std::filesystem::path& directory);

    void reload();
    void select(const std::optional<std::string>& id);
    void setSearchText(const std::string& text);
    void runSearch(bool debounced);

    // Absent: the selected session.
    void copyTranscript(const std::optional<core::SessionSummary>& summary = {});
    void openMarkdown(const std::optional<core::SessionSummary>& summary = {});
    void revealInFileManager(const std::optional<core::SessionSummary>& summary = {});
    // Renders the session as `target` asks and writes it atomically on the worker: the session
    // being recorded as it stands, a failure as an alert naming the file.
    void exportSession(const ExportChoice& target,
                       const std::optional<core::SessionSummary>& summary = {});
    void requestTrash(const std::optional<core::SessionSummary>& summary = {});
    void confirmTrash(const core::SessionSummary& summary);
    void dismissTrash();
    void dismissAlert();

private:
    struct Stamp {
        std::string id;
        core::Instant lastUpdated = 0;
        std::optional<core::Instant> endedAt;
        bool operator==(const Stamp&) const = default;
    };
    using Library = std::shared_ptr<core::SessionLibrary>;

    void apply(std::vector<core::SessionSummary> list);
    std::vector<core::SessionSummary> overlayingLive(std::vector<core::SessionSummary> list) const;
    std::optional<core::SessionRecord> currentLive();
    void show(const core::SessionRecord& record);
    void load(const core::SessionSummary& summary);
    void checkStaleDetail();
    void remove(const std::string& id);
    void setSessions(std::vector<core::SessionSummary> sessions);
    void setAlert(std::optional<std::string> message);
    std::optional<core::SessionSummary>
    target(const std::optional<core::SessionSummary>& given) const;
    void renderAndCopy(const core::SessionRecord& record);
    // The record of a summary that needs no reading: the live one, or the detail on show.
    std::optional<core::SessionRecord> heldRecord(const core::SessionSummary& summary);
    void notify(Change change);
    // Runs `work` with the library on the worker; it posts its answer back itself.
    void onWorker(std::function<void(core::SessionLibrary&)> work);
    static Stamp stampOf(const core::SessionSummary& summary);

    core::Scheduler& scheduler_;
    Services services_;
    std::unique_ptr<core::SerialQueue> worker_; // when no background was given
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    std::vector<core::SessionSummary> sessions_;
    bool hasLoaded_ = false;
    std::optional<std::string> selectedID_;
    std::optional<core::SessionRecord> detail_;
    std::optional<std::string> detailError_;
    std::optional<std::string> liveSessionID_;
    std::string searchText_;
    std::string activeQuery_;
    std::optional<std::set<std::string>> searchMatches_;
    std::optional<core::SessionSummary> pendingTrash_;
    std::optional<std::string> alertMessage_;
    std::filesystem::path directory_;
    Library library_;
    std::function<std::optional<core::SessionRecord>()> liveSessionProvider_;
    std::optional<core::SessionRecord> latestLive_;
    bool isActive_ = false;
    std::uint64_t generation_ = 0;
    bool didAutoSelect_ = false;
    std::optional<Stamp> detailStamp_;
    core::Scheduler::TimerHandle refreshTimer_;
    bool reloadRunning_ = false;
    std::uint64_t detailTask_ = 0;
    std::shared_ptr<std::atomic<bool>> searchCancelled_;
    core::Scheduler::TimerHandle searchDelay_;
};

} // namespace ambrel
