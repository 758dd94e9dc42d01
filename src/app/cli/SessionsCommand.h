#pragma once

#include "core/ExportFormat.h"
#include "core/PlainTextOptions.h"
#include "core/SessionStore.h"

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

// "ambrel sessions …": the stored sessions of a folder, for terminals and scripts. What the
// files hold is shown with controls and bidi formatting escaped, so no file can take over the
// terminal or forge a row.
namespace ambrel::SessionsCommand {

// One session per line, newest first: id, start, end (or "live"), line count, tab-separated;
// or a JSON array.
int list(const core::SessionStore& store, bool json, std::ostream& out, std::ostream& err);

enum class ShowFormat { markdown, plainText };

// The session rendered afresh from its record.
int show(const core::SessionStore& store, const std::string& id, ShowFormat format,
         const core::PlainTextOptions& options, std::ostream& out, std::ostream& err);

// The session as an export file: written to `output` (atomically; a new file is the owner's
// only), else to `out` unaltered unless that is a terminal.
int exportSession(const core::SessionStore& store, const std::string& id, core::ExportFormat format,
                  const core::PlainTextOptions& options,
                  const std::optional<std::filesystem::path>& output, std::ostream& out,
                  std::ostream& err);

// The ids the history search shows for the query, newest first: sessions whose lines contain it
// in any case, accent or width. An empty query shows them all.
int search(const core::SessionStore& store, const std::string& query, std::ostream& out,
           std::ostream& err);

} // namespace ambrel::SessionsCommand
