#!/usr/bin/env python3
"""How long the desktop app's window thread waits for a slow sound server.

Starts a private sound server behind a proxy that answers 800 ms late, runs the app against it
on a virtual display with a tray, and drives it as a person would: menu openings, Start, a
change of the playback route (a new default output), more menu openings, Stop. The app notes
every stall of its window thread in its log (the org.ambrel.Ambrel.ui category at debug
level); the figure is the longest one, which should stay under 50 ms.

Run inside a display: dbus-run-session -- xvfb-run -a -s "-screen 0 1280x800x24" <this> ...
"""

import argparse
import os
import pathlib
import re
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "ui"))
from tray_menu_check import Desktop  # noqa: E402

STALL = re.compile(r"^\s*([\d.]+) .*held up for (\d+) ms", re.MULTILINE)
# Stalls in the app's first second are its start-up, before the icon shows (see
# launch_figures.py); the figure is about a running app.
STARTUP_SECONDS = 1.0


def start_servers(work, delay):
    """The real server and the late proxy in front of it; returns the proxy's address."""
    real = work / "server"
    run_server = [str(ROOT / "scripts" / "lib" / "pulse-test-server")]
    subprocess.run(run_server + ["start", str(real)], check=True, stdout=subprocess.DEVNULL)
    config = work / "client.conf"
    config.write_text("enable-shm = no\nenable-memfd = no\nautospawn = no\n")
    proxy = subprocess.Popen([str(ROOT / "bench" / "slow_sound_server.py"), str(work / "slow"),
                              str(real / "runtime" / "native"), "--delay", str(delay)],
                             stdout=subprocess.PIPE, text=True)
    address = proxy.stdout.readline().strip()
    return proxy, address, real, config


def browse_then_choose_first(desktop):
    """Opens and closes the menu twice, then chooses its first row (Start or Stop)."""
    for _ in range(2):
        desktop.open_menu()
        desktop.close_menu()
    desktop.open_menu()
    desktop.keys("Down", "Return")


def drive(desktop, real):
    direct = dict(desktop.env, PULSE_SERVER=f"unix:{real}/runtime/native")
    browse_then_choose_first(desktop)  # Start Transcription
    time.sleep(4)
    # A new output becomes the default: the playback route changes under the run.
    subprocess.run(["pactl", "load-module", "module-null-sink", "sink_name=headphones",
                    "sink_properties=device.description=Headphones"], env=direct, check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["pactl", "set-default-sink", "headphones"], env=direct, check=True)
    time.sleep(2)
    browse_then_choose_first(desktop)  # Stop Transcription
    time.sleep(3)
    desktop.open_menu()
    desktop.close_menu()


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--ambrel", required=True)
    parser.add_argument("--delay", type=float, default=0.8)
    parser.add_argument("--log", help="also keep the app's whole log (every category) here")
    arguments = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="ambrel-stall-") as folder:
        work = pathlib.Path(folder)
        proxy, address, real, config = start_servers(work, arguments.delay)
        os.environ.update(PULSE_SERVER=address, PULSE_CLIENTCONFIG=str(config),
                          QT_LOGGING_RULES="org.ambrel.Ambrel.ui.debug=true",
                          QT_MESSAGE_PATTERN="%{time process} %{category}: %{message}")
        if arguments.log:
            os.environ.update(QT_LOGGING_RULES="org.ambrel.Ambrel.*.debug=true")
        try:
            with Desktop(arguments.ambrel, work, work / "app") as desktop:
                drive(desktop, real)
                status = desktop.quit()
            log = (work / "app" / "app.log").read_text()
        finally:
            proxy.terminate()
            subprocess.run([str(ROOT / "scripts" / "lib" / "pulse-test-server"), "stop",
                            str(real)], check=False)
    if arguments.log:
        pathlib.Path(arguments.log).write_text(log)
    if status != 0:
        print("\n".join(log.splitlines()[-40:]), file=sys.stderr)
    stalls = [(float(at), int(ms)) for at, ms in STALL.findall(log)]
    startup = max((ms for at, ms in stalls if at < STARTUP_SECONDS), default=0)
    running = [ms for at, ms in stalls if at >= STARTUP_SECONDS]
    longest = f"the longest {max(running)} ms" if running else "none over 20 ms"
    print(f"server answering {arguments.delay * 1000:.0f} ms late: while driven, the window "
          f"thread stalled {len(running)} times over 20 ms, {longest} (target: under 50 ms); "
          f"start-up {startup} ms; exit status {status}")
    return 0 if status == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
