#include "SessionListModel.h"

#include "locale/Format.h"
#include "locale/L10n.h"

namespace ambrel {

SessionListModel::SessionListModel(std::function<core::Instant()> now, QObject* parent)
    : QAbstractListModel(parent)
    , now_(std::move(now)) {}

std::string SessionListModel::details(const core::SessionSummary& summary, core::Instant end) {
    return Format::duration(end - summary.startedAt, L10n::localeIdentifier()) + " · " +
           L10n::lineCount(static_cast<std::int64_t>(summary.lineCount));
}

void SessionListModel::setSessions(std::vector<core::SessionSummary> sessions,
                                   const std::optional<std::string>& liveID) {
    const bool sameIDs = sessions.size() == sessions_.size() &&
                         std::equal(sessions.begin(), sessions.end(), sessions_.begin(),
                                    [](const auto& a, const auto& b) { return a.id == b.id; });
    if (!sameIDs) {
        // Rows came or went: the view keeps its selection through the ids.
        beginResetModel();
        sessions_ = std::move(sessions);
        liveID_ = liveID;
        endResetModel();
        return;
    }
    const bool liveChanged = liveID != liveID_;
    liveID_ = liveID;
    for (std::size_t i = 0; i < sessions.size(); ++i) {
        if (liveChanged || sessions[i] != sessions_[i]) {
            sessions_[i] = sessions[i];
            const auto at = index(static_cast<int>(i));
            emit dataChanged(at, at);
        }
    }
}

void SessionListModel::relabel() {
    if (!sessions_.empty()) {
        emit dataChanged(index(0), index(static_cast<int>(sessions_.size()) - 1));
    }
}

void SessionListModel::tick() {
    if (const int row = liveID_ ? rowOf(*liveID_) : -1; row >= 0) {
        const auto at = index(row);
        emit dataChanged(at, at, {detailsRole});
    }
}

int SessionListModel::rowOf(const std::string& id) const {
    for (std::size_t i = 0; i < sessions_.size(); ++i) {
        if (sessions_[i].id == id) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int SessionListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(sessions_.size());
}

QVariant SessionListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const auto& summary = sessions_[static_cast<std::size_t>(index.row())];
    const bool live = summary.id == liveID_;
    switch (role) {
    case idRole:
        return QString::fromStdString(summary.id);
    case Qt::DisplayRole:
    case titleRole:
        return QString::fromStdString(Format::sessionTitle(summary.startedAt));
    case detailsRole: {
        const core::Instant end = live ? now_() : summary.endedAt.value_or(summary.lastUpdated);
        return QString::fromStdString(details(summary, end));
    }
    case liveRole:
        return live;
    default:
        return {};
    }
}

} // namespace ambrel
