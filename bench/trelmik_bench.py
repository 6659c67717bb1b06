#!/usr/bin/env python3
"""Benchmark of trelmik at scale: time and peak memory per event of the
McMillan loop (-c) on dining philosophers (dph), a token ring (ring),
independent cycles (indep), readers and writers (rw) and buffer chains (buf),
from 10^3 events up; of the ERV loop (-@c) on the first three up to the
largest net its sparse Parikh vectors allow (65534 transitions).

    python3 bench/trelmik_bench.py [--bin build/bin] [--events 1e3,1e4,1e5]
                                   [--large] [--families dph,ring,indep,rw,buf]
                                   [--buf-max 1e5] [--repeat 3]
                                   [--timeout 1800] [--no-erv]

By default every family runs at 10^3, 10^4 and 10^5 events; --large adds
10^6 (a minute or more per family and run).  The prefix of a buffer chain of
N buffers has about N^2/2 events, so buf stops at --buf-max events (10^5).

For each family and loop it prints, per size: |E|, the median wall time and
processor time (user and system) of the whole run, the time of the unfolding
loop alone (trelmik -t, processor time), the ratios of both to it (on a
loaded machine the wall time also holds the time the run waits for a
processor), the peak resident memory, then per event the loop time, the whole run and the
peak memory (the last two less the fixed cost of any run, measured first on
a one-transition net: process start and its tables dwarf the events of the
smallest nets), each relative to its figure at the size nearest 10^4 events.
Then the growth exponents of loop time, wall time and memory between the two
largest sizes (1.0 = linear in |E|).  The ERV rows also show the ratio of the
ERV loop's time to the McMillan loop's on the same net (trelmik -t prints it
to the hundredth of a second) and of the whole runs.
Not part of the tests.
"""
import argparse
import math
import os
import re
import statistics
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import timed, mci_sizes  # noqa: E402
from nets import philosophers, token_ring, cycles, buffer_chain, readers_writers  # noqa: E402

# name, generator, the size n for about e events (McMillan), transitions of
# the net of size n, and whether the ERV loop runs on it too.
FAMILIES = [
    ("dph", philosophers, lambda e: max(2, e // 3), lambda n: 3 * n, True),
    ("ring", token_ring, lambda e: max(2, e // 3), lambda n: 3 * n, True),
    ("indep", cycles, lambda e: max(2, e // 2), lambda n: 2 * n, True),
    ("rw", readers_writers, lambda e: max(2, e // 2 - 1), lambda n: 2 * n + 2, False),
    ("buf", buffer_chain, lambda e: max(2, int(round(math.sqrt(2 * e)))), lambda n: n + 1, False),
]
ERV_TRANSITION_LIMIT = 65534


def loop_seconds(out):
    m = re.search(rb"time:\s*([0-9.]+) s", out)
    return float(m.group(1)) if m else float("nan")


def run(trelmik, opts, n, gen, tmp, repeat, timeout):
    net = os.path.join(tmp, "net.ll_net")
    with open(net, "w") as f:
        f.write(gen(n))
    base = os.path.join(tmp, "net")
    cmd = [trelmik] + opts + ["-t", "-m=" + base, net]
    walls, loops, cpus, peak, code = [], [], [], 0, None
    runs = repeat
    while len(walls) < runs:
        wall, p, code, out = timed(cmd, tmp, 1, timeout, cpus)
        if wall is None:
            return None
        walls.append(wall)
        loops.append(loop_seconds(out))
        peak = max(peak, p)
        if len(walls) == repeat and statistics.median(walls) < 1.0:
            # Short runs: more of them, so that the medians of the wall time
            # and of the loop time (printed to the hundredth of a second)
            # settle.
            runs = 3 * repeat
    wall, loop, cpu = statistics.median(walls), statistics.median(loops), statistics.median(cpus)
    sizes = mci_sizes(base + ".mci") or (0, 0, 0)
    return {"n": n, "events": sizes[1], "wall": wall, "loop": loop, "cpu": cpu, "peak": peak, "code": code}


def fixed_cost(trelmik, tmp, repeat, timeout):
    """Wall time and peak memory of a run on a one-transition net: what every
    run pays before its first event (process start, tables, output files)."""
    r = run(trelmik, ["-c"], 1, lambda _: 'VOS\nPlainNet\nFORMAT_N\nPL\n1"p"M1\nTR\n1"t"\nTP\nPT\n1>1\nTX\n',
            tmp, repeat, timeout)
    return (r["wall"], r["peak"]) if r else (0.0, 0)


def ratio(a, b):
    return a / b if b > 0 and a == a else float("nan")


def exponent(a, b, ea, eb):
    if a > 0 and b > 0 and eb > ea > 0:
        return math.log(b / a) / math.log(eb / ea)
    return float("nan")


def report(name, loop_name, rows, fixed, reference=None):
    print("%-5s %-3s %7s %8s %8s %7s %7s %5s %5s %9s | per event: %7s %7s %6s | vs 10^4: %5s %5s %5s%s" % (
        name, loop_name, "n", "|E|", "wall s", "cpu s", "loop s", "w/l", "c/l", "peak KiB", "loop us", "wall us", "B",
        "loop", "wall", "mem", "  ERV/McM loop, wall" if reference is not None else ""))

    def per_event(r):
        # Loop time per event; the whole run and the memory less the fixed
        # cost of any run.
        e = max(r["events"], 1)
        return (1e6 * r["loop"] / e, 1e6 * max(r["wall"] - fixed[0], 0.0) / e,
                1024.0 * max(r["peak"] - fixed[1], 0) / e)

    at4 = min(rows, key=lambda r: abs(math.log10(max(r["events"], 1)) - 4)) if rows else None
    for r in rows:
        loop_us, wall_us, bpe = per_event(r)
        rel = ("%5.2f %5.2f %5.2f" % tuple(ratio(x, y) for x, y in zip(per_event(r), per_event(at4)))
               if at4 else "")
        extra = ""
        if reference is not None and r["n"] in reference:
            mc = reference[r["n"]]
            extra = "  %s, %.2f" % ("%.2f" % (r["loop"] / mc["loop"]) if mc["loop"] > 0 else "-",
                                    r["wall"] / mc["wall"])
        print("%-5s %-3s %7d %8d %8.3f %7.3f %7.2f %5.2f %5.2f %9d | %18.3f %7.3f %6.0f | %17s%s" % (
            name, loop_name, r["n"], r["events"], r["wall"], r["cpu"], r["loop"], ratio(r["wall"], r["loop"]),
            ratio(r["cpu"], r["loop"]), r["peak"], loop_us, wall_us, bpe, rel, extra))
    if len(rows) >= 2:
        a, b = rows[-2], rows[-1]
        ea, eb = a["events"], b["events"]
        print("%-5s %-3s growth exponent between the two largest sizes: loop %.2f, wall %.2f, memory %.2f" % (
            name, loop_name, exponent(a["loop"], b["loop"], ea, eb), exponent(a["wall"], b["wall"], ea, eb),
            exponent(a["peak"], b["peak"], ea, eb)))
    print()
    sys.stdout.flush()


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--bin", default=os.path.join(os.path.dirname(__file__), "..", "build", "bin"))
    ap.add_argument("--events", default="1e3,1e4,1e5", help="McMillan sizes in events")
    ap.add_argument("--large", action="store_true", help="add 10^6 events")
    ap.add_argument("--families", default=",".join(f[0] for f in FAMILIES))
    ap.add_argument("--buf-max", type=float, default=1e5, help="largest buffer chain prefix, in events")
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--timeout", type=float, default=1800)
    ap.add_argument("--no-erv", action="store_true")
    args = ap.parse_args()
    trelmik = os.path.join(os.path.abspath(args.bin), "trelmik")
    if not os.access(trelmik, os.X_OK):
        sys.exit("trelmik_bench: no trelmik in %s" % args.bin)
    targets = sorted({int(float(x)) for x in args.events.split(",")} | ({10 ** 6} if args.large else set()))
    chosen = args.families.split(",")
    unknown = set(chosen) - {f[0] for f in FAMILIES}
    if unknown:
        sys.exit("trelmik_bench: unknown family %s" % ", ".join(sorted(unknown)))
    with tempfile.TemporaryDirectory() as tmp:
        fixed = fixed_cost(trelmik, tmp, max(args.repeat, 3), args.timeout)
        print("fixed cost of a run (one-transition net): %.3f s, %d KiB; the per-event wall and memory figures"
              " leave it out" % fixed)
        print()
        for name, gen, size_of, transitions_of, with_erv in FAMILIES:
            if name not in chosen:
                continue
            sizes = [e for e in targets if name != "buf" or e <= args.buf_max]
            mc = []
            for e in sizes:
                r = run(trelmik, ["-c"], size_of(e), gen, tmp, args.repeat, args.timeout)
                if r is None:
                    print("%-5s mc  n=%d timeout" % (name, size_of(e)))
                    break
                mc.append(r)
            report(name, "mc", mc, fixed)
            if args.no_erv or not with_erv:
                continue
            erv, reference = [], {r["n"]: r for r in mc}
            for n in sorted({size_of(e) for e in sizes}):
                while transitions_of(n) > ERV_TRANSITION_LIMIT:
                    n -= 1
                if erv and erv[-1]["n"] == n:
                    break
                if n not in reference:
                    r = run(trelmik, ["-c"], n, gen, tmp, args.repeat, args.timeout)
                    if r is None:
                        break
                    reference[n] = r
                r = run(trelmik, ["-@c"], n, gen, tmp, args.repeat, args.timeout)
                if r is None:
                    print("%-5s erv n=%d timeout" % (name, n))
                    break
                erv.append(r)
            report(name, "erv", erv, fixed, reference)


if __name__ == "__main__":
    main()
