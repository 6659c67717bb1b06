"""Analysers built from net descriptions (bench.py --tulmnet): tulc and the
compile of a net of 10^3 transitions, then generation through the generated
successor function and through PtFollowers (-i) on toggles, dining
philosophers and a state space of 2^20 states, with states per second and
bytes of graph files per state."""
import os
import subprocess
import tempfile
import time


def ring(n):
    """n places in a ring and n transitions moving one token along it."""
    text = "".join("#place p%d%s\n" % (i, " mk(<.0.>)" if i == 0 else "") for i in range(n))
    for i in range(n):
        text += "#trans t%d\nin { p%d : <.0.> ; }\nout { p%d : <.0.> ; }\n#endtr\n" % (i, i, (i + 1) % n)
    return text


def toggles(n):
    """n independent switches: 2^n states, n 2^n arrows."""
    text = "".join("#place b%d mk(<.0.>) lo(<.0.>) hi(<.1.>)\n" % i for i in range(n))
    for i in range(n):
        text += "#trans t%d\nin { b%d : <.x.> ; }\nout { b%d : <.1-x.> ; }\n#endtr\n" % (i, i, i)
    return text


def philosophers(n):
    """n dining philosophers taking both forks at once."""
    text = ""
    for i in range(n):
        text += "#place think%d mk(<.0.>)\n#place eat%d\n#place fork%d mk(<.0.>)\n" % (i, i, i)
    for i in range(n):
        j = (i + 1) % n
        text += ("#trans take%d\nin { think%d : <.0.> ; fork%d : <.0.> ; fork%d : <.0.> ; }\nout { eat%d : <.0.> ; }\n#endtr\n"
                 % (i, i, i, j, i))
        text += ("#trans put%d\nin { eat%d : <.0.> ; }\nout { think%d : <.0.> ; fork%d : <.0.> ; fork%d : <.0.> ; }\n#endtr\n"
                 % (i, i, i, i, j))
    return text


def run(cmd, cwd, timeout):
    start = time.time()
    p = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    return time.time() - start, p


def main(bindir, timeout):
    tulc = os.path.join(bindir, "tulc")
    build = os.path.join(bindir, "tulmbuild")
    with tempfile.TemporaryDirectory() as tmp:
        with open(os.path.join(tmp, "ring.net"), "w") as f:
            f.write(ring(1000))
        os.makedirs(os.path.join(tmp, "ring.src"), exist_ok=True)
        t, p = run([tulc, "ring"], tmp, timeout)
        print("tulc, ring of 1000 transitions: %.3f s (status %d)" % (t, p.returncode))
        t, p = run([build, "ring"], tmp, timeout)
        files = len([x for x in os.listdir(os.path.join(tmp, "ring.src")) if x.endswith(".c")])
        print("tulmbuild, ring of 1000 transitions: %.3f s, %d source files (status %d)" % (t, files, p.returncode))
        print("%-16s %-6s %9s %10s %9s %12s %10s" % ("net", "path", "states", "arrows", "seconds", "states/s", "bytes/st"))
        for name, text in (("toggles16", toggles(16)), ("philosophers10", philosophers(10)),
                           ("toggles20", toggles(20))):
            with open(os.path.join(tmp, name + ".net"), "w") as f:
                f.write(text)
            t, p = run([build, name], tmp, timeout)
            if p.returncode != 0:
                print("%-16s build failed: %s" % (name, p.stderr.decode()[-200:]))
                continue
            for path, opts in (("gen", []), ("-i", ["-i"])):
                t, p = run([os.path.join(tmp, name)] + opts + ["-m", "0", "-h", "4194304", name], tmp, timeout)
                out = p.stdout.decode()
                nodes = arrows = 0
                for line in out.splitlines():
                    if line.startswith("Number of nodes:"):
                        nodes = int(line.split()[-1])
                    if line.startswith("Number of arrows:"):
                        arrows = int(line.split()[-1])
                size = sum(os.path.getsize(os.path.join(tmp, name + s)) for s in (".gph", ".aws", ".adr")
                           if os.path.exists(os.path.join(tmp, name + s)))
                print("%-16s %-6s %9d %10d %9.2f %12.0f %10.1f" % (
                    name, path, nodes, arrows, t, nodes / t if t > 0 else 0, size / nodes if nodes else 0))
