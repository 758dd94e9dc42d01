// Starts a desktop entry as GLib-based desktops start autostart entries (unescaping, field codes,
// quoting: all GLib's own), waits for the program and exits with its status. The autostart
// test runs it to see which program an entry really starts.
#include <cstdio>
#include <gio/gdesktopappinfo.h>
#include <sys/wait.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: desktop_entry_launcher FILE.desktop\n");
        return 64;
    }
    GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(argv[1]);
    if (info == nullptr) {
        std::fprintf(stderr, "GLib does not take %s for an application's entry\n", argv[1]);
        return 65;
    }
    GPid pid = 0;
    GError* error = nullptr;
    const auto started = [](GDesktopAppInfo*, GPid child, gpointer data) {
        *static_cast<GPid*>(data) = child;
    };
    if (!g_desktop_app_info_launch_uris_as_manager(info, nullptr, nullptr,
                                                   G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr,
                                                   started, &pid, &error)) {
        std::fprintf(stderr, "%s\n", error->message);
        return 66;
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) {
        return 67;
    }
    g_object_unref(info);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 68;
}
