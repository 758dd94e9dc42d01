#pragma once

#include "locale/L10n.h"

#include <QString>

#include <string>

namespace ambrel {

// A text of the interface language, for a widget.
inline QString uiText(const Text& key) {
    return QString::fromStdString(L10n::text(key));
}

} // namespace ambrel
