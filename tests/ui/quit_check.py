#!/usr/bin/env python3
"""Every way out ends the app, whatever is open, and on every kind of tray.

Each run starts the real app, opens something that could hold it up (the setup panel, the
history window, the languages window, a modal alert, a run in progress), leaves by one way
(SIGTERM, SIGINT, the tray menu's Quit, Ctrl+Q in the window shown when there is no tray) and
checks that the process ends with 0 within a few seconds and that a run in progress was saved
and closed. On a StatusNotifier host it also checks that the icon is registered, and registered
again when the panel restarts. The screenshots are for people to look at.

Run inside a display: dbus-run-session -- xvfb-run -a -s "-screen 0 1280x800x24" <this> ...
"""

import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from tray_menu_check import Desktop, parse_arguments, run, wait_until

# Seconds a way out may take, the session saved included.
PROMPT = 5.0


def leave(desktop, way, what):
    """Ends the app by `way` (a signal, or a function doing what a person does)."""
    started = time.monotonic()
    if callable(way):
        way()
        status = desktop.app.wait(timeout=20)
        desktop.quit_trays_and_log()
    else:
        status = desktop.quit(way)
    took = time.monotonic() - started
    assert status == 0, f"{what}: the app ended with {status}"
    assert took < PROMPT, f"{what}: the app took {took:.1f} s to end"
    print(f"{what}: ended with 0 in {took:.1f} s")


def windows_named(name):
    """The X windows with this exact title; xdotool fails when there are none."""
    try:
        return run("xdotool", "search", "--name", f"^{name}$").split()
    except subprocess.CalledProcessError:
        return []


def registered_items(desktop):
    """The items the StatusNotifier watcher shows, as bus names."""
    try:
        reply = run("dbus-send", "--session", "--print-reply",
                    "--dest=org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                    "org.freedesktop.DBus.Properties.Get", "string:org.kde.StatusNotifierWatcher",
                    "string:RegisteredStatusNotifierItems", env=desktop.env)
    except subprocess.CalledProcessError:
        return ""
    return reply if f"-{desktop.app.pid}-" in reply else ""


def setup_panel_and_history(ambrel, screenshots, work, way, what):
    with Desktop(ambrel, screenshots, work, folder_chosen=False) as desktop:
        time.sleep(3)  # the setup panel hangs from the icon
        second = subprocess.run([desktop.ambrel], env=desktop.env, timeout=20)
        assert second.returncode == 0, "the second launch did not hand over"
        time.sleep(2)
        desktop.window_screenshot("quit-setup-and-history")
        leave(desktop, way, what)


def modal_alert(ambrel, screenshots, work):
    with Desktop(ambrel, screenshots, work) as desktop:
        # About is the last row of Settings, the row above Quit.
        desktop.open_menu()
        desktop.keys("Up", "Up", "Right", "Up", "Return")
        time.sleep(1.5)
        desktop.window_screenshot("quit-modal-alert")
        leave(desktop, signal.SIGINT, "SIGINT with a modal alert open")


def languages_window_while_recording(ambrel, screenshots, work):
    with Desktop(ambrel, screenshots, work) as desktop:
        desktop.open_menu()
        desktop.keys("Down", "Return")  # Start Transcription
        time.sleep(3)
        desktop.play("Good morning, this line has to be saved.", "saved")
        wait_until(lambda: (s := desktop.session()) and s["lines"], 30, "a recorded line")
        # Speech Recognition… is the row above Settings.
        desktop.open_menu()
        desktop.keys("Up", "Up", "Up", "Return")
        time.sleep(1.5)
        desktop.window_screenshot("quit-languages-recording")

        def quit_from_menu():
            desktop.open_menu()
            desktop.keys("Up", "Return")

        leave(desktop, quit_from_menu, "Quit from the tray menu while recording")
        session = desktop.session()
        assert session and "endedAt" in session, "the run was not closed"
        assert session["lines"], "the recorded lines were lost"


def without_a_tray(ambrel, screenshots, work):
    with Desktop(ambrel, screenshots, work, tray="none") as desktop:
        window = wait_until(lambda: windows_named("Ambrel"), 20,
                            "the control window")
        time.sleep(1)
        desktop.window_screenshot("quit-no-tray", crop="500x400+780+0")

        def control_q():
            geometry = run("xdotool", "getwindowgeometry", "--shell", window[0])
            values = dict(line.split("=") for line in geometry.split())
            # A click on the window's note gives it the keyboard without pressing a row.
            run("xdotool", "mousemove", str(int(values["X"]) + 20),
                str(int(values["Y"]) + int(values["HEIGHT"]) - 12), "click", "1")
            time.sleep(0.5)
            run("xdotool", "key", "ctrl+q")

        leave(desktop, control_q, "Ctrl+Q in the window shown without a tray")


def status_notifier_host(ambrel, screenshots, work):
    if not (shutil.which("status-notifier-watcher") and shutil.which("gtk-sni-tray-standalone")):
        # Not every release packages a standalone StatusNotifier host.
        print("no StatusNotifier host installed: that run is skipped")
        return
    with Desktop(ambrel, screenshots, work, tray="sni") as desktop:
        wait_until(lambda: registered_items(desktop), 20, "the icon on the StatusNotifier host")
        run("xdotool", "mousemove", "10", "12", "click", "1")
        time.sleep(1.5)
        desktop.window_screenshot("quit-sni-menu", crop="400x320+0+0")
        run("xdotool", "key", "Escape")
        # The panel restarts: the icon comes back by itself.
        desktop.stop_trays()
        time.sleep(1)
        desktop.start_trays("sni")
        wait_until(lambda: registered_items(desktop), 20, "the icon after the panel restarted")
        leave(desktop, signal.SIGTERM, "SIGTERM on a StatusNotifier host")


def main():
    ambrel, screenshots = parse_arguments(__doc__)
    runs = [
        lambda work: setup_panel_and_history(ambrel, screenshots, work, signal.SIGTERM,
                                             "SIGTERM with the setup panel and history open"),
        lambda work: modal_alert(ambrel, screenshots, work),
        lambda work: languages_window_while_recording(ambrel, screenshots, work),
        lambda work: without_a_tray(ambrel, screenshots, work),
        lambda work: status_notifier_host(ambrel, screenshots, work),
    ]
    for index, check in enumerate(runs):
        with tempfile.TemporaryDirectory(prefix="ambrel-ui-") as folder:
            check(pathlib.Path(folder) / str(index))
    return 0


if __name__ == "__main__":
    sys.exit(main())
