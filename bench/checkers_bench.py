#!/usr/bin/env python3
"""Benchmark of the checkers' loading: cosweep on dining philosophers with
reused derived files (complement net, prefix, co-relation matrix), and
dlbacktrack, velcheck and vorga reading the prefix of the same net.

    python3 bench/checkers_bench.py [--bin build/bin] [--sizes 500,1000,2000]
                                    [--repeat 5] [--baseline OLD/bin]

With --baseline, the cosweep of another build answers from the same files
and the ratio of the two median times is printed.  Not part of the tests.
"""
import argparse
import os
import resource
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import timed  # noqa: E402
from nets import philosophers  # noqa: E402


def cpu_seconds(cmd, cwd, repeat):
    """Median user plus system time of the program (without the start-up of
    the benchmark's own child processes)."""
    values = []
    for _ in range(repeat):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        subprocess.run(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        values.append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
    return statistics.median(values)


def verdict(out):
    """cosweep's answer: the text from its last "YES!" or "NO!" on (the first
    run also shows what trelmik prints)."""
    at = max(out.rfind(b"\nYES!\n"), out.rfind(b"\nNO!\n"))
    return out[at:] if at >= 0 else out


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--bin", default=os.path.join(os.path.dirname(__file__), "..", "build", "bin"))
    ap.add_argument("--sizes", default="500,1000,2000")
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--timeout", type=float, default=600)
    ap.add_argument("--baseline", help="bin directory of another build whose cosweep is timed on the same files")
    args = ap.parse_args()
    bindir = os.path.abspath(args.bin)
    prog = {n: os.path.join(bindir, n) for n in ("trelmik", "cosweep", "dlbacktrack", "velcheck", "vorga")}
    missing = [n for n in ("trelmik", "cosweep") if not os.access(prog[n], os.X_OK)]
    if missing:
        sys.exit("checkers_bench: %s not built in %s" % (", ".join(missing), bindir))
    old = os.path.join(os.path.abspath(args.baseline), "cosweep") if args.baseline else None
    env_path = bindir + os.pathsep + os.environ.get("PATH", "")
    os.environ["PATH"] = env_path

    print("%6s %8s %9s %12s %10s %8s %9s  %s" % (
        "n", "|B|", "coco MiB", "first run s", "reused s", "CPU s", "peak KiB", "others (wall s/peak KiB)"))
    with tempfile.TemporaryDirectory() as tmp:
        for n in (int(s) for s in args.sizes.split(",")):
            net = os.path.join(tmp, "phil%d.ll_net" % n)
            with open(net, "w") as f:
                f.write(philosophers(n))
            # Two neighbours never eat together; a philosopher may eat while
            # the first one thinks.
            question = os.path.join(tmp, "q%d" % n)
            with open(question, "w") as f:
                f.write("eat0 eat1\nthink0 eat1\n")
            cmd = [prog["cosweep"], os.path.basename(net), os.path.basename(question)]
            first, _, code, out = timed(cmd, tmp, 1, args.timeout)
            if first is None or code != 0 or b"YES!" not in out:
                print("%6d   cosweep failed (exit %s)" % (n, code))
                continue
            reused, peak, code, out2 = timed(cmd, tmp, args.repeat, args.timeout)
            cpu = cpu_seconds(cmd, tmp, args.repeat)
            if verdict(out2) != verdict(out):
                print("%6d   cosweep answered differently on reused files" % n)
            stem = net[:-len(".ll_net")] + ".comp"
            coco = os.path.getsize(stem + ".bin_coco") / 2 ** 20
            with open(stem + ".mci", "rb") as f:
                conditions = int.from_bytes(f.read(4), "little")
            others = []
            if old and os.access(old, os.X_OK):
                t_old, p_old, c_old, o_old = timed([old] + cmd[1:], tmp, args.repeat, args.timeout)
                if t_old is not None:
                    cpu_old = cpu_seconds([old] + cmd[1:], tmp, args.repeat)
                    same = "" if verdict(o_old) == verdict(out) else ", other answer"
                    others.append("baseline cosweep %.3f/%d, CPU %.3f s (%.1fx the CPU time%s)" % (
                        t_old, p_old, cpu_old, cpu_old / max(cpu, 1e-3), same))
            plain = net[:-len(".ll_net")]
            timed([prog["trelmik"], "-c", "-m=" + plain, net], tmp, 1, args.timeout)
            for name in ("dlbacktrack", "velcheck", "vorga"):
                if os.access(prog[name], os.X_OK):
                    t, p, _, _ = timed([prog[name], plain + ".mci"], tmp, args.repeat, args.timeout)
                    others.append("%s %s" % (name, "timeout" if t is None else "%.3f/%d" % (t, p)))
            print("%6d %8d %9.1f %12.3f %10.3f %8.3f %9d  %s" % (
                n, conditions, coco, first, reused, cpu, peak, "  ".join(others)))
            sys.stdout.flush()


if __name__ == "__main__":
    main()
