#!/usr/bin/env python3
"""Runs one program with a pseudo-terminal as its standard input, as an operator's console.

Usage: pty-run.py SECONDS INPUT-FILE OUTPUT-FILE ERROR-FILE PROGRAM [ARG...]

INPUT-FILE is typed ahead, each line feed as Enter (CR, as a Windows console reads it). Output
and error go to files untouched. The terminal stays open until the program ends, so a key wait
is real; after SECONDS it is hung up and, two seconds later, the process group killed.
Exit status: the program's (a signal N gives 128+N), or 124 when SECONDS ran out.
"""
import os
import pty
import select
import signal
import subprocess
import sys
import time
import tty

HANGUP_GRACE_S = 2.0


def typed_keys(data):
    # A console reads Enter as CR; a CR LF pair is one Enter, not two.
    return data.replace(b"\r\n", b"\r").replace(b"\n", b"\r")


def main(argv):
    if len(argv) < 6:
        sys.stderr.write(__doc__)
        return 2
    seconds = float(argv[1])
    with open(argv[2], "rb") as f:
        keys = typed_keys(f.read())
    master, slave = pty.openpty()
    # Raw from the start: keys typed before the program sets up its console are not altered.
    tty.setraw(slave)
    with open(argv[3], "wb") as out, open(argv[4], "wb") as err:
        proc = subprocess.Popen(argv[5:], stdin=slave, stdout=out, stderr=err,
                                start_new_session=True)
    os.close(slave)

    deadline = time.monotonic() + seconds
    pending = keys
    watching = True
    while proc.poll() is None and time.monotonic() < deadline:
        wanted_out = [master] if pending else []
        readable, writable, _ = select.select([master] if watching else [], wanted_out, [], 0.05)
        if writable:
            pending = pending[os.write(master, pending):]
        if readable:
            try:
                chunk = os.read(master, 4096)  # echo and console chatter: not part of the transcript
            except OSError:
                chunk = b""
            watching = bool(chunk)
    timed_out = proc.poll() is None
    os.close(master)
    if timed_out:
        try:
            proc.wait(HANGUP_GRACE_S)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
        return 124
    return proc.returncode if proc.returncode >= 0 else 128 - proc.returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv))
