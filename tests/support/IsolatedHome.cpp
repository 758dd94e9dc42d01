#include "IsolatedHome.h"

namespace ambrel::testing {

IsolatedHome::IsolatedHome()
    : home_("HOME", folder.path().string())
    , config_("XDG_CONFIG_HOME", (folder.path() / "config").string())
    , data_("XDG_DATA_HOME", (folder.path() / "data").string())
    , cache_("XDG_CACHE_HOME", (folder.path() / "cache").string())
    , runtime_("XDG_RUNTIME_DIR", folder.path().string()) {}

} // namespace ambrel::testing
