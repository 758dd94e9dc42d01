#include "LaunchAtLogin.h"

#include "core/FileAccess.h"
#include "core/XdgFolders.h"

#include <fmt/format.h>

#include <stdexcept>

namespace ambrel::LaunchAtLogin {

namespace fs = std::filesystem;

namespace {

// An Exec argument: quoted, with backslash, quote, backtick and dollar escaped, and "%" doubled
// so it is no field code. The file's string escaping then doubles every backslash once more.
std::string execArgument(const std::string& path) {
    std::string quoted = "\"";
    for (const char c : path) {
        if (c == '"' || c == '\\' || c == '`' || c == '$') {
            quoted += '\\';
        }
        quoted += c;
        if (c == '%') {
            quoted += '%';
        }
    }
    quoted += '"';
    std::string escaped;
    for (const char c : quoted) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\t':
            escaped += "\\t";
            break;
        case '\r':
            escaped += "\\r";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

// The Exec value that starts `path`. GLib looks for the program in the value before it turns
// "%%" back into "%", and drops an entry whose program it cannot find; a path with "%" in it is
// therefore started through env, which GLib finds and which gets the path as its argument.
std::string execValue(const std::string& path) {
    return path.find('%') == std::string::npos ? execArgument(path) : "env " + execArgument(path);
}

} // namespace

fs::path entryPath() {
    return core::XdgFolders::configHome() / "autostart" / "org.ambrel.Ambrel.desktop";
}

bool isEnabled() {
    std::error_code error;
    return fs::is_regular_file(entryPath(), error);
}

void setEnabled(bool enabled, const fs::path& executable) {
    const fs::path entry = entryPath();
    std::error_code error;
    if (!enabled) {
        fs::remove(entry, error);
        if (error) {
            throw std::runtime_error(fmt::format("{}: {}", entry.string(), error.message()));
        }
        return;
    }
    fs::create_directories(entry.parent_path(), error);
    if (error) {
        throw std::runtime_error(
            fmt::format("{}: {}", entry.parent_path().string(), error.message()));
    }
    const std::string text = fmt::format("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Ambrel\n"
                                         "Exec={}\n"
                                         "Icon=org.ambrel.Ambrel\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n",
                                         execValue(executable.string()));
    core::FileAccess::writeAtomically(entry, text);
}

} // namespace ambrel::LaunchAtLogin
