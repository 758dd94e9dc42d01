#!/usr/bin/env python3
"""The microphone's echo cancellation offline, on a larger set than the live runs can afford.

Speakers and microphone tracks are made as in echo_figures.py, with its larger sets (12
sentences for the speakers, 10 for the user), so that one sentence weighs less. `echo_replay` runs them through
the echo cancellation as the two capture threads would deliver them, and `ambrel transcribe`
recognises what comes out. With --floor the microphone also has a noise floor, as real ones do.

Reported: the user's sentences recognised alone; double talk without and with cancellation (word
error rate against the user's sentences); echo only (the lines left); and the user while the
speakers play something the microphone does not hear (no echo path).
"""

import argparse
import concurrent.futures
import pathlib
import shutil
import subprocess
import sys
import tempfile

import echo_figures as live
from speech_scoring import seconds_of, session_lines, word_errors, words_of

class Figures:
    def __init__(self, ambrel, replay, work):
        self.ambrel, self.replay, self.work = ambrel, replay, work
        self.reference = [word for sentence in live.USER for word in words_of(sentence)]

    def lines(self, wav):
        folder = self.work / f"sessions-{wav.stem}"
        home = self.work / "home"
        out = subprocess.run(
            [self.ambrel, "transcribe", "--folder", str(folder), "--source", "microphone",
             "--language", "en-US", str(wav)],
            capture_output=True, text=True, check=True,
            env={"HOME": str(home), "LANG": "C.UTF-8", "PATH": "/usr/bin:/bin"})
        return session_lines(out.stdout.splitlines()) or []

    def error_rate(self, wav):
        hypothesis = [word for line in self.lines(wav) for word in words_of(line)]
        return word_errors(self.reference, hypothesis) / len(self.reference)

    def cancelled(self, speakers, microphone, name):
        raw = self.work / f"{name}.f32"
        subprocess.run([self.replay, str(speakers), str(microphone), str(raw)], check=True,
                       capture_output=True)
        wav = self.work / f"{name}.wav"
        live.sox("-t", "f32", "-r", "16000", "-c", "1", raw, wav)
        return wav


def with_floor(work, track, decibels):
    if decibels is None:
        return track
    noise = work / f"floor-{track.stem}.wav"
    live.sox("-n", "-r", "48000", "-c", "1", "-b", "16", noise, "synth", f"{seconds_of(track):.3f}", "pinknoise",
             "vol", f"{decibels}dB")
    noisy = work / f"{track.stem}-floor.wav"
    live.sox("-m", "-v", "1", track, "-v", "1", noise, noisy)
    return noisy


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ambrel", required=True, help="the ambrel executable")
    parser.add_argument("--replay", required=True, help="the echo_replay executable")
    parser.add_argument("--floor", type=float, help="the microphone's noise floor, dBFS")
    arguments = parser.parse_args()
    for tool in ("flite", "sox", "soxi"):
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is needed")
    live.SPEAKERS, live.USER = live.SPEAKERS + live.MORE_SPEAKERS, live.USER + live.MORE_USER
    work = pathlib.Path(tempfile.mkdtemp(prefix="ambrel-echo-replay-"))
    try:
        speakers, user = live.tracks(work)
        figures = Figures(str(pathlib.Path(arguments.ambrel).resolve()),
                          str(pathlib.Path(arguments.replay).resolve()), work)
        print(f"speakers: {len(live.SPEAKERS)} sentences; user: {len(live.USER)} sentences "
              f"({len(figures.reference)} words); microphone floor: "
              f"{'none' if arguments.floor is None else f'{arguments.floor:g} dBFS'}")
        jobs = {}
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            jobs["alone"] = pool.submit(figures.error_rate, user)
            jobs["no echo"] = pool.submit(
                lambda: figures.error_rate(figures.cancelled(speakers, user, "no-echo")))
            for delay, attenuation in live.ECHOES:
                both = with_floor(work, live.microphone_track(work, speakers, user, delay,
                                                              attenuation), arguments.floor)
                echo = with_floor(work, live.microphone_track(work, speakers, None, delay,
                                                              attenuation), arguments.floor)
                jobs[("off", delay)] = pool.submit(figures.error_rate, both)
                jobs[("on", delay)] = pool.submit(
                    lambda both=both, delay=delay: figures.error_rate(
                        figures.cancelled(speakers, both, f"double-{delay}-on")))
                jobs[("echo", delay)] = pool.submit(
                    lambda echo=echo, delay=delay: figures.lines(
                        figures.cancelled(speakers, echo, f"echo-{delay}-on")))
        result = {key: job.result() for key, job in jobs.items()}
        print(f"user alone: {result['alone']:.0%}; with the speakers playing something the "
              f"microphone does not hear, cancelling: {result['no echo']:.0%}")
        for mode in ("off", "on"):
            rates = [result[(mode, delay)] for delay, _ in live.ECHOES]
            print(f"double talk, cancellation {mode}: " +
                  " / ".join(f"{rate:.0%}" for rate in rates) + f", mean {sum(rates) / 3:.0%}")
        for delay, attenuation in live.ECHOES:
            print(f"echo only, {delay} ms, -{attenuation} dB, cancelling: "
                  f"{len(result[('echo', delay)])} lines {result[('echo', delay)]}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
