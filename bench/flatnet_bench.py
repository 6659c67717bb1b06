#!/usr/bin/env python3
"""Benchmark of flatnet: high-level nets whose expansion grows, with the time
and peak memory of the expansion.

    python3 bench/flatnet_bench.py [--bin build/bin] [--scale 1.0] [--repeat 3]

Cases (at scale 1): one transition with 10^6 bindings, a place whose type has
10^3 x 10^3 values, and 10^4 transitions with 10^5 instances that one phantom
transition synchronises (10^5 phantom partners).  --scale shrinks or grows
every case.  Not part of the test run.
"""
import argparse
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import timed  # noqa: E402


def bindings(n):
    """One transition moving a pair (x, y) between two places of 10^6 values
    in all, with a guard evaluated for every binding."""
    k = max(1, int(round(n ** 0.5)))
    typ = "{0..%d} X {0..%d}" % (k - 1, k - 1)
    text = ["VOS", "HLNet", "FORMAT_N", "PL",
            '1 0@0"src"Z"%s"z"{(0,0)}"' % typ,
            '2 0@100"dst"Z"%s"' % typ,
            "TR", '1 0@50"move"g"x + y >= 0 | x = y"',
            "TP", '1<2p"{(y,x)}"', "PT", '1>1p"{(x,y)}"']
    return "\n".join(text) + "\n", k * k


def place_type(n):
    """A single place whose type has n values (10^3 x 10^3 at scale 1), marked
    on every value, and a transition reading it."""
    k = max(1, int(round(n ** 0.5)))
    text = ["VOS", "HLNet", "FORMAT_N", "PL",
            '1 0@0b"p"Z"{0..%d} X {0..%d}"z"{(0,0),(1,1)}"' % (k - 1, k - 1),
            "TR", '1 0@50"t"g"pr0(v) = 0"', "TP", '1<1p"{v}"', "PT", '1>1p"{v}"']
    return "\n".join(text) + "\n", k * k


def phantoms(n):
    """n/10 transitions of 10 instances each, all partners of one phantom
    transition: n phantom partners."""
    trans = max(1, n // 10)
    text = ["VOS", "HLNet", "FORMAT_N2", "PL", '1 0@0"p"Z"{0..9}"z"{0,1,2,3,4,5,6,7,8,9}"', '2 0@100"q"Z"{0..9}"', "TR"]
    text += ['%d %d@50' % (i, i) for i in range(1, trans + 1)]
    text += ["PTR", '1 0@200P"(%s)"' % ",".join(str(i) for i in range(1, trans + 1))]
    text += ["TP"] + ['%d<2p"{x}"' % i for i in range(1, trans + 1)]
    text += ["PT"] + ['1>%d p"{x}"' % i for i in range(1, trans + 1)]
    text += ["PTP", '1<2p"{u}"', "PPT", '1>1p"{u}"']
    return "\n".join(text) + "\n", trans * 10


CASES = [("bindings", bindings, 10 ** 6), ("place type", place_type, 10 ** 6), ("phantom partners", phantoms, 10 ** 5)]


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--bin", default=os.path.join(os.path.dirname(__file__), "..", "build", "bin"))
    ap.add_argument("--scale", type=float, default=1.0)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--timeout", type=float, default=600)
    args = ap.parse_args()
    flatnet = os.path.join(os.path.abspath(args.bin), "flatnet")
    if not os.access(flatnet, os.X_OK):
        sys.exit("flatnet_bench: no flatnet in %s" % args.bin)
    print("%-17s %9s %9s %9s %10s %9s" % ("case", "size", "places", "trans", "seconds", "peak KiB"))
    with tempfile.TemporaryDirectory() as tmp:
        for name, gen, size in CASES:
            text, n = gen(max(1, int(size * args.scale)))
            path = os.path.join(tmp, "net.hl_net")
            with open(path, "w") as f:
                f.write(text)
            t, peak, code, _ = timed([flatnet, "-p", path], tmp, args.repeat, args.timeout)
            if t is None:
                print("%-17s %9d   timeout" % (name, n))
                continue
            with open(os.path.join(tmp, "net.ll_net")) as f:
                ll = f.read()
            places = ll.split("\nPL\n")[1].split("\nTR\n")[0].count("\n") + 1
            trans = ll.split("\nTR\n")[1].split("\nPTR\n")[0].count("\n") + 1
            print("%-17s %9d %9d %9d %10.3f %9d%s" % (name, n, places, trans, t, peak,
                                                      "" if code == 0 else "  (exit %d)" % code))
            sys.stdout.flush()


if __name__ == "__main__":
    main()
