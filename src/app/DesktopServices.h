#pragma once

#include "AppSettings.h"
#include "HistoryModel.h"

namespace ambrel::DesktopServices {

// The clipboard, the default applications and the file manager, for the history window.
HistoryModel::Services forHistory(AppSettings settings);

} // namespace ambrel::DesktopServices
