#!/usr/bin/env python3
"""The user's build against the test build, in one run.

For each executable: its size (and stripped), the peak memory and CPU seconds of `transcribe`
on a minute of human speech, and the CPU seconds of `listen` recording both sources for two
minutes of speech on a private sound server.
"""

import argparse
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
LIBRIVOX = pathlib.Path("/usr/share/pocketsphinx/test/data/librivox")


def private_env(work, name):
    home = work / f"home-{name}"
    env = dict(os.environ)
    env.update(HOME=str(home), XDG_CONFIG_HOME=str(home / "config"),
               XDG_DATA_HOME=str(home / "data"), XDG_CACHE_HOME=str(home / "cache"),
               ASAN_OPTIONS="detect_leaks=0")
    return env


def speech(work, seconds):
    """Human speech, the librivox recordings over and over, `seconds` long."""
    path = work / f"speech-{seconds}.wav"
    if not path.exists():
        recordings = sorted(str(p) for p in LIBRIVOX.glob("*.wav"))
        subprocess.check_call(["sox"] + recordings * 20 + [str(path), "trim", "0", str(seconds)])
    return path


def run(command, env):
    started = time.monotonic()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    return status, usage, time.monotonic() - started


def transcribe(ambrel, work, name):
    env = private_env(work, name)
    status, usage, _ = run([ambrel, "transcribe", "--folder", str(work / f"sessions-{name}"),
                            "--language", "en-US", str(speech(work, 60))], env)
    return usage.ru_maxrss / 1024, usage.ru_utime + usage.ru_stime


def listen(ambrel, work, name):
    server_dir = work / f"pulse-{name}"
    address = subprocess.check_output(
        [str(ROOT / "scripts/lib/pulse-test-server"), "start", str(server_dir)], text=True).strip()
    env = private_env(work, name)
    env.update(PULSE_SERVER=address)
    try:
        process = subprocess.Popen(
            [ambrel, "listen", "--folder", str(work / f"live-{name}"), "--microphone", "on",
             "--language", "en-US"], env=env, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        time.sleep(3)  # recognisers load
        file = speech(work, 120)
        players = [subprocess.Popen(["paplay", str(file)], env=env),
                   subprocess.Popen(["paplay", "-d", "micfeed", str(file)], env=env)]
        for player in players:
            player.wait()
        process.send_signal(signal.SIGINT)
        _, _, usage = os.wait4(process.pid, 0)
        return usage.ru_utime + usage.ru_stime
    finally:
        subprocess.call([str(ROOT / "scripts/lib/pulse-test-server"), "stop", str(server_dir)])


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--user", default=str(ROOT / "build-release/bin/ambrel"))
    parser.add_argument("--test", default=str(ROOT / "build/bin/ambrel"))
    arguments = parser.parse_args()
    builds = [("user", arguments.user), ("test", arguments.test)]
    with tempfile.TemporaryDirectory(prefix="ambrel-builds-") as folder:
        work = pathlib.Path(folder)
        print(f"{'build':<6} {'size':>9} {'stripped':>9} {'transcribe 60 s':>28} "
              f"{'listen 2 min, both':>20}")
        for name, ambrel in builds:
            if not pathlib.Path(ambrel).exists():
                print(f"{name:<6} missing: {ambrel}")
                continue
            stripped = work / f"stripped-{name}"
            shutil.copy(ambrel, stripped)
            subprocess.check_call(["strip", str(stripped)])
            size = os.path.getsize(ambrel) / 1e6
            memory, cpu = transcribe(ambrel, work, name)
            live = listen(ambrel, work, name)
            print(f"{name:<6} {size:7.1f} MB {os.path.getsize(stripped) / 1e6:6.1f} MB "
                  f"{memory:8.0f} MiB, {cpu:6.1f} s CPU {live:14.1f} s CPU", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
