#!/usr/bin/env python3
"""Benchmark: generate scalable 1-safe nets, run the built programs on growing
sizes and print net sizes, prefix sizes, median times and peak memory.

    python3 bench/bench.py [--bin build/bin] [--families a,b] [--sizes 4,8,16]
                           [--repeat 3] [--timeout 600]

Not part of the test run.  Programs that are not built are skipped.
"""
import argparse
import os
import re
import statistics
import subprocess
import struct
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from nets import FAMILIES  # noqa: E402


# A forked Python child carries the interpreter's resident pages into the
# program's peak, so the peak is taken through GNU time where it exists.
GNU_TIME = "/usr/bin/time" if os.access("/usr/bin/time", os.X_OK) else None


def timed(cmd, cwd, repeat, timeout, cpu=None):
    """Median wall time, peak memory, exit code and standard output of cmd;
    with a list `cpu`, the processor time (user and system) of each run is
    appended to it."""
    times, peaks, code, out = [], [], None, b""
    memfile = os.path.join(cwd, ".bench_mem")
    if GNU_TIME:
        cmd = [GNU_TIME, "-f", "%M", "-o", memfile] + list(cmd)
    for _ in range(repeat):
        pid = os.fork()
        if pid == 0:
            # Its own process group: a timeout ends the program, not only
            # GNU time in front of it.
            os.setpgid(0, 0)
            os.chdir(cwd)
            fd = os.open(os.devnull, os.O_RDWR)
            os.dup2(fd, 0)
            os.dup2(fd, 2)
            outfd = os.open(os.path.join(cwd, ".bench_out"), os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
            os.dup2(outfd, 1)
            try:
                os.execvp(cmd[0], cmd)
            finally:
                os._exit(127)
        start = time.monotonic()
        deadline = start + timeout
        while True:
            wpid, status, usage = os.wait4(pid, os.WNOHANG)
            if wpid:
                break
            if time.monotonic() > deadline:
                try:
                    os.killpg(pid, 9)
                except ProcessLookupError:
                    pass
                os.wait4(pid, 0)
                return None, None, None, b""
            time.sleep(0.002)
        times.append(time.monotonic() - start)
        if cpu is not None:
            cpu.append(usage.ru_utime + usage.ru_stime)
        peak = usage.ru_maxrss
        if GNU_TIME:
            try:
                with open(memfile) as f:
                    peak = int(f.read().split()[-1])
            except (OSError, ValueError, IndexError):
                pass
        peaks.append(peak)
        code = os.waitstatus_to_exitcode(status)
        with open(os.path.join(cwd, ".bench_out"), "rb") as f:
            out = f.read()
    return statistics.median(times), max(peaks), code, out


def mci_sizes(path):
    """(conditions, events, cut-offs) of a prefix file, or None."""
    try:
        with open(path, "rb") as f:
            data = f.read()
        conds, events = struct.unpack_from("<II", data, 0)
        pos = 8 + 4 * events
        for _ in range(conds):
            pos += 8
            while struct.unpack_from("<I", data, pos)[0] != 0:
                pos += 4
            pos += 4
        cutoffs = 0
        while struct.unpack_from("<I", data, pos)[0] != 0:
            cutoffs += 1
            pos += 8
        return conds, events, cutoffs
    except (OSError, struct.error):
        return None


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--bin", default=os.path.join(os.path.dirname(__file__), "..", "build", "bin"))
    ap.add_argument("--families", default=",".join(FAMILIES))
    ap.add_argument("--sizes", default="2,4,8,16,32")
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--timeout", type=float, default=600)
    # Maximal configurations grow exponentially on nets such as the
    # philosophers, so the unfolder is timed without them by default.
    ap.add_argument("--trelmik-options", default="-c",
                    help="options given to trelmik besides -m (default: -c; '-@c' for the ERV loop)")
    ap.add_argument("--netread", type=int, metavar="N",
                    help="only time reading a net of N places and N transitions "
                         "with shuffled names (needs a build with -DVOS_BENCH=ON)")
    ap.add_argument("--support", action="store_true",
                    help="only run the analyser support library's benchmark "
                         "(state strings, AVL sets, radix tables, file reads; needs -DVOS_BENCH=ON)")
    ap.add_argument("--mnet", action="store_true",
                    help="only time synchronisation and scoping of the box algebra (needs -DVOS_BENCH=ON)")
    ap.add_argument("--engine", action="store_true",
                    help="only run the analyser engine's benchmark (10^6 states through PtFollowers, "
                         "components of the graph; needs -DVOS_BENCH=ON)")
    ap.add_argument("--reductions", action="store_true",
                    help="only run the analyser engine's reductions against full generation on independent "
                         "chains, dining philosophers and symmetric processes up to 10^6 full states "
                         "(needs -DVOS_BENCH=ON)")
    ap.add_argument("--tulc", action="store_true",
                    help="only time tulc on generated net descriptions (macro-generated nets, long "
                         "markings, #verify formulas of 4 to 8 atoms)")
    ap.add_argument("--tulmnet", action="store_true",
                    help="only time analysers built by tulmbuild: tulc and the compile of 10^3 transitions, "
                         "generation of toggles, philosophers and 2^20 states through _Followers and PtFollowers")
    args = ap.parse_args()
    if args.tulmnet:
        import tulmnet_bench
        tulmnet_bench.main(os.path.abspath(args.bin), args.timeout)
        return
    if args.tulc:
        from tulcnets import CASES
        exe = os.path.join(os.path.abspath(args.bin), "tulc")
        print("%-16s %7s %10s %10s  %s" % ("case", "n", "median s", "peak KiB", "result"))
        with tempfile.TemporaryDirectory() as tmp:
            os.mkdir(os.path.join(tmp, "x.src"))
            for name, gen, sizes in CASES:
                for n in sizes:
                    with open(os.path.join(tmp, "x.net"), "w") as f:
                        f.write(gen(n))
                    t, peak, code, out = timed([exe, "x"], tmp, args.repeat, args.timeout)
                    if t is None:
                        print("%-16s %7d    timeout" % (name, n))
                        break
                    dat = os.path.join(tmp, "x.dat")
                    result = "%d bytes of tables" % os.path.getsize(dat) if os.path.exists(dat) else "no tables"
                    print("%-16s %7d %10.3f %10d  %s" % (name, n, t, peak, result))
                    if os.path.exists(dat):
                        os.remove(dat)
        return
    if args.mnet:
        sys.exit(subprocess.call([os.path.join(os.path.abspath(args.bin), "mnetbench"), "20000", "12"]))
    if args.reductions:
        exe = os.path.join(os.path.abspath(args.bin), "reducebench")
        # (family, n, k, modes); symmetries store the whole group, so the
        # fully symmetric processes take them only while n! stays small.
        runs = [("chains", n, 9, ["full", "s", "L", "D", "T", "S"]) for n in (3, 4, 5, 6)]
        runs += [("philosophers", n, 0, ["full", "s", "L", "D", "S"]) for n in (6, 8, 10, 12, 14, 16)]
        runs += [("processes", n, 0, ["full", "s", "D", "S"]) for n in (4, 5, 6, 7)]
        runs += [("processes", n, 0, ["full", "s", "D"]) for n in (12, 16, 20)]
        print("%-12s %3s %-4s %10s %10s %8s %9s %9s %10s %9s %10s" % (
            "net", "n", "mode", "nodes", "arrows", "terminal", "seconds", "us/state", "peak KiB",
            "symm s", "group"))
        sys.stdout.flush()
        with tempfile.TemporaryDirectory() as tmp:
            for family, n, k, modes in runs:
                for mode in modes:
                    try:
                        subprocess.call([exe, "--net", family, "--n", str(n), "--k", str(k), "--mode", mode,
                                         "--dir", tmp], timeout=args.timeout, stdout=sys.stdout,
                                        stderr=subprocess.DEVNULL)
                    except subprocess.TimeoutExpired:
                        print("%-12s %3d %-4s    timeout" % (family, n, mode))
                    sys.stdout.flush()
        return
    if args.engine:
        exe = os.path.join(os.path.abspath(args.bin), "enginebench")
        with tempfile.TemporaryDirectory() as tmp:
            sys.exit(subprocess.call([exe, "--dir", tmp]))
    if args.support:
        exe = os.path.join(os.path.abspath(args.bin), "supportbench")
        with tempfile.TemporaryDirectory() as tmp:
            sys.exit(subprocess.call([exe, "--dir", tmp]))
    if args.netread:
        from nets import shuffled
        exe = os.path.join(os.path.abspath(args.bin), "netread")
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "big.ll_net")
            with open(path, "w") as f:
                f.write(shuffled(args.netread))
            t, peak, code, out = timed([exe, path, os.path.join(tmp, "out.ll_net")], tmp, args.repeat, args.timeout)
            print(out.decode().strip(), "| median wall %.3f s, peak %d KiB" % (t, peak))
        return
    bindir = os.path.abspath(args.bin)

    def prog(name):
        p = os.path.join(bindir, name)
        return p if os.access(p, os.X_OK) else None

    trelmik = prog("trelmik")
    checkers = [(n, prog(n)) for n in ("dlbacktrack", "velcheck", "vorga")]
    if not trelmik:
        sys.exit("bench: no trelmik in %s (run `make demo` or build first)" % bindir)

    print("%-13s %5s %6s %6s %8s %8s %7s %9s %9s  %s" % (
        "family", "n", "|P|", "|T|", "|B|", "|E|", "cutoffs", "trelmik s", "peak KiB", "checkers (s)"))
    with tempfile.TemporaryDirectory() as tmp:
        for fam in args.families.split(","):
            gen = FAMILIES[fam]
            for n in (int(s) for s in args.sizes.split(",")):
                text = gen(n)
                net = os.path.join(tmp, "%s%d.ll_net" % (fam, n))
                with open(net, "w") as f:
                    f.write(text)
                places = text.split("\nTR\n")[0].count("\n") - 3
                transitions = text.split("\nTR\n")[1].split("\nTP\n")[0].count("\n") + 1
                base = net[:-len(".ll_net")]
                t, peak, code, _ = timed([trelmik] + args.trelmik_options.split() + ["-m=" + base, net], tmp, args.repeat, args.timeout)
                if t is None:
                    print("%-13s %5d %6d %6d   timeout" % (fam, n, places, transitions))
                    break
                sizes = mci_sizes(base + ".mci") or (0, 0, 0)
                extra = []
                for name, path in checkers:
                    if not path:
                        continue
                    # velcheck prints its solver statistics with -v.
                    opts = ["-v"] if name == "velcheck" else []
                    ct, cpeak, ccode, cout = timed([path] + opts + [base + ".mci"], tmp, args.repeat, args.timeout)
                    extra.append("%s %s" % (name, "timeout" if ct is None else "%.3f/%dK" % (ct, cpeak)))
                    if name == "velcheck":
                        stats = [re.search(rb"Number of %s: (\d+)" % k, cout) for k in (b"atoms", b"rules", b"choice points")]
                        if all(stats):
                            extra[-1] += "/%s atoms/%s rules/%s choices" % tuple(m.group(1).decode() for m in stats)
                    explored = re.search(rb"(\d+) compatible vectors explored", cout)
                    if name == "vorga" and explored:
                        extra[-1] += "/%s vectors" % explored.group(1).decode()
                print("%-13s %5d %6d %6d %8d %8d %7d %9.3f %9d  %s" % (
                    fam, n, places, transitions, sizes[0], sizes[1], sizes[2], t, peak, "  ".join(extra)))
                sys.stdout.flush()


if __name__ == "__main__":
    main()
