"""Helpers of the front ends' benchmarks: running a program with its peak
memory, and the size of a written high-level net."""
import os
import subprocess
import time

GNU_TIME = "/usr/bin/time" if os.access("/usr/bin/time", os.X_OK) else None


def run(cmd, cwd, env, timeout):
    """Runs cmd in cwd; returns (exit code, seconds, peak KB or None, stderr)."""
    memfile = os.path.join(cwd, ".mem")
    if GNU_TIME:
        cmd = [GNU_TIME, "-f", "%M", "-o", memfile] + cmd
    start = time.monotonic()
    p = subprocess.run(cmd, cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                       timeout=timeout)
    elapsed = time.monotonic() - start
    peak = None
    if GNU_TIME and os.path.exists(memfile):
        with open(memfile) as f:
            lines = f.read().split()
            peak = int(lines[-1]) if lines else None
    return p.returncode, elapsed, peak, p.stderr.decode(errors="replace")


def net_size(path):
    """The numbers of places and transitions of an HLNet file."""
    places = transitions = 0
    section = None
    with open(path) as f:
        for line in f:
            word = line.strip()
            if word in ("PL", "TR", "TP", "PT", "PTR", "PTP", "PPT", "BL"):
                section = word
                continue
            if section == "PL" and word:
                places += 1
            elif section == "TR" and word:
                transitions += 1
    return places, transitions
