"""What the figures scripts share: words of a transcript, their edit distance, audio lengths,
the lines of the session a run printed."""

import json
import pathlib
import re
import subprocess


def words_of(text):
    return re.findall(r"[a-z']+", text.lower())


def word_errors(reference, hypothesis):
    """Substitutions, insertions and deletions that turn `reference` into `hypothesis`."""
    row = list(range(len(hypothesis) + 1))
    for i in range(1, len(reference) + 1):
        diagonal, row[0] = row[0], i
        for j in range(1, len(hypothesis) + 1):
            above = row[j]
            row[j] = min(row[j] + 1, row[j - 1] + 1,
                         diagonal + (reference[i - 1] != hypothesis[j - 1]))
            diagonal = above
    return row[len(hypothesis)]


def seconds_of(wav):
    return float(subprocess.check_output(["soxi", "-D", str(wav)], text=True))


def session_lines(output, source=None):
    """The texts of the lines (of `source` only, when given) of the last session whose record
    `ambrel` printed among `output`'s lines; None when it printed none."""
    paths = [line.strip() for line in output if line.strip().endswith(".json")]
    if not paths:
        return None
    lines = json.loads(pathlib.Path(paths[-1]).read_text())["lines"]
    return [line["text"] for line in lines if source is None or line["source"] == source]
