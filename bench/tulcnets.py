"""Net descriptions for timing tulc (bench.py --tulc).

Each generator returns the text of a .net file.  They exercise what grows
with the net: macro expansion and statements, long marking expressions, and
the Büchi construction of #verify.
"""


def macro_net(n):
    """n places and n transitions, every statement written by a macro call:
    a ring of places p0 .. p(n-1) and transitions moving a token along it."""
    lines = [
        "#define PLACE(i) #place p/**/i mk(<.i.>) lo(<.0.>) hi(<.%d.>)" % n,
        "#define TRANS(i) #trans t/**/i",
        "#define MOVE(a, b) in { p/**/a : <.x.> ; } out { p/**/b : <.x.> ; } gate x < %d ;" % n,
        "#enum RED, GREEN",
    ]
    for i in range(n):
        lines.append("PLACE(%d)" % i)
    for i in range(n):
        lines.append("TRANS(%d)" % i)
        lines.append("MOVE(%d, %d)" % (i, (i + 1) % n))
        lines.append("#endtr")
    return "\n".join(lines) + "\n"


def sum_marking(n):
    """One place whose initial marking is a sum of n tuples, in shuffled order."""
    order = [(i * 7919) % n for i in range(n)]
    return "#place big mk(" + " + ".join("<.%d,%d.>" % (i, i % 7) for i in order) + ")\n"


def range_marking(n):
    """One place whose initial marking is the range of n values."""
    return "#place big mk(<.0..%d.> * <.1,2.>)\n" % (n - 1)


def verify_conjunction(k):
    """#verify eventually (a1 and ... and ak): k atoms in one tableau."""
    places = "".join("#place a%d\n" % i for i in range(k))
    return places + "#verify eventually (" + " and ".join("a%d != empty" % i for i in range(k)) + ");\n"


def verify_response(k):
    """#verify henceforth (a1 implies eventually (a2 or ... or ak))."""
    places = "".join("#place a%d\n" % i for i in range(k))
    rest = " or ".join("a%d != empty" % i for i in range(1, k))
    return places + "#verify henceforth (a0 != empty implies eventually (%s));\n" % rest


def verify_until_chain(k):
    """#verify a1 until (a2 until (... until ak))."""
    places = "".join("#place a%d\n" % i for i in range(k))
    f = "a%d != empty" % (k - 1)
    for i in range(k - 2, -1, -1):
        f = "(a%d != empty) until (%s)" % (i, f)
    return places + "#verify %s;\n" % f


def wide_transition(n):
    """One transition with n input and n output terms, a comp block naming
    every variable, a gate over all inputs and n count-expression terms."""
    ins = " + ".join("<.x%d.>" % i for i in range(n))
    counted = " + ".join("k<.z%d.>" % i for i in range(n))
    outs = " + ".join("<.y%d.>" % i for i in range(n))
    comp = " ".join("y%d = x%d;" % (i, i) for i in range(n))
    gate = " + ".join("x%d" % i for i in range(n))
    return ("#place p\n#place q\n#place r\n#trans t\nin { r : <.k.> ; p : %s ; q : %s ; }\n"
            "out { q : %s ; }\ncomp { %s }\ngate %s > 0;\n#endtr\n" % (ins, counted, outs, comp, gate))


def long_atoms(n):
    """#verify over two atoms that each add up n place cardinalities."""
    s = " + ".join("card(p)" for _ in range(n))
    return "#place p\n#verify %s > 0 or (%s > 1);\n" % (s, s)


CASES = [
    ("macro net", macro_net, [1000, 10000]),
    ("sum marking", sum_marking, [10000, 100000]),
    ("range marking", range_marking, [10000, 100000]),
    ("eventually and", verify_conjunction, [4, 6, 8]),
    ("response", verify_response, [4, 6, 8]),
    ("until chain", verify_until_chain, [4, 5, 6]),
    ("wide transition", wide_transition, [10000, 40000]),
    ("long atoms", long_atoms, [10000, 100000]),
]
