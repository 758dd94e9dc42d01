#include "SessionsCommand.h"

#include "TerminalFacts.h"
#include "core/FileAccess.h"
#include "core/FixedDateFormat.h"
#include "core/MillisecondDate.h"
#include "core/SessionExport.h"
#include "core/SessionFileError.h"
#include "core/SessionLibrary.h"
#include "core/TerminalText.h"
#include "core/TranscriptRenderer.h"
#include "core/UnicodeText.h"
#include "locale/L10n.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <ostream>

namespace ambrel::SessionsCommand {

using namespace ambrel::core;

namespace {

using TerminalText::escaped;

// The record, or nothing after telling why on `err`.
std::optional<SessionRecord> load(const SessionStore& store, const std::string& id,
                                  std::ostream& err) {
    try {
        return store.load(id);
    } catch (const SessionFileError& error) {
        if (error.code() == std::errc::no_such_file_or_directory) {
            err << fmt::format("ambrel: no session \u201C{}\u201D in {}\n", escaped(id),
                               escaped(store.directory().string()));
        } else {
            err << "ambrel: " << escaped(error.what()) << '\n';
        }
        return std::nullopt;
    }
}

} // namespace

int list(const SessionStore& store, bool json, std::ostream& out, std::ostream&) {
    const auto sessions = store.listSessions();
    if (json) {
        auto array = nlohmann::json::array();
        for (const auto& session : sessions) {
            nlohmann::json object{{"id", session.id},
                                  {"startedAt", MillisecondDate::string(session.startedAt)},
                                  {"lastUpdated", MillisecondDate::string(session.lastUpdated)},
                                  {"lineCount", session.lineCount}};
            if (session.endedAt) {
                object["endedAt"] = MillisecondDate::string(*session.endedAt);
            }
            array.push_back(std::move(object));
        }
        out << array.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return 0;
    }
    const FixedDateFormat clock("yyyy-MM-dd HH:mm:ss", store.timeZone());
    for (const auto& session : sessions) {
        out << fmt::format("{}\t{}\t{}\t{}\n", escaped(session.id), clock.format(session.startedAt),
                           session.endedAt ? clock.format(*session.endedAt) : "live",
                           session.lineCount);
    }
    return 0;
}

int show(const SessionStore& store, const std::string& id, ShowFormat format,
         const PlainTextOptions& options, std::ostream& out, std::ostream& err) {
    auto record = load(store, id, err);
    if (!record) {
        return 1;
    }
    // The renderers put line texts on one line; language codes are written as they are, so
    // their line breaks are escaped before the rows are laid out.
    for (auto& language : record->languages) {
        language = escaped(language);
    }
    const auto labels = L10n::transcriptLabels();
    out << escaped(format == ShowFormat::markdown
                       ? TranscriptRenderer::markdown(*record, labels, store.timeZone())
                       : TranscriptRenderer::plainText(*record, labels, options, store.timeZone()),
                   true);
    return 0;
}

int exportSession(const SessionStore& store, const std::string& id, ExportFormat format,
                  const PlainTextOptions& options,
                  const std::optional<std::filesystem::path>& output, std::ostream& out,
                  std::ostream& err) {
    const auto record = load(store, id, err);
    if (!record) {
        return 1;
    }
    const auto contents =
        SessionExport::render(*record, format, L10n::transcriptLabels(), options, store.timeZone());
    if (!output) {
        out << (TerminalFacts::isInteractive(out) ? escaped(contents, true) : contents);
        return 0;
    }
    try {
        FileAccess::writeAtomically(*output, contents);
    } catch (const std::filesystem::filesystem_error& error) {
        err << fmt::format("ambrel: cannot write {}: {}\n", escaped(output->string()),
                           error.code().message());
        return 1;
    }
    return 0;
}

int search(const SessionStore& store, const std::string& query, std::ostream& out, std::ostream&) {
    SessionLibrary library(store);
    const auto sessions = library.list();
    const auto trimmed = std::string(UnicodeText::trimmingWhitespace(query));
    const auto found =
        trimmed.empty() ? std::set<std::string>() : library.sessionIDs(trimmed, sessions);
    for (const auto& session : sessions) {
        if (trimmed.empty() || found.contains(session.id)) {
            out << escaped(session.id) << '\n';
        }
    }
    return 0;
}

} // namespace ambrel::SessionsCommand
