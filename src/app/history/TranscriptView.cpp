#include "TranscriptView.h"

#include "app/desktop/UiText.h"
#include "core/TextMatcher.h"
#include "locale/L10n.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include <cmath>
#include <map>

namespace ambrel {

namespace {

constexpr int columnGap = 14;
constexpr int endSlack = 8;

QFont sized(double points, bool semibold = false) {
    QFont font = QApplication::font();
    font.setPointSizeF(points);
    if (semibold) {
        font.setWeight(QFont::DemiBold);
    }
    return font;
}

QColor speakerColour(std::optional<core::SpeechSource> source) {
    return source == core::SpeechSource::microphone ? QColor(0x24, 0x8a, 0x3d)
                                                    : QColor(0x1f, 0x6f, 0xd1);
}

} // namespace

TranscriptView::TranscriptView(AppSettings settings, QWidget* parent)
    : QTextEdit(parent)
    , settings_(std::move(settings)) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setViewportMargins(14, 12, 14, 12);
    document()->setDocumentMargin(0);
    const double standard = QApplication::font().pointSizeF();
    const double small = standard - 2;
    textFont_ = sized(standard + 1);
    markerFont_ = sized(small + 1);
    timeFont_ = sized(small + 1);
    speakerFont_ = sized(small + 1, true);
}

TranscriptView::Columns TranscriptView::columns(const std::vector<TranscriptRow>& rows) const {
    // The widest clock text sets the speaker column; the widest name the text column.
    QString widestTime = QStringLiteral("00:00:00");
    if (!rows.empty()) {
        widestTime = qt(rows.front().time);
        for (const auto& row : rows) {
            if (QString time = qt(row.time); time.size() > widestTime.size()) {
                widestTime = std::move(time);
            }
        }
    }
    Columns columns;
    columns.speaker = QFontMetrics(timeFont_).horizontalAdvance(widestTime) + columnGap;
    // Measured once per name: there are two at most.
    const QFontMetrics speakerMetrics(speakerFont_);
    std::map<std::string, int> nameWidths;
    int widestName = 0;
    for (const auto& row : rows) {
        if (row.speaker) {
            auto [width, added] = nameWidths.try_emplace(*row.speaker, 0);
            if (added) {
                width->second = speakerMetrics.horizontalAdvance(qt(*row.speaker));
            }
            widestName = std::max(widestName, width->second);
        }
    }
    columns.text = widestName > 0 ? columns.speaker + widestName + columnGap : columns.speaker;
    return columns;
}

std::optional<int> TranscriptView::render(QTextCursor& cursor,
                                          const std::vector<TranscriptRow>& rows,
                                          const Columns& columns,
                                          const std::string& highlight) const {
    QTextBlockFormat block;
    QList<QTextOption::Tab> tabs{QTextOption::Tab(columns.speaker, QTextOption::LeftTab)};
    if (columns.text != columns.speaker) {
        tabs.append(QTextOption::Tab(columns.text, QTextOption::LeftTab));
    }
    block.setTabPositions(tabs);
    // Wrapped text stays in its column.
    block.setLeftMargin(columns.text);
    block.setTextIndent(-columns.text);
    block.setBottomMargin(6);

    const QPalette colours = palette();
    const auto run = [&](const QString& text, const QFont& font, const QColor& colour,
                         const char* part) {
        QTextCharFormat format;
        format.setFont(font);
        format.setForeground(colour);
        format.setProperty(partProperty, QString::fromUtf8(part));
        cursor.insertText(text, format);
    };
    const core::TextMatcher matcher(highlight);
    std::optional<int> firstMatch;
    for (const auto& row : rows) {
        if (cursor.position() == 0 && document()->isEmpty()) {
            cursor.setBlockFormat(block);
        } else {
            cursor.insertBlock(block);
        }
        const bool marker = row.kind == TranscriptRow::Kind::marker;
        run(qt(row.time), timeFont_,
            colours.color(marker ? QPalette::PlaceholderText : QPalette::Text)
                .lighter(marker ? 100 : 160),
            "time");
        run(QStringLiteral("\t"), textFont_, colours.color(QPalette::Text), "separator");
        if (columns.text != columns.speaker) {
            if (row.speaker) {
                run(qt(*row.speaker), speakerFont_, speakerColour(row.source), "speaker");
            }
            run(QStringLiteral("\t"), textFont_, colours.color(QPalette::Text), "separator");
        }
        const QFont& font = marker ? markerFont_ : textFont_;
        const QColor colour =
            marker ? colours.color(QPalette::PlaceholderText) : colours.color(QPalette::Text);
        std::size_t done = 0;
        for (const auto& [first, last] : matcher.occurrences(row.text)) {
            run(qt(row.text.substr(done, first - done)), font, colour, "text");
            if (!firstMatch) {
                firstMatch = cursor.position();
            }
            QTextCharFormat found;
            found.setFont(font);
            found.setForeground(Qt::black);
            found.setBackground(QColor(0xff, 0xe0, 0x3d));
            found.setProperty(partProperty, QStringLiteral("text"));
            cursor.insertText(qt(row.text.substr(first, last - first)), found);
            done = last;
        }
        run(qt(row.text.substr(done)), font, colour, "text");
    }
    return firstMatch;
}

bool TranscriptView::isAtEnd() const {
    const QScrollBar* bar = verticalScrollBar();
    return bar->value() >= bar->maximum() - endSlack;
}

void TranscriptView::scrollToEnd() {
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

void TranscriptView::show(const core::SessionRecord& record, bool isLive,
                          const std::string& highlight) {
    auto rows = TranscriptRow::rows(record);
    const Columns wanted = columns(rows);
    if (shown_ && shown_->sessionID == record.id && shown_->highlight == highlight &&
        shown_->columns == wanted) {
        if (rows == shown_->rows) {
            return;
        }
        std::size_t kept = 0;
        while (kept < rows.size() && kept < shown_->rows.size() &&
               rows[kept] == shown_->rows[kept]) {
            ++kept;
        }
        const bool followEnd = isLive && isAtEnd();
        QTextCursor cursor(document());
        cursor.beginEditBlock();
        if (kept == 0) {
            cursor.select(QTextCursor::Document);
            cursor.removeSelectedText();
        } else {
            // Everything after the kept rows' blocks goes; one block per row.
            const QTextBlock last = document()->findBlockByNumber(static_cast<int>(kept) - 1);
            cursor.setPosition(last.position() + last.length() - 1);
            cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
        cursor.movePosition(QTextCursor::End);
        render(cursor,
               std::vector<TranscriptRow>(rows.begin() + static_cast<long>(kept), rows.end()),
               wanted, highlight);
        cursor.endEditBlock();
        shown_->rows = std::move(rows);
        if (followEnd) {
            QTimer::singleShot(0, this, [this] { scrollToEnd(); });
        }
        return;
    }

    const bool sameSession = shown_ && shown_->sessionID == record.id;
    const bool followEnd = isLive && (!sameSession || isAtEnd());
    const int previousScroll = verticalScrollBar()->value();
    clear();
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    const auto firstMatch = render(cursor, rows, wanted, highlight);
    cursor.endEditBlock();
    shown_ = Shown{record.id, highlight, wanted, std::move(rows)};
    QPointer<TranscriptView> self(this);
    QTimer::singleShot(0, this, [self, firstMatch, sameSession, followEnd, previousScroll] {
        if (!self) {
            return;
        }
        if (firstMatch) {
            QTextCursor at(self->document());
            at.setPosition(*firstMatch);
            self->setTextCursor(at);
            self->ensureCursorVisible();
        } else if (followEnd) {
            self->scrollToEnd();
        } else if (sameSession) {
            self->verticalScrollBar()->setValue(previousScroll);
        } else {
            self->verticalScrollBar()->setValue(0);
        }
    });
}

std::string TranscriptView::selectedRowsText() const {
    const QTextCursor selection = textCursor();
    if (!selection.hasSelection()) {
        return {};
    }
    const int start = selection.selectionStart();
    const int end = selection.selectionEnd();
    const auto options = settings_.copyOptions();
    std::vector<std::string> rows;
    QString time;
    QString speaker;
    QString text;
    const auto finish = [&] {
        if (!time.isEmpty() || !speaker.isEmpty() || !text.isEmpty()) {
            rows.push_back(TranscriptPlainText::row(options.times ? time.toStdString() : "",
                                                    options.speakers ? speaker.toStdString() : "",
                                                    text.toStdString()));
        }
        time.clear();
        speaker.clear();
        text.clear();
    };
    for (QTextBlock block = document()->findBlock(start); block.isValid() && block.position() < end;
         block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const int from = std::max(start, fragment.position());
            const int to = std::min(end, fragment.position() + fragment.length());
            if (from >= to) {
                continue;
            }
            const QString piece = fragment.text().mid(from - fragment.position(), to - from);
            const QString part = fragment.charFormat().property(partProperty).toString();
            if (part == QLatin1String("time")) {
                time += piece;
            } else if (part == QLatin1String("speaker")) {
                speaker += piece;
            } else if (part == QLatin1String("text")) {
                text += piece;
            }
        }
        finish(); // the row ends with its block, or with the selection
    }
    std::string joined;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        joined += (i == 0 ? "" : "\n") + rows[i];
    }
    return joined;
}

void TranscriptView::copyRows() {
    const std::string text = selectedRowsText();
    if (!text.empty()) {
        QApplication::clipboard()->setText(qt(text));
    }
}

bool TranscriptView::event(QEvent* event) {
    // Copy is the window's shortcut too, which would copy the raw text: the view claims the key.
    if (event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        event->accept();
        return true;
    }
    return QTextEdit::event(event);
}

void TranscriptView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        copyRows();
        event->accept();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

void TranscriptView::contextMenuEvent(QContextMenuEvent* event) {
    setFocus();
    QMenu* menu = createStandardContextMenu(event->pos());
    QAction* copy = nullptr;
    for (QAction* action : menu->actions()) {
        if (action->objectName() == QLatin1String("edit-copy")) {
            copy = action;
            QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this, [this] { copyRows(); });
        }
    }
    const auto toggle = [&](const Text& title, std::string_view key, bool on) {
        auto* action = new QAction(uiText(title), menu);
        action->setCheckable(true);
        action->setChecked(on);
        connect(action, &QAction::triggered, this, [this, key](bool checked) {
            const auto options = settings_.copyOptions();
            settings_.setFlag(AppSettings::Keys::copyTimestamps,
                              key == AppSettings::Keys::copyTimestamps ? checked : options.times);
            settings_.setFlag(AppSettings::Keys::copySpeakers,
                              key == AppSettings::Keys::copySpeakers ? checked : options.speakers);
        });
        return action;
    };
    const auto options = settings_.copyOptions();
    QAction* before = nullptr;
    if (copy != nullptr) {
        const auto actions = menu->actions();
        const auto index = actions.indexOf(copy);
        before = index + 1 < actions.size() ? actions[index + 1] : nullptr;
    }
    menu->insertAction(before, toggle(Texts::historyCopyTimestamps,
                                      AppSettings::Keys::copyTimestamps, options.times));
    menu->insertAction(before, toggle(Texts::historyCopySpeakers, AppSettings::Keys::copySpeakers,
                                      options.speakers));
    menu->exec(event->globalPos());
    delete menu;
}

} // namespace ambrel
