#pragma once

#include "app/AppSettings.h"
#include "app/history/HistoryModel.h"

namespace ambrel::DesktopServices {

// The clipboard, the default applications and the file manager, for the history window.
HistoryModel::Services forHistory(AppSettings settings);

} // namespace ambrel::DesktopServices
