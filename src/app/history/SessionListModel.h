#pragma once

#include "core/Instant.h"
#include "core/SessionSummary.h"

#include <QAbstractListModel>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ambrel {

// The rows of the history list: each session's title, details and whether it is recording.
class SessionListModel : public QAbstractListModel {
public:
    enum Role {
        idRole = Qt::UserRole + 1,
        titleRole,
        detailsRole,
        liveRole,
    };

    // `now` gives the time for the running duration of the live session.
    explicit SessionListModel(std::function<core::Instant()> now, QObject* parent = nullptr);

    // Takes the visible sessions; rows are replaced only where they changed.
    void setSessions(std::vector<core::SessionSummary> sessions,
                     const std::optional<std::string>& liveID);
    // The live row's duration moves on.
    void tick();
    // Every row is drawn again: the interface language changed.
    void relabel();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    const std::vector<core::SessionSummary>& sessions() const { return sessions_; }
    int rowOf(const std::string& id) const;

    // "5m 07s · 12 lines": the span to the end (or the last update), and the lines.
    static std::string details(const core::SessionSummary& summary, core::Instant end);

private:
    std::function<core::Instant()> now_;
    std::vector<core::SessionSummary> sessions_;
    std::optional<std::string> liveID_;
};

} // namespace ambrel
