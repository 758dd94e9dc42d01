#pragma once

#include "locale/L10n.h"

#include <QString>

#include <string>

namespace ambrel {

// A text of ours (UTF-8), for a widget.
inline QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

// A text of the interface language, for a widget.
inline QString uiText(const Text& key) {
    return qt(L10n::text(key));
}

} // namespace ambrel
