"""What the figures scripts share: words of a transcript, their edit distance, audio lengths."""

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
