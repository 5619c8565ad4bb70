#!/usr/bin/env python3
"""Runs every example written in the reference documents through the built program.

An example is a run of fenced blocks, told apart by the word after the opening fence:

  ```input     the music file; the program is run with it named on the command line
  ```command   instead of an input: one command line, "pn2tavix" and its arguments
  ```output    what the program writes on standard output (absent: nothing)
  ```stderr    what it writes on standard error (absent: nothing)
  ```status    its exit status (absent: 0)

Each block stands for its lines, every one ended by a line feed. An output block whose first
line is "..." leaves out the opening that every conversion writes: the head block with the
input's title and the head of channel 1, exactly as docs/output-format.md shows them.
Fenced blocks with any other word, or none, are prose and are not run.

Usage: check_examples.py PROGRAM DOCUMENT...
Prints one line per failing example and closes with "N passed, N failed".
"""

import difflib
import os
import subprocess
import sys
import tempfile

EXAMPLE_STARTS = ("input", "command")
EXAMPLE_PARTS = ("output", "stderr", "status")


def fenced_blocks(path):
    """Yields (info word, first line number, text) for every fenced block of a document."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    i = 0
    while i < len(lines):
        line = lines[i]
        if line.startswith("```"):
            word = line[3:].strip()
            start = i + 1
            j = start
            while j < len(lines) and lines[j].rstrip() != "```":
                j += 1
            if j == len(lines):
                raise SystemExit(f"{path}:{i + 1}: fenced block is never closed")
            body = lines[start:j]
            yield word, i + 1, "".join(l + "\n" for l in body)
            i = j + 1
        else:
            i += 1


def examples(path):
    """Groups the blocks of a document into examples, checking that each is well formed."""
    current = None
    for word, line_no, text in fenced_blocks(path):
        if word in EXAMPLE_STARTS:
            if current is not None:
                yield current
            current = {"where": f"{os.path.basename(path)}:{line_no}", word: text}
        elif word in EXAMPLE_PARTS:
            if current is None or word in current:
                raise SystemExit(f"{path}:{line_no}: '{word}' block without an example of its own")
            current[word] = text
    if current is not None:
        yield current


def title_of(music):
    """The first title as the converter reads it: blanks and '@' skipped, up to the '/'."""
    i = 0
    while i < len(music) and (music[i] in " \t\n\v\f\r@"):
        i += 1
    return music[i:].split("/", 1)[0]


def opening(title):
    return (
        f'@head {{\n$title "{title}"\n$tempo 67\n$resolution 96\n}}\n\n@body {{\n'
        "@channel 1 {\n$patch flute\n$attack 127\n$decay 127\n$reverb 0\n$chorus 0\n"
        "$pan 127\n"
    )


def expected_output(example):
    text = example.get("output", "")
    if text.startswith("...\n"):
        if "input" not in example:
            raise SystemExit(f"{example['where']}: '...' needs an input block for its title")
        text = opening(title_of(example["input"])) + text[len("...\n") :]
    return text


def run(program, example, work):
    if "input" in example:
        with open(os.path.join(work, "piece.pdp1"), "w", encoding="utf-8") as f:
            f.write(example["input"])
        argv = [program, "piece.pdp1"]
    else:
        words = example["command"].split()
        if len(words) == 0 or words[0] != "pn2tavix":
            raise SystemExit(f"{example['where']}: a command begins with pn2tavix")
        argv = [program] + words[1:]
    done = subprocess.run(argv, cwd=work, stdin=subprocess.DEVNULL, capture_output=True)
    return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")


def show_difference(what, expected, actual):
    print(f"  {what} differs:")
    diff = difflib.unified_diff(
        expected.splitlines(keepends=True), actual.splitlines(keepends=True), "documented", "actual"
    )
    for line in diff:
        end = "" if line.endswith("\n") else " (no line feed)"
        print("    " + line.rstrip("\n").replace("\t", "\\t") + end)


def main():
    if len(sys.argv) < 3:
        raise SystemExit("usage: check_examples.py PROGRAM DOCUMENT...")
    program = os.path.abspath(sys.argv[1])
    passed = failed = 0
    with tempfile.TemporaryDirectory() as work:
        # Messages begin with the name the program is invoked under, as in the documents.
        link = os.path.join(work, "pn2tavix")
        os.symlink(program, link)
        for path in sys.argv[2:]:
            for example in examples(path):
                status, out, err = run(link, example, work)
                want_out = expected_output(example)
                want_err = example.get("stderr", "")
                want_status = int(example.get("status", "0").strip())
                ok = (status, out, err) == (want_status, want_out, want_err)
                if ok:
                    passed += 1
                    continue
                failed += 1
                print(f"FAIL: {example['where']}")
                if status != want_status:
                    print(f"  status {status}, documented {want_status}")
                if out != want_out:
                    show_difference("standard output", want_out, out)
                if err != want_err:
                    show_difference("standard error", want_err, err)
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
