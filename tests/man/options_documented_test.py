#!/usr/bin/env python3
"""Every option a program's --help lists is in the OPTIONS section of its man
page, and every option that section describes is in --help. --help is written
from the table the program parses its options with, so this reads the real
output and the page's source, and neither can drift from the other unseen.

Each program's --version also answers "NAME VERSION", the project's version.

Usage: options_documented_test.py VERSION PROGRAM MAN-PAGE-SOURCE [PROGRAM MAN-PAGE-SOURCE ...]
"""
import os
import re
import subprocess
import sys

# -x, --long-name and the platform's /x, /xy and /?, as words of their own.
HELP_OPTION = re.compile(r"(?:^|(?<=[\s\[|(,]))(--[a-z][a-z-]+|-[A-Za-z]|/[a-z?]{1,2})(?=[\s\]|)=,]|$)")
# In the page's term lines: *-p*, *--socket*=_SOCKET_, */v* _NAME_.
PAGE_OPTION = re.compile(r"\*(--[a-z][a-z-]+|-[A-Za-z]|/[a-z?]{1,2})\*")


def help_options(program):
    run = subprocess.run([program, "--help"], capture_output=True, text=True, timeout=30)
    if run.returncode != 0 or not run.stdout.startswith("usage:"):
        raise SystemExit(f"FAIL: {program} --help exited {run.returncode}: {run.stderr.strip()}")
    return set(HELP_OPTION.findall(run.stdout))


def page_options(source):
    text = open(source, encoding="utf-8").read()
    section = re.search(r"^# OPTIONS\n(.*?)(?=^# )", text, re.S | re.M)
    if not section:
        raise SystemExit(f"FAIL: {source} has no OPTIONS section")
    terms = [line for line in section.group(1).splitlines() if line.startswith("*")]
    return set(PAGE_OPTION.findall("\n".join(terms)))


def version_line(program):
    run = subprocess.run([program, "--version"], capture_output=True, text=True, timeout=30)
    return run.returncode, run.stdout


def main(args):
    version, args = args[0], args[1:]
    failures = []
    for program, source in zip(args[0::2], args[1::2]):
        wanted = f"{os.path.basename(program)} {version}\n"
        status, answer = version_line(program)
        if status != 0 or answer != wanted:
            failures.append(f"{program} --version answered {answer!r} (exit {status}), not {wanted!r}")
        in_help, in_page = help_options(program), page_options(source)
        if not in_help:
            failures.append(f"{program} --help lists no options")
        for option in sorted(in_help - in_page):
            failures.append(f"{source} does not describe {option}, which {program} --help lists")
        for option in sorted(in_page - in_help):
            failures.append(f"{program} --help does not list {option}, which {source} describes")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
