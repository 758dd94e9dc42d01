#include "DefaultFolders.h"

#include "core/XdgFolders.h"

#include <fstream>
#include <string>

namespace ambrel::DefaultFolders {

namespace fs = std::filesystem;

fs::path home() {
    const auto folder = core::XdgFolders::home();
    return folder.empty() ? fs::path("/") : folder;
}

namespace {

// XDG_DOCUMENTS_DIR="$HOME/Papiere" from user-dirs.dirs; only $HOME-relative or absolute paths.
fs::path documentsFromUserDirs() {
    std::ifstream file(core::XdgFolders::configHome() / "user-dirs.dirs");
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
