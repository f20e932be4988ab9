#!/usr/bin/env python3
"""Runs a command and times it step by step.

    run_steps.py [--timeout S] [--log FILE] -- COMMAND [ARG ...]

Every line the command writes to stderr (the stand-in host prints each alert
and each progress step there, one line each when stderr is not a terminal)
starts a step that lasts until the next line or the end. Prints
    wall SECONDS
    peak_kib KIB          (largest resident size of the command)
    status CODE
    step SECONDS TEXT     (one per line the command wrote, in order)
    task SECONDS TEXT     (the stand-in's progress lines "[progress] TITLE N/M TASK":
                           the time spent under each task text, in order)
and keeps the command's stderr in --log FILE. The command is killed after
--timeout seconds (default 600); the exit status is then 124.
"""
import argparse
import os
import re
import resource
import selectors
import signal
import subprocess
import sys
import time


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--timeout", type=float, default=600)
    parser.add_argument("--log")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command")

    start = time.monotonic()
    child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE)
    selector = selectors.DefaultSelector()
    selector.register(child.stderr, selectors.EVENT_READ)
    marks = [(start, "(before the first line)")]  # (time, text)
    pending = b""
    log = open(args.log, "wb") if args.log else None
    timed_out = False
    while True:
        left = args.timeout - (time.monotonic() - start)
        if left <= 0:
            child.kill()
            timed_out = True
            break
        if not selector.select(timeout=min(left, 1.0)):
            continue
        data = os.read(child.stderr.fileno(), 65536)
        now = time.monotonic()
        if not data:
            break
        if log:
            log.write(data)
        pending += data
        while b"\n" in pending:
            line, pending = pending.split(b"\n", 1)
            marks.append((now, line.decode("utf-8", "replace").strip()))
    _, status, usage = os.wait4(child.pid, 0)
    end = time.monotonic()
    if log:
        log.close()
    code = 124 if timed_out else (os.waitstatus_to_exitcode(status))
    print(f"wall {end - start:.3f}")
    print(f"peak_kib {usage.ru_maxrss}")
    print(f"status {code}")
    tasks = {}
    progress = re.compile(r"^\[progress\] .* \d+/\d+ ?(.*)$")
    current = None
    for i, (at, text) in enumerate(marks):
        until = marks[i + 1][0] if i + 1 < len(marks) else end
        print(f"step {until - at:.3f} {text}")
        found = progress.match(text)
        if found:
            current = found.group(1) or "(starting)"
        if current is not None:
            tasks[current] = tasks.get(current, 0.0) + (until - at)
    for text, seconds in tasks.items():
        print(f"task {seconds:.3f} {text}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
