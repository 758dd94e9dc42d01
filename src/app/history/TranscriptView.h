#pragma once

#include "TranscriptRow.h"
#include "app/AppSettings.h"
#include "core/SessionRecord.h"

#include <QTextEdit>

#include <optional>
#include <string>
#include <vector>

namespace ambrel {

// A session's transcript in three aligned columns (time, speaker, text), read-only and
// selectable. While a session records, only the rows that changed at the end are rendered
// again. The active search is highlighted; copying gives clean "[time] Speaker: text" rows.
class TranscriptView : public QTextEdit {
public:
    // Where the speaker and text columns start, in pixels.
    struct Columns {
        int speaker = 0;
        int text = 0;
        bool operator==(const Columns&) const = default;
    };

    // The property that marks each run of text with its part of a row.
    static constexpr int partProperty = QTextFormat::UserProperty + 1;

    explicit TranscriptView(AppSettings settings, QWidget* parent = nullptr);

    void show(const core::SessionRecord& record, bool isLive, const std::string& highlight);

    Columns columns(const std::vector<TranscriptRow>& rows) const;
    // The rows of the selection as copying writes them, joined by line feeds.
    std::string selectedRowsText() const;
    // Copies the selection as clean rows.
    void copyRows();
    bool isAtEnd() const;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    struct Shown {
        std::string sessionID;
        std::string highlight;
        Columns columns;
        std::vector<TranscriptRow> rows;
    };

    // Appends rows at the cursor; returns the position of the first highlight, if any.
    std::optional<int> render(QTextCursor& cursor, const std::vector<TranscriptRow>& rows,
                              const Columns& columns, const std::string& highlight) const;
    void scrollToEnd();

    AppSettings settings_;
    std::optional<Shown> shown_;
    QFont textFont_;
    QFont markerFont_;
    QFont timeFont_;
    QFont speakerFont_;
};

} // namespace ambrel
