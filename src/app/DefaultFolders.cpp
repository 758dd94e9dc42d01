#include "DefaultFolders.h"

#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <string>
#include <unistd.h>

namespace ambrel::DefaultFolders {

namespace fs = std::filesystem;

fs::path home() {
    if (const char* value = std::getenv("HOME"); value != nullptr && *value == '/') {
        return value;
    }
    if (const passwd* entry = ::getpwuid(::getuid());
        entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/";
}

fs::path dataHome() {
    if (const char* value = std::getenv("XDG_DATA_HOME"); value != nullptr && *value == '/') {
        return value;
    }
    return home() / ".local/share";
}

fs::path cacheHome() {
    if (const char* value = std::getenv("XDG_CACHE_HOME"); value != nullptr && *value == '/') {
        return value;
    }
    return home() / ".cache";
}

fs::path configHome() {
    if (const char* value = std::getenv("XDG_CONFIG_HOME"); value != nullptr && *value == '/') {
        return value;
    }
    return home() / ".config";
}

namespace {

// XDG_DOCUMENTS_DIR="$HOME/Papiere" from user-dirs.dirs; only $HOME-relative or absolute paths.
fs::path documentsFromUserDirs() {
    std::ifstream file(configHome() / "user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_DOCUMENTS_DIR=\"";
    while (std::getline(file, line)) {
        if (line.rfind(key, 0) != 0 || line.size() < key.size() + 1 || line.back() != '"') {
            continue;
        }
        std::string value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.rfind("$HOME", 0) == 0) {
            return home().string() + value.substr(5);
        }
        if (!value.empty() && value.front() == '/') {
            return value;
        }
    }
    return {};
}

} // namespace

fs::path documents() {
    if (auto folder = documentsFromUserDirs(); !folder.empty() && folder != home()) {
        return folder;
    }
    return home() / "Documents";
}

fs::path transcripts() {
    return documents() / "Ambrel";
}

} // namespace ambrel::DefaultFolders
