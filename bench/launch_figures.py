#!/usr/bin/env python3
"""From launch to capture: how soon the desktop app records both sources.

Starts the app several times on a private sound server and a virtual display with a tray, set
to transcribe both sources from the start, and times each launch until the server shows both
of its recording streams ("Ambrel System Audio" and "Ambrel Microphone"). Target: under 1.5 s.

Run inside a display: dbus-run-session -- xvfb-run -a -s "-screen 0 1280x800x24" <this> ...
"""

import argparse
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "ui"))
from tray_menu_check import Desktop  # noqa: E402

STREAMS = {"Ambrel System Audio", "Ambrel Microphone"}
SETTINGS = "transcriptionOn=true\ntranscribeSystemAudio=true\ntranscribeMicrophone=true\n"


def recording_streams():
    try:
        listing = subprocess.run(["pactl", "list", "source-outputs"], capture_output=True,
                                 text=True, check=True).stdout
    except subprocess.CalledProcessError:
        return set()
    return {name for name in STREAMS if f'media.name = "{name}"' in listing}


def one_launch(ambrel, work):
    """Seconds from launch until both streams record; None when they never did."""
    captured = {}

    def watch():
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and "at" not in captured:
            if recording_streams() == STREAMS:
                captured["at"] = time.monotonic()
            time.sleep(0.02)

    watcher = threading.Thread(target=watch)
    watcher.start()
    with Desktop(ambrel, work, work / "app", settings=SETTINGS) as desktop:
        watcher.join()
        status = desktop.quit()
    if status != 0:
        raise SystemExit(f"the app ended with {status}")
    return captured["at"] - desktop.launched if "at" in captured else None


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--ambrel", required=True)
    parser.add_argument("--runs", type=int, default=5)
    arguments = parser.parse_args()
    server = pathlib.Path(tempfile.mkdtemp(prefix="ambrel-launch-server-"))
    address = subprocess.run([str(ROOT / "scripts" / "lib" / "pulse-test-server"), "start",
                              str(server)], check=True, capture_output=True,
                             text=True).stdout.strip()
    os.environ["PULSE_SERVER"] = address
    times = []
    try:
        for run in range(arguments.runs):
            with tempfile.TemporaryDirectory(prefix="ambrel-launch-") as folder:
                seconds = one_launch(arguments.ambrel, pathlib.Path(folder))
                if seconds is None:
                    raise SystemExit(f"launch {run + 1}: both sources never recorded")
                times.append(seconds)
    finally:
        subprocess.run([str(ROOT / "scripts" / "lib" / "pulse-test-server"), "stop",
                        str(server)], check=False)
    print(f"launch to both sources capturing over {len(times)} launches: median "
          f"{statistics.median(times):.2f} s, worst {max(times):.2f} s (target: under 1.5 s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
