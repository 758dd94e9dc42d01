#!/usr/bin/env python3
"""The microphone's echo cancellation on a private sound server, in whole runs of `ambrel listen`.

The speakers (the default sink) play sentence set A. The microphone ("micfeed") gets A later,
quieter and lightly reverberated, as a laptop's microphone hears its speakers; in the double-talk
runs it also gets the user's sentences B, which partly overlap A. Each case runs with
--echo-cancellation on and off.

Echo only: the microphone lines recorded, and those the text echo filter dropped or withdrew
(which is what would be left without that filter). Double talk: the word error rate of the
microphone's lines against B.
"""

import argparse
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

from speech_scoring import seconds_of, session_lines, word_errors, words_of

ROOT = pathlib.Path(__file__).resolve().parent.parent
SPEAKERS = [  # set A: the other side of a call
    "Good morning, and welcome to the weekly planning meeting.",
    "First we will look at the budget for the next quarter.",
    "The new office opens in March, two weeks later than planned.",
    "Please send your travel requests before Friday.",
    "Our largest customer has asked for a second training day.",
]
USER = [  # set B: what the user says
    "I called the bank this morning about the missing payment.",
    "They said the money should arrive within three working days.",
    "In the meantime, please keep a copy of every receipt.",
    "The accountant wants the figures by the end of the month.",
]
MORE_SPEAKERS = [  # with --larger, after A
    "The project review has been moved to Thursday afternoon.",
    "We still need two volunteers for the open day in June.",
    "The printer on the second floor is out of order again.",
    "Sales in the northern region grew by eight percent.",
    "Remember that the car park will be closed next weekend.",
    "The new laptops should arrive at the end of the month.",
    "Thank you all for joining, and see you next week.",
]
MORE_USER = [  # and after B
    "My sister is coming to visit us on Saturday.",
    "We should book a table at the Italian place near the station.",
    "The train was late again, so I missed the first meeting.",
    "Could you water the plants while I am away?",
    "I think the heating needs to be checked before winter.",
    "Let us walk to the park if the weather stays dry.",
]


# (delay in ms, attenuation in dB) of the echo.
ECHOES = [(50, 6), (150, 9), (300, 12)]
PAUSE = 1.2
USER_START = 6.0  # seconds


def sox(*arguments):
    subprocess.check_call(["sox", "-V1", *map(str, arguments)])


def spoken(work, voice, index, text):
    raw = work / f"{voice}-{index}-raw.wav"
    wav = work / f"{voice}-{index}.wav"
    subprocess.check_call(["flite", "-voice", voice, "-t", text, "-o", str(raw)])
    sox(raw, "-r", "48000", "-c", "1", "-b", "16", wav)
    return wav


def silence(work, seconds):
    path = work / f"silence-{seconds:.3f}.wav"
    if not path.exists():
        sox("-n", "-r", "48000", "-c", "1", "-b", "16", path, "trim", "0", f"{seconds:.3f}")
    return path


def sentences(work, voice, texts, lead):
    """The sentences one after another with pauses, after `lead` seconds of silence."""
    path = work / f"{voice}-all.wav"
    pieces = [silence(work, lead)]
    for index, text in enumerate(texts):
        pieces += [spoken(work, voice, index, text), silence(work, PAUSE)]
    sox(*pieces, path)
    return path


def tracks(work):
    """What the speakers play, and the user's voice: B starts in A's second sentence, once the
    speakers have been heard alone for a while as at the start of a call, and most of it is
    spoken over A."""
    speakers = sentences(work, "awb", SPEAKERS, 0.5)
    user = sentences(work, "slt", USER, USER_START)
    return speakers, user


def microphone_track(work, speakers, user, delay, attenuation):
    """A as the microphone hears it (later, quieter, a little room), plus B when given."""
    echo = work / f"echo-{delay}-{attenuation}.wav"
    sox(speakers, echo, "vol", f"-{attenuation}dB", "reverb", "20", "50", "30", "pad",
        f"{delay / 1000:.3f}")
    if user is None:
        return echo
    mixed = work / f"double-{delay}-{attenuation}.wav"
    sox("-m", echo, user, mixed)
    return mixed


def listen_run(ambrel, work, name, speakers, microphone, cancelling):
    server_dir = work / f"pulse-{name}"
    address = subprocess.check_output(
        [str(ROOT / "scripts/lib/pulse-test-server"), "start", str(server_dir)], text=True).strip()
    home = work / f"home-{name}"
    env = dict(os.environ)
    env.update(HOME=str(home), XDG_CONFIG_HOME=str(home / "config"),
               XDG_DATA_HOME=str(home / "data"), XDG_CACHE_HOME=str(home / "cache"),
               PULSE_SERVER=address, AMBREL_LOG="debug", LANG="C.UTF-8")
    folder = work / f"sessions-{name}"
    listen = subprocess.Popen(
        [ambrel, "listen", "--folder", str(folder), "--microphone", "on", "--language", "en-US",
         "--echo-cancellation", "on" if cancelling else "off"],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env, text=True)
    log = []
    output = []
    readers = [threading.Thread(target=lambda: log.extend(listen.stderr), daemon=True),
               threading.Thread(target=lambda: output.extend(listen.stdout), daemon=True)]
    for reader in readers:
        reader.start()
    try:
        time.sleep(5)  # the recognisers load
        # The speakers first: their sound must not reach the microphone before they play it.
        played = subprocess.Popen(["paplay", "-d", "speakers", str(speakers)], env=env)
        heard = subprocess.Popen(["paplay", "-d", "micfeed", str(microphone)], env=env)
        played.wait()
        heard.wait()
        time.sleep(4)  # the last words are recognised
    finally:
        listen.send_signal(signal.SIGINT)
        listen.wait(timeout=60)
        for reader in readers:
            reader.join(timeout=5)
        subprocess.call([str(ROOT / "scripts/lib/pulse-test-server"), "stop", str(server_dir)])
    lines = session_lines(output, "microphone")
    if lines is None:
        sys.exit(f"{name}: no session\n" + "".join(log[-20:]))
    text = "".join(log)
    filtered = len(re.findall(r"Dropped a microphone line (?:as likely echo|repeating)", text))
    filtered += sum(int(count) for count in
                    re.findall(r"Removed (\d+) microphone line\(s\) repeating", text))
    # The lag the canceller ended on: far from the echo's delay, the alignment went wrong (the
    # user's voice pulled it, or the test server's two playbacks drifted apart).
    lag = re.search(r"Echo cancellation: .* lag (-?\d+) ms", text)
    return lines, filtered, (f"{lag.group(1)} ms" if lag else "none")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ambrel", required=True, help="the ambrel executable")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    parser.add_argument("--larger", action="store_true",
                        help="12 sentences for the speakers and 10 for the user, so that one "
                             "sentence weighs less (takes three times as long)")
    arguments = parser.parse_args()
    for tool in ("flite", "sox", "paplay", "pulseaudio"):
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is needed")
    ambrel = str(pathlib.Path(arguments.ambrel).resolve())
    global SPEAKERS, USER
    if arguments.larger:
        SPEAKERS, USER = SPEAKERS + MORE_SPEAKERS, USER + MORE_USER
    work = pathlib.Path(tempfile.mkdtemp(prefix="ambrel-echo-"))
    try:
        speakers, user = tracks(work)
        reference = [word for sentence in USER for word in words_of(sentence)]
        print(f"speakers: {len(SPEAKERS)} sentences, {seconds_of(speakers):.1f} s; "
              f"user: {len(USER)} sentences ({len(reference)} words) over them")
        print("echo only: microphone lines recorded / dropped by the text filter")
        for delay, attenuation in ECHOES:
            microphone = microphone_track(work, speakers, None, delay, attenuation)
            row = []
            leaked = []
            for cancelling in (True, False):
                lines, filtered, lag = listen_run(ambrel, work, f"echo-{delay}-{cancelling}",
                                                  speakers, microphone, cancelling)
                row.append(f"{'on' if cancelling else 'off'} {len(lines)} / {filtered}")
                if cancelling:
                    row[-1] += f" (lag {lag})"
                    leaked = lines
            print(f"  {delay} ms, -{attenuation} dB: cancellation " + ", ".join(row))
            for line in leaked:
                print(f"    left with cancelling: {line}")
        print("double talk: word error rate of the microphone against the user's sentences")
        for delay, attenuation in ECHOES:
            microphone = microphone_track(work, speakers, user, delay, attenuation)
            row = []
            for cancelling in (True, False):
                lines, _, lag = listen_run(ambrel, work, f"double-{delay}-{cancelling}",
                                           speakers, microphone, cancelling)
                hypothesis = [word for line in lines for word in words_of(line)]
                rate = word_errors(reference, hypothesis) / len(reference)
                row.append(f"{'on' if cancelling else 'off'} {rate:.0%}")
                if cancelling:
                    row[-1] += f" (lag {lag})"
            print(f"  {delay} ms, -{attenuation} dB: cancellation " + ", ".join(row))
    finally:
        if arguments.keep:
            print(f"work folder: {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
