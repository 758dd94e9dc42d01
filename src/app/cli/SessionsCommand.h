#pragma once

#include "core/PlainTextOptions.h"
#include "core/SessionStore.h"

#include <iosfwd>
#include <string>

// "ambrel sessions …": the stored sessions of a folder, for terminals and scripts.
namespace ambrel::SessionsCommand {

// One session per line, newest first: id, start, end (or "live"), line count, tab-separated;
// or a JSON array.
int list(const core::SessionStore& store, bool json, std::ostream& out, std::ostream& err);

enum class ShowFormat { markdown, plainText };

// The session rendered afresh from its record.
int show(const core::SessionStore& store, const std::string& id, ShowFormat format,
         const core::PlainTextOptions& options, std::ostream& out, std::ostream& err);

// The ids the history search shows for the query, newest first: sessions whose lines contain it
// in any case, accent or width. An empty query shows them all.
int search(const core::SessionStore& store, const std::string& query, std::ostream& out,
           std::ostream& err);

} // namespace ambrel::SessionsCommand
