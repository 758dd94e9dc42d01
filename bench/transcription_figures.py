#!/usr/bin/env python3
"""Figures of whole runs of the ambrel executable.

File run: ten minutes of human speech through `ambrel transcribe` -- real-time factor, peak
memory and the number of session writes.
Live run: sentences played on a private sound server while `ambrel listen` records them -- the
delay from the start of each sentence to its first words, and from its end to its recorded line.
The engine reports both moments in its debug log (AMBREL_LOG=debug).
"""

import argparse
import os
import pathlib
import re
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

from speech_scoring import seconds_of

ROOT = pathlib.Path(__file__).resolve().parent.parent
LIBRIVOX = pathlib.Path("/usr/share/pocketsphinx/test/data/librivox")
SENTENCES = [
    "Good morning, and welcome to the weekly planning meeting.",
    "First we will look at the budget for the next quarter.",
    "The new office opens in March, two weeks later than planned.",
    "Please send your travel requests before Friday.",
    "Our largest customer has asked for a second training day.",
    "Thank you all, that is everything for today.",
]


def private_home(work):
    home = work / "home"
    env = dict(os.environ)
    env.update(HOME=str(home), XDG_CONFIG_HOME=str(home / "config"),
               XDG_DATA_HOME=str(home / "data"), XDG_CACHE_HOME=str(home / "cache"))
    return env


def file_run(ambrel, work, minutes):
    pause = work / "pause.wav"
    subprocess.check_call(["sox", "-n", "-r", "16000", "-c", "1", str(pause), "trim", "0", "1"])
    recordings = sorted(LIBRIVOX.glob("*.wav"))
    command, total = ["sox"], 0.0
    while total < minutes * 60:
        for recording in recordings:
            command += [str(recording), str(pause)]
            total += seconds_of(recording) + 1
    long_file = work / "long.wav"
    subprocess.check_call(command + [str(long_file)])
    duration = seconds_of(long_file)

    folder = work / "file-sessions"
    started = time.monotonic()
    process = subprocess.Popen(
        [ambrel, "transcribe", "--folder", str(folder), "--language", "en-US", str(long_file)],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=private_home(work))
    # Every save replaces the JSON file: count the versions seen.
    versions, usage = set(), None
    while usage is None:
        pid, status, rusage = os.wait4(process.pid, os.WNOHANG)
        if pid:
            usage = rusage
        for json_file in folder.glob("*.json") if folder.exists() else []:
            try:
                stat = json_file.stat()
                versions.add((stat.st_ino, stat.st_mtime_ns, stat.st_size))
            except FileNotFoundError:
                pass
        time.sleep(0.002)
    elapsed = time.monotonic() - started
    output = process.stdout.read().decode()
    lines = sum(1 for line in output.splitlines() if line.startswith("["))
    print(f"file run: {duration / 60:.1f} min of speech in {elapsed:.1f} s "
          f"(real-time factor {elapsed / duration:.3f}), {lines} lines")
    print(f"  peak memory {usage.ru_maxrss / 1024:.0f} MiB, "
          f"{len(versions)} session writes ({len(versions) / duration:.2f} per second of audio)")


def trimmed_sentence(work, index, text):
    raw = work / f"raw{index}.wav"
    wav = work / f"sentence{index}.wav"
    subprocess.check_call(["flite", "-voice", "slt", "-t", text, "-o", str(raw)])
    # Cut the voice's own silence so that the file is exactly the speech.
    subprocess.check_call(["sox", str(raw), "-r", "48000", "-c", "2", str(wav),
                           "silence", "1", "0.02", "0.5%", "reverse",
                           "silence", "1", "0.02", "0.5%", "reverse"])
    return wav


def live_run(ambrel, work):
    server_dir = work / "pulse"
    address = subprocess.check_output(
        [str(ROOT / "scripts/lib/pulse-test-server"), "start", str(server_dir)], text=True).strip()
    env = private_home(work)
    env.update(PULSE_SERVER=address, AMBREL_LOG="debug")
    events = []  # (moment, message)
    listen = subprocess.Popen([ambrel, "listen", "--folder", str(work / "live-sessions")],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env,
                              text=True)

    def read_log():
        for line in listen.stderr:
            events.append((time.monotonic(), line.strip()))

    reader = threading.Thread(target=read_log, daemon=True)
    reader.start()
    try:
        sentences = [trimmed_sentence(work, i, text) for i, text in enumerate(SENTENCES)]
        time.sleep(4)  # the recogniser loads
        played = []
        for wav in sentences:
            subprocess.check_call(["paplay", str(wav)], env=env)
            end = time.monotonic()  # paplay returns once the sound has drained
            played.append((end - seconds_of(wav), end))
            time.sleep(4)
    finally:
        listen.send_signal(signal.SIGINT)
        listen.wait(timeout=30)
        reader.join(timeout=5)
        subprocess.call([str(ROOT / "scripts/lib/pulse-test-server"), "stop", str(server_dir)])

    first_words, final_lines = [], []
    for index, (start, end) in enumerate(played):
        window_end = played[index + 1][0] if index + 1 < len(played) else float("inf")
        began = [t for t, message in events
                 if "Words began: systemAudio" in message and start - 0.5 <= t < window_end]
        recorded = [t for t, message in events
                    if re.search(r"Recorded a line: systemAudio", message)
                    and start <= t < window_end]
        if began:
            first_words.append(began[0] - start)
        if recorded:
            final_lines.append(recorded[-1] - end)
    print(f"live run: {len(played)} sentences played on the default sink")
    for name, values in (("first words after the speech starts", first_words),
                         ("recorded line after the sentence ends", final_lines)):
        if values:
            print(f"  {name}: median {statistics.median(values):.2f} s, "
                  f"worst {max(values):.2f} s ({len(values)} of {len(played)})")
        else:
            print(f"  {name}: none seen")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--ambrel", default=str(ROOT / "build-bench/bin/ambrel"))
    parser.add_argument("--minutes", type=float, default=10)
    arguments = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="ambrel-figures-") as folder:
        work = pathlib.Path(folder)
        file_run(arguments.ambrel, work, arguments.minutes)
        live_run(arguments.ambrel, work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
