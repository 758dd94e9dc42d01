#include "SessionsCommand.h"

#include "core/FixedDateFormat.h"
#include "core/MillisecondDate.h"
#include "core/SessionFileError.h"
#include "core/SessionLibrary.h"
#include "core/TranscriptRenderer.h"
#include "core/UnicodeText.h"
#include "locale/L10n.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <ostream>

namespace ambrel::SessionsCommand {

using namespace ambrel::core;

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
        out << fmt::format("{}\t{}\t{}\t{}\n", session.id, clock.format(session.startedAt),
                           session.endedAt ? clock.format(*session.endedAt) : "live",
                           session.lineCount);
    }
    return 0;
}

int show(const SessionStore& store, const std::string& id, ShowFormat format,
         const PlainTextOptions& options, std::ostream& out, std::ostream& err) {
    SessionRecord record;
    try {
        record = store.load(id);
    } catch (const SessionFileError& error) {
        if (error.code() == std::errc::no_such_file_or_directory) {
            err << fmt::format("ambrel: no session \u201C{}\u201D in {}\n", id,
                               store.directory().string());
        } else {
            err << "ambrel: " << error.what() << '\n';
        }
        return 1;
    }
    const auto labels = L10n::transcriptLabels();
    out << (format == ShowFormat::markdown
                ? TranscriptRenderer::markdown(record, labels, store.timeZone())
                : TranscriptRenderer::plainText(record, labels, options, store.timeZone()));
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
            out << session.id << '\n';
        }
    }
    return 0;
}

} // namespace ambrel::SessionsCommand
