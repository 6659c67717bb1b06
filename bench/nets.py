"""Generators of scalable 1-safe nets in the VOS low-level format."""


def vos(places, transitions, marking):
    """places: list of names; transitions: list of (name, pre, post) with
    place names; marking: set of marked place names."""
    index = {p: i + 1 for i, p in enumerate(places)}
    out = ["VOS", "PlainNet", "FORMAT_N", "PL"]
    for i, p in enumerate(places):
        out.append('%d"%s"%s' % (i + 1, p, "M1" if p in marking else ""))
    out.append("TR")
    for i, (t, _, _) in enumerate(transitions):
        out.append('%d"%s"' % (i + 1, t))
    out.append("TP")
    for i, (_, _, post) in enumerate(transitions):
        out.extend("%d<%d" % (i + 1, index[p]) for p in post)
    out.append("PT")
    for i, (_, pre, _) in enumerate(transitions):
        out.extend("%d>%d" % (index[p], i + 1) for p in pre)
    out.append("TX")
    return "\n".join(out) + "\n"


def philosophers(n):
    """Dining philosophers taking the left fork first: deadlocks."""
    places, trans, m = [], [], set()
    for i in range(n):
        places += ["think%d" % i, "hasleft%d" % i, "eat%d" % i, "fork%d" % i]
        m |= {"think%d" % i, "fork%d" % i}
    for i in range(n):
        j = (i + 1) % n
        trans.append(("takeleft%d" % i, ["think%d" % i, "fork%d" % i], ["hasleft%d" % i]))
        trans.append(("takeright%d" % i, ["hasleft%d" % i, "fork%d" % j], ["eat%d" % i]))
        trans.append(("release%d" % i, ["eat%d" % i], ["think%d" % i, "fork%d" % i, "fork%d" % j]))
    return vos(places, trans, m)


def token_ring(n):
    """A token passed round n stations, each entering its critical section
    only while it holds the token: deadlock-free."""
    places, trans, m = [], [], {"token0"}
    for i in range(n):
        places += ["token%d" % i, "idle%d" % i, "crit%d" % i]
        m.add("idle%d" % i)
    for i in range(n):
        j = (i + 1) % n
        trans.append(("enter%d" % i, ["token%d" % i, "idle%d" % i], ["crit%d" % i]))
        trans.append(("leave%d" % i, ["crit%d" % i], ["token%d" % i, "idle%d" % i]))
        trans.append(("pass%d" % i, ["token%d" % i], ["token%d" % j]))
    return vos(places, trans, m)


def buffer_chain(n):
    """A chain of n one-place buffers between a producer and a consumer."""
    places, trans, m = [], [], set()
    for i in range(n):
        places += ["empty%d" % i, "full%d" % i]
        m.add("empty%d" % i)
    trans.append(("produce", ["empty0"], ["full0"]))
    for i in range(n - 1):
        trans.append(("move%d" % i, ["full%d" % i, "empty%d" % (i + 1)],
                      ["empty%d" % i, "full%d" % (i + 1)]))
    trans.append(("consume", ["full%d" % (n - 1)], ["empty%d" % (n - 1)]))
    return vos(places, trans, m)


def readers_writers(n):
    """n readers and one writer: each reader holds its own permit while it
    reads, the writer takes every permit at once."""
    places, trans, m = ["wait", "write"], [], {"wait"}
    for i in range(n):
        places += ["idle%d" % i, "read%d" % i, "permit%d" % i]
        m |= {"idle%d" % i, "permit%d" % i}
    for i in range(n):
        trans.append(("startread%d" % i, ["idle%d" % i, "permit%d" % i], ["read%d" % i]))
        trans.append(("endread%d" % i, ["read%d" % i], ["idle%d" % i, "permit%d" % i]))
    permits = ["permit%d" % i for i in range(n)]
    trans.append(("startwrite", ["wait"] + permits, ["write"]))
    trans.append(("endwrite", ["write"], ["wait"] + permits))
    return vos(places, trans, m)


def cycles(n):
    """n independent two-place cycles: 2^n markings, a prefix linear in n."""
    places, trans, m = [], [], set()
    for i in range(n):
        places += ["a%d" % i, "b%d" % i]
        m.add("a%d" % i)
        trans.append(("go%d" % i, ["a%d" % i], ["b%d" % i]))
        trans.append(("back%d" % i, ["b%d" % i], ["a%d" % i]))
    return vos(places, trans, m)


FAMILIES = {
    "philosophers": philosophers,
    "token_ring": token_ring,
    "buffer_chain": buffer_chain,
    "cycles": cycles,
    "readers_writers": readers_writers,
}


def shuffled(n, seed=1):
    """A large net with n places and n transitions under shuffled names and
    identifiers in file order: each transition moves the token of one place to
    the next place of a random permutation.  For timing the reader."""
    import random
    rng = random.Random(seed)
    names = ["n%d" % i for i in range(n)]
    rng.shuffle(names)
    places = ["p_" + x for x in names]
    order = list(range(n))
    rng.shuffle(order)
    trans = [("t_" + names[i], [places[order[i]]], [places[order[(i + 1) % n]]])
             for i in range(n)]
    return vos(places, trans, {places[0]})
