#!/usr/bin/env python3
"""Export… in the history window, as a person uses it.

Starts the app with two earlier sessions, opens the history window through a second launch,
opens the export dialog with its shortcut and saves under a name with the plain text extension,
then exports again under a name without one (the file type's is added), and declines to replace
that file a third time. The checks are on the files the app writes; the screenshots are for
people.

Run inside a display: dbus-run-session -- xvfb-run -a -s "-screen 0 1280x800x24" <this> ...
"""

import pathlib
import subprocess
import sys
import tempfile
import time

from tray_menu_check import EARLIER, Desktop, parse_arguments, run, wait_until

EXPORT_BUTTON = (992, 118)


def save_as(desktop, name):
    """Types a file name over the one the open file dialog offers, and saves."""
    desktop.keys("ctrl+a")
    run("xdotool", "type", "--delay", "40", name)
    desktop.keys("Return")


def check(ambrel, screenshots, work):
    with Desktop(ambrel, screenshots, work) as desktop:
        def click_export():
            # The third button of the toolbar, in the window centred on the screen.
            run("xdotool", "mousemove", str(EXPORT_BUTTON[0]), str(EXPORT_BUTTON[1]), "click", "1")

        second = subprocess.run([desktop.ambrel], env=desktop.env, timeout=20)
        assert second.returncode == 0, "the second launch did not hand over"
        time.sleep(2)
        desktop.window_screenshot("13-history-export-button")
        # The newest session is selected; the dialog opens beside the transcripts folder.
        desktop.keys("ctrl+shift+e")
        time.sleep(1.5)
        desktop.window_screenshot("14-history-export-dialog", crop="1280x800+0+0")
        save_as(desktop, "exported.txt")
        exported = work / "exported.txt"
        text = wait_until(lambda: exported.exists() and exported.read_text(), 10,
                          "the exported file")
        expected = EARLIER[0][2]
        assert all(line in text for line in expected), f"exported: {text!r}"
        assert "[" in text.splitlines()[0], f"no times in the plain text: {text!r}"

        # Again, from the toolbar button: the dialog remembers the folder and the format, and
        # adds the extension. (No window manager gives the window the keyboard back.)
        click_export()
        time.sleep(1.5)
        desktop.window_screenshot("15-history-export-again", crop="1280x800+0+0")
        save_as(desktop, "again")
        again = work / "again.txt"
        wait_until(lambda: again.exists() and again.read_text() == text, 10, "again.txt")

        # A third time under that name: the dialog asks, and No keeps the file.
        again.write_text("kept")
        click_export()
        time.sleep(1.5)
        save_as(desktop, "again")
        time.sleep(1)
        desktop.window_screenshot("16-history-export-replace", crop="1280x800+0+0")
        desktop.keys("Escape")
        time.sleep(0.5)
        desktop.keys("Escape")
        time.sleep(1)
        assert again.read_text() == "kept", "a file was replaced without asking"
        assert sorted(p.name for p in work.glob("*.*")) == ["again.txt", "app.log",
                                                            "exported.txt"], \
            f"files: {sorted(p.name for p in work.iterdir())}"
        status = desktop.quit()
        assert status == 0, f"the app ended with {status}"
        print(f"history export check passed: {exported.name} holds {len(expected)} lines")


def main():
    ambrel, screenshots = parse_arguments(__doc__)
    with tempfile.TemporaryDirectory(prefix="ambrel-ui-") as folder:
        check(ambrel, screenshots, pathlib.Path(folder))
    return 0


if __name__ == "__main__":
    sys.exit(main())
