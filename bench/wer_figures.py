#!/usr/bin/env python3
"""Word error rates of whole runs of `ambrel transcribe`, first sentence included.

Each file holds the same material two or three times over ("passes"). It runs through the
dictation engine once with a fresh profile (nothing the engine adapted to is stored yet) and
once more with the profile that run left behind (a relaunch). Per set it prints the word error
rate of the first pass, of the later passes and of the whole file, and the longest recorded
line in characters and seconds.

Sets: three passages of six sentences, each read by four flite voices at two levels (as played
and 14 dB quieter); the librivox recordings of Debian's pocketsphinx-testdata; a short greeting
said three times; and one passage read without pauses, twice, which only the line breaking
cuts into lines.
"""

import argparse
import concurrent.futures
import json
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
from datetime import datetime

from speech_scoring import seconds_of, word_errors, words_of

ROOT = pathlib.Path(__file__).resolve().parent.parent
LIBRIVOX = pathlib.Path("/usr/share/pocketsphinx/test/data/librivox")
PASSAGES = [
    ["Good morning, and welcome to the weekly planning meeting.",
     "First we will look at the budget for the next quarter.",
     "The new office opens in March, two weeks later than planned.",
     "Please send your travel requests before Friday.",
     "Our largest customer has asked for a second training day.",
     "Thank you all, that is everything for today."],
    ["I called the bank this morning about the missing payment.",
     "They said the money should arrive within three working days.",
     "If it does not, we will have to open a formal complaint.",
     "In the meantime, please keep a copy of every receipt.",
     "The accountant wants the figures by the end of the month.",
     "Let me know if you have any questions."],
    ["The weather service expects heavy rain over the weekend.",
     "Several roads near the river may be closed on Sunday.",
     "Drivers are asked to plan their trips with extra time.",
     "Schools will open as usual on Monday morning.",
     "The city has put sand bags along the main street.",
     "More information will follow on the evening news."],
]
GREETING = ["Hello everyone, thanks for joining the call today."]
VOICES = ["slt", "rms", "awb", "kal16"]
LEVELS = [0, -14]  # dB
SENTENCE_PAUSE = 0.6
PASS_PAUSE = 2.0


def silence(work, seconds):
    path = work / f"silence-{seconds}.wav"
    if not path.exists():
        subprocess.check_call(["sox", "-n", "-r", "16000", "-c", "1", "-b", "16", str(path),
                               "trim", "0", str(seconds)])
    return path


def spoken(work, voice, index, text):
    raw = work / f"{voice}-{index}-raw.wav"
    wav = work / f"{voice}-{index}.wav"
    subprocess.check_call(["flite", "-voice", voice, "-t", text, "-o", str(raw)])
    subprocess.check_call(["sox", "-V1", str(raw), "-r", "16000", "-c", "1", "-b", "16", str(wav)])
    return wav


def passes_file(work, name, pieces, count, level=0, pause=SENTENCE_PAUSE):
    """`count` passes of the pieces, each piece followed by a pause, at a level in dB; returns
    the file and the moments (seconds) at which each later pass begins."""
    command, moment, boundaries = ["sox"], 0.0, []
    for number in range(count):
        if number:
            command.append(str(silence(work, PASS_PAUSE)))
            moment += PASS_PAUSE
            boundaries.append(moment - PASS_PAUSE / 2)
        for piece in pieces:
            command.append(str(piece))
            moment += seconds_of(piece)
            if pause:
                command.append(str(silence(work, pause)))
                moment += pause
    path = work / f"passes-{name}.wav"
    subprocess.check_call(command + [str(path), "vol", f"{level}dB"])
    return path, boundaries


def instant(text):
    return datetime.fromisoformat(text.replace("Z", "+00:00")).timestamp()


def transcribe(ambrel, wav, profile, folder):
    env = {"HOME": str(profile), "XDG_CONFIG_HOME": str(profile / "config"),
           "XDG_DATA_HOME": str(profile / "data"), "XDG_CACHE_HOME": str(profile / "cache"),
           "PATH": "/usr/bin:/bin", "AMBREL_LOG": "debug", "LANG": "C.UTF-8"}
    result = subprocess.run([ambrel, "transcribe", "--folder", str(folder), "--language",
                             "en-US", str(wav)], capture_output=True, text=True, env=env)
    if result.returncode != 0:
        sys.exit(f"transcribe failed: {result.stderr}")
    session = json.loads(pathlib.Path(result.stdout.strip().splitlines()[-1]).read_text())
    origin = instant(session["startedAt"])
    lines = [(instant(line["start"]) - origin, line["text"]) for line in session["lines"]]
    spans = [float(match) for match in
             re.findall(r"Decided a line: .*?, ([0-9.]+) s of audio", result.stderr)]
    return lines, spans


def score(lines, boundaries, reference):
    """Errors and reference words of each pass."""
    passes = [[] for _ in range(len(boundaries) + 1)]
    for offset, text in lines:
        number = sum(1 for boundary in boundaries if offset >= boundary)
        passes[number] += words_of(text)
    return [(word_errors(reference, hypothesis), len(reference)) for hypothesis in passes]


def rate(errors, words):
    return 100.0 * errors / words if words else 0.0


def run_item(ambrel, work, item):
    """Both runs of one file, each with its own profile: (state, per-pass scores, lines, spans)."""
    label, wav, boundaries, reference = item
    profile = work / f"profile-{label}"
    shutil.rmtree(profile, ignore_errors=True)
    runs = {}
    for state in ("fresh", "warm"):
        lines, spans = transcribe(ambrel, wav, profile, work / f"sessions-{label}-{state}")
        runs[state] = (score(lines, boundaries, reference), lines, spans)
    return runs


def run_set(ambrel, work, name, items):
    """items: (label, wav, boundaries, reference words); prints one row per profile state."""
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        results = list(pool.map(lambda item: run_item(ambrel, work, item), items))
    for state in ("fresh", "warm"):
        totals = [0, 0, 0, 0]  # first errors, first words, later errors, later words
        longest_characters, longest_seconds = 0, 0.0
        for runs in results:
            per_pass, lines, spans = runs[state]
            totals[0] += per_pass[0][0]
            totals[1] += per_pass[0][1]
            totals[2] += sum(errors for errors, _ in per_pass[1:])
            totals[3] += sum(words for _, words in per_pass[1:])
            longest_characters = max([longest_characters] + [len(text) for _, text in lines])
            longest_seconds = max([longest_seconds] + spans)
        print(f"  {name:<13} {state:<5}  first pass {rate(totals[0], totals[1]):5.1f} %   "
              f"later passes {rate(totals[2], totals[3]):5.1f} %   "
              f"whole {rate(totals[0] + totals[2], totals[1] + totals[3]):5.1f} %   "
              f"longest line {longest_characters} chars, {longest_seconds:.1f} s", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--ambrel", default=str(ROOT / "build-bench/bin/ambrel"))
    arguments = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="ambrel-wer-") as folder:
        work = pathlib.Path(folder)
        print("word error rates (fresh: nothing stored yet; warm: after one earlier run)")
        items = []
        for number, passage in enumerate(PASSAGES):
            reference = [word for sentence in passage for word in words_of(sentence)]
            for voice in VOICES:
                pieces = [spoken(work, voice, f"{number}-{i}", text)
                          for i, text in enumerate(passage)]
                for level in LEVELS:
                    label = f"{voice}-{number}-{level}"
                    wav, boundaries = passes_file(work, label, pieces, 2, level)
                    items.append((label, wav, boundaries, reference))
        run_set(arguments.ambrel, work, "flite voices", items)

        transcripts = {}
        for line in (LIBRIVOX / "transcription").read_text().splitlines():
            match = re.search(r"<s>\s*(.*?)\s*</s>\s*\((.*)\)", line)
            if match:
                transcripts[match.group(2)] = match.group(1)
        recordings = sorted(LIBRIVOX.glob("*.wav"))
        reference = [word for recording in recordings
                     for word in words_of(transcripts[recording.stem])]
        wav, boundaries = passes_file(work, "librivox", recordings, 2)
        run_set(arguments.ambrel, work, "librivox", [("librivox", wav, boundaries, reference)])

        pieces = [spoken(work, "slt", "greeting", GREETING[0])]
        wav, boundaries = passes_file(work, "greeting", pieces, 3)
        run_set(arguments.ambrel, work, "greeting x3",
                [("greeting", wav, boundaries, words_of(GREETING[0]))])

        # Continuous speech: the whole passage in one breath per voice, twice.
        reference = [word for sentence in PASSAGES[0] for word in words_of(sentence)]
        items = []
        for voice in VOICES:
            piece = spoken(work, voice, "continuous", " ".join(PASSAGES[0]))
            wav, boundaries = passes_file(work, f"continuous-{voice}", [piece], 2, pause=0)
            items.append((f"continuous-{voice}", wav, boundaries, reference))
        run_set(arguments.ambrel, work, "no pauses", items)
    return 0


if __name__ == "__main__":
    sys.exit(main())
