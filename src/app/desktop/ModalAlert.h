#pragma once

#include <string>

namespace ambrel::ModalAlert {

enum class Style { warning, informational };

// A one-button alert in front of everything; returns when the user dismisses it.
void show(const std::string& title, const std::string& message, Style style);

} // namespace ambrel::ModalAlert
