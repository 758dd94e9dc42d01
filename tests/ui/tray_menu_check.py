#!/usr/bin/env python3
"""The desktop app as a person uses it, on a virtual display with a tray host.

Starts the real app against the test sound server, opens its tray menu with the mouse, starts
transcription, plays speech, pauses, stops, and looks into the submenus, saving a screenshot of
the open menu at each step. The checks are on what the app leaves on disk and on its exit; the
screenshots are for people to look at.

Run inside a display: dbus-run-session -- xvfb-run -a -s "-screen 0 1280x800x24" <this> ...
"""

import argparse
import json
import os
import pathlib
import signal
import subprocess
import sys
import tempfile
import time

# Sessions from earlier days, for the history window.
EARLIER = [
    ("2025-03-13 09-30-00", 1741854600.0, ["Rendez-vous au café à midi.", "D'accord, à tout à l'heure."]),
    ("2025-03-12 15-00-00", 1741791600.0, ["The release is planned for Friday.",
                                           "Did the testers sign off on the build?",
                                           "Not yet, two bugs remain open."]),
]

SENTENCES = [
    "Good morning everyone, and welcome to the weekly planning meeting.",
    "First we will look at the budget for the next quarter.",
]


# The tray hosts a desktop may have: an XEmbed tray, a StatusNotifier watcher with a host, none.
TRAYS = {
    "xembed": [["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                "--height", "32", "--SetDockType", "true"]],
    "sni": [["status-notifier-watcher"], ["gtk-sni-tray-standalone", "--top"]],
    "none": [],
}


def iso(instant):
    seconds = int(instant)
    return time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(seconds)) + \
        f".{int(round((instant - seconds) * 1000)):03d}Z"


def seed(folder):
    for identifier, start, texts in EARLIER:
        end = start + 20 * len(texts)
        record = {
            "appVersion": "0.1.0", "id": identifier, "startedAt": iso(start),
            "endedAt": iso(end), "lastUpdated": iso(end), "languages": ["en-US"], "markers": [],
            "lines": [{"id": f"00000000-0000-4000-8000-{index:012d}", "text": text,
                       "start": iso(start + 5 + 20 * index),
                       "source": "microphone" if index % 2 else "systemAudio",
                       "language": "en-US"} for index, text in enumerate(texts)]}
        (folder / f"{identifier}.json").write_text(json.dumps(record, indent=2, sort_keys=True))


def run(*command, **options):
    return subprocess.run(command, check=True, capture_output=True, text=True, **options).stdout


def wait_until(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        result = condition()
        if result:
            return result
        time.sleep(0.2)
    raise AssertionError(f"timed out waiting for {what}")


class Desktop:
    def __init__(self, ambrel, screenshots, work, folder_chosen=True, tray="xembed",
                 settings=""):
        """`tray`: "xembed" (trayer), "sni" (a StatusNotifier watcher and host) or "none";
        `settings`: more lines for the app's settings file."""
        self.ambrel = ambrel
        self.screenshots = screenshots
        self.work = work
        self.sessions = work / "sessions"
        self.env = dict(os.environ)
        home = work / "home"
        self.env.update(HOME=str(home), XDG_CONFIG_HOME=str(home / "config"),
                        XDG_DATA_HOME=str(home / "data"), XDG_CACHE_HOME=str(home / "cache"),
                        XDG_RUNTIME_DIR=str(work / "runtime"), LANG="C.UTF-8")
        (work / "runtime").mkdir(mode=0o700, parents=True)
        config = home / "config" / "Ambrel"
        config.mkdir(parents=True)
        self.sessions.mkdir()
        seed(self.sessions)
        if folder_chosen:
            # A folder chosen earlier: no first-run setup.
            (config / "Ambrel.conf").write_text(
                f'[General]\nsessionsFolderBookmark="{self.sessions}"\n{settings}')
        self.trays = []
        self.start_trays(tray)
        self.log = open(work / "app.log", "w")
        self.launched = time.monotonic()
        self.app = subprocess.Popen([ambrel], env=self.env, stdout=self.log,
                                    stderr=subprocess.STDOUT)
        self.icon = wait_until(self.find_icon, 20, "the tray icon") if tray == "xembed" else None

    def find_icon(self):
        try:
            windows = run("xdotool", "search", "--classname", "ambrel").split()
        except subprocess.CalledProcessError:
            return None
        for window in windows:
            geometry = run("xdotool", "getwindowgeometry", "--shell", window)
            values = dict(line.split("=") for line in geometry.split())
            if int(values["WIDTH"]) > 8 and int(values["Y"]) < 40:
                return window
        return None

    def open_menu(self):
        run("xdotool", "mousemove", "--window", self.icon, "11", "15", "click", "1")
        time.sleep(1.0)

    def keys(self, *names):
        for name in names:
            run("xdotool", "key", name)
            time.sleep(0.25)

    def close_menu(self):
        self.keys("Escape", "Escape")
        time.sleep(0.3)

    def screenshot(self, name):
        path = self.screenshots / f"{name}.png"
        run("import", "-window", "root", "-crop", "1000x560+280+0", str(path))
        return path

    def window_screenshot(self, name, crop="920x620+180+90"):
        path = self.screenshots / f"{name}.png"
        run("import", "-window", "root", "-crop", crop, str(path))
        return path

    def tray_icon(self, name):
        """The tray at four times its size, for a look at the icon."""
        path = self.screenshots / f"{name}.png"
        raw = self.work / "tray.png"
        run("import", "-window", "root", "-crop", "48x32+1232+0", str(raw))
        run("convert", str(raw), "+repage", "-scale", "400%", str(path))
        return path

    def session(self):
        """The session recorded in this run (the newest)."""
        files = sorted(self.sessions.glob("*.json"))
        newest = json.loads(files[-1].read_text()) if files else None
        return newest if newest and newest["id"] not in dict((e[0], 0) for e in EARLIER) else None

    def speech(self, text, name, voice="slt"):
        wav = self.work / f"{name}-{abs(hash(text))}.wav"
        run("flite", "-voice", voice, "-t", text, "-o", str(wav))
        return wav

    def play(self, text, name):
        run("paplay", str(self.speech(text, name)), env=self.env)

    def play_async(self, text, name, sink):
        wav = self.speech(text, name, voice="kal")
        return subprocess.Popen(["paplay", "-d", sink, str(wav)], env=self.env)

    def __enter__(self):
        return self

    def __exit__(self, error_type, error, trace):
        if error_type is not None:
            self.abandon()
        return False

    def abandon(self):
        """Ends a failed check: the app goes, its log is shown."""
        if self.app.poll() is None:
            self.quit()
        print((self.work / "app.log").read_text(), file=sys.stderr)

    def quit(self, way=signal.SIGTERM):
        self.app.send_signal(way)
        status = self.app.wait(timeout=20)
        self.quit_trays_and_log()
        return status

    def quit_trays_and_log(self):
        self.stop_trays()
        self.log.close()

    def start_trays(self, tray):
        for command in TRAYS[tray]:
            # The watcher first: a host that finds none waits for it, but not every host does.
            self.trays.append(subprocess.Popen(command, stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL))
            time.sleep(1)

    def stop_trays(self):
        for tray in self.trays:
            tray.terminate()
            tray.wait(timeout=10)
        self.trays = []


def check(ambrel, screenshots):
    with tempfile.TemporaryDirectory(prefix="ambrel-ui-") as folder:
        with Desktop(ambrel, screenshots, pathlib.Path(folder)) as desktop:
            desktop.tray_icon("tray-idle")
            desktop.open_menu()
            desktop.screenshot("01-menu-off")
            # The first enabled row is Start Transcription.
            desktop.keys("Down", "Return")
            time.sleep(3)
            desktop.tray_icon("tray-listening")
            desktop.open_menu()
            desktop.screenshot("02-menu-listening")
            desktop.close_menu()

            for index, sentence in enumerate(SENTENCES):
                desktop.play(sentence, f"sentence{index}")
                time.sleep(1)
            session = wait_until(lambda: (s := desktop.session()) and s["lines"] and s, 30,
                                 "a line in the session file")
            assert "endedAt" not in session, "the session closed too early"
            desktop.open_menu()
            desktop.screenshot("03-menu-recording")

            # Pause: the row after Stop.
            desktop.keys("Down", "Down", "Return")
            time.sleep(1)
            desktop.tray_icon("tray-paused")
            desktop.open_menu()
            desktop.screenshot("04-menu-paused")
            desktop.close_menu()
            session = wait_until(
                lambda: (s := desktop.session()) and any(m["kind"] == "paused"
                                                         for m in s.get("markers", [])) and s,
                10, "the pause marker")

            desktop.open_menu()
            desktop.keys("Down", "Return")  # Stop
            ended = wait_until(lambda: (s := desktop.session()) and "endedAt" in s and s, 10,
                               "the closed session")
            assert ended["lines"], "the lines were lost"
            desktop.open_menu()
            desktop.screenshot("05-menu-stopped")
            # Microphone, then Settings, with their submenus open.
            desktop.keys("Down", "Down", "Down", "Right")
            desktop.screenshot("06-microphone-submenu")
            desktop.keys("Left", "Down", "Right")
            desktop.screenshot("07-settings-submenu")
            desktop.close_menu()

            # A second launch brings the history window of the running one.
            second = subprocess.run([desktop.ambrel], env=desktop.env, timeout=20)
            assert second.returncode == 0, "the second launch did not hand over"
            time.sleep(2)
            desktop.window_screenshot("08-history")
            desktop.keys("ctrl+f")
            run("xdotool", "type", "--delay", "60", "cafe")
            time.sleep(1.5)
            desktop.window_screenshot("09-history-search")
            found = run(desktop.ambrel, "sessions", "search", "cafe", "--folder",
                        str(desktop.sessions), env=desktop.env).splitlines()
            assert found == [EARLIER[0][0]], f"search found {found}"
            status = desktop.quit()
            assert status == 0, f"the app ended with {status}"
            print(f"ui check passed: {len(ended['lines'])} lines recorded; screenshots in "
                  f"{screenshots}")


def parse_arguments(description):
    """The app to drive and the folder for screenshots (made when missing)."""
    parser = argparse.ArgumentParser(description=description,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--ambrel", required=True)
    parser.add_argument("--screenshots", required=True)
    arguments = parser.parse_args()
    screenshots = pathlib.Path(arguments.screenshots)
    screenshots.mkdir(parents=True, exist_ok=True)
    return arguments.ambrel, screenshots


def main():
    check(*parse_arguments(__doc__))
    return 0


if __name__ == "__main__":
    sys.exit(main())
