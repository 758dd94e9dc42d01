#!/usr/bin/env python3
"""The setup panel, the languages window and the floating captions, as a person sees them.

First a run with nothing set up: the setup panel comes by itself. Then a run with a folder: the
languages window from the tray menu, and the floating captions while both sources speak. The
checks are on what the app leaves on disk and on its exit; the screenshots are for people.

Run inside a display: dbus-run-session -- xvfb-run -a -s "-screen 0 1280x800x24" <this> ...
"""

import pathlib
import sys
import tempfile
import time

from tray_menu_check import Desktop, parse_arguments, wait_until

SYSTEM_SENTENCES = ["The quarterly numbers look better than we expected.",
                    "Sales grew in every region except the north."]
MICROPHONE_SENTENCES = ["That is good news for the whole team.",
                        "Let us talk about the north next week."]


def first_run(ambrel, screenshots, work):
    with Desktop(ambrel, screenshots, work, folder_chosen=False) as desktop:
        time.sleep(3)
        desktop.window_screenshot("10-setup-first-run", crop="560x620+720+0")
        desktop.keys("Escape")
        status = desktop.quit()
        assert status == 0, f"the app ended with {status}"


def configured_run(ambrel, screenshots, work):
    with Desktop(ambrel, screenshots, work) as desktop:
        # Speech Recognition… is the sixth enabled row of the idle menu.
        desktop.open_menu()
        desktop.keys("Down", "Down", "Down", "Down", "Down", "Down", "Return")
        time.sleep(1.5)
        desktop.window_screenshot("11-languages", crop="520x440+380+180")
        desktop.keys("ctrl+w")

        # Floating captions on, the microphone on (automatic), then start.
        desktop.open_menu()
        desktop.keys("Down", "Down", "Down", "Down", "Down", "Right", "Return")
        desktop.open_menu()
        desktop.keys("Down", "Down", "Down", "Down", "Right", "Return")
        desktop.open_menu()
        desktop.keys("Down", "Return")
        time.sleep(3)
        players = []
        for system, microphone in zip(SYSTEM_SENTENCES, MICROPHONE_SENTENCES):
            desktop.play(system, "system")
            players.append(desktop.play_async(microphone, "microphone", sink="micfeed"))
            time.sleep(2.5)
        time.sleep(1)
        desktop.window_screenshot("12-floating-captions", crop="1280x300+0+500")
        for player in players:
            player.wait(timeout=30)
        both = {"systemAudio", "microphone"}
        session = wait_until(
            lambda: (s := desktop.session()) and {line["source"] for line in s["lines"]} == both
            and s, 20, "lines from both sources")
        status = desktop.quit()
        assert status == 0, f"the app ended with {status}"
        print(f"panels check passed: {len(session['lines'])} lines from both sources")


def main():
    ambrel, screenshots = parse_arguments(__doc__)
    with tempfile.TemporaryDirectory(prefix="ambrel-ui-") as folder:
        first_run(ambrel, screenshots, pathlib.Path(folder) / "first")
    with tempfile.TemporaryDirectory(prefix="ambrel-ui-") as folder:
        configured_run(ambrel, screenshots, pathlib.Path(folder) / "configured")
    return 0


if __name__ == "__main__":
    sys.exit(main())
