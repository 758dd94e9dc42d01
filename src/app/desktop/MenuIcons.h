#pragma once

#include <QIcon>
#include <QString>

#include <string>

namespace ambrel::MenuIcons {

// The image of a menu row from its description (see MenuRow::icon): a symbol in the menu's text
// colour or in red, a symbol on a round switch, or a coloured status dot. Empty for "".
QIcon icon(const std::string& description);
// A named symbol of the app's set, tinted.
QIcon symbol(const QString& name, const QColor& colour);

} // namespace ambrel::MenuIcons
