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

} // namespace ambrel::SessionsCommand
