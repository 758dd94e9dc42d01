#include "XdgFolders.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace ambrel::core::XdgFolders {

namespace fs = std::filesystem;

namespace {

fs::path baseFolder(const char* variable, const char* inHome) {
    if (const char* value = std::getenv(variable); value != nullptr && *value == '/') {
        return value;
    }
    const fs::path folder = home();
    return (folder.empty() ? fs::path("/") : folder) / inHome;
}

} // namespace

fs::path home() {
    if (const char* value = std::getenv("HOME"); value != nullptr && *value == '/') {
        return value;
    }
    if (const passwd* entry = ::getpwuid(::getuid());
        entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return {};
}

fs::path dataHome() {
    return baseFolder("XDG_DATA_HOME", ".local/share");
}

fs::path configHome() {
    return baseFolder("XDG_CONFIG_HOME", ".config");
}

fs::path cacheHome() {
    return baseFolder("XDG_CACHE_HOME", ".cache");
}

} // namespace ambrel::core::XdgFolders
