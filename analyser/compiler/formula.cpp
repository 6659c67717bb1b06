#include "formula.h"

#include <algorithm>

#include "diag.h"

namespace tulc {

namespace {

// A rule that starts over again never runs more often than this; the
// formula is then left as it is (it stays equivalent).
constexpr int kMaxRounds = 1000;

bool Present(const Formula& f) { return f != nullptr; }

// f = not {1, y, z} with y and z present: "y and not z".
bool IsConj(const FORMULA* f) {
    return IsNegation(f) && f->left->kind == FORMULA::kImplies && f->left->left && f->left->right;
}

Formula And(Formula x, Formula y) { return ForNot(ForMake(FORMULA::kImplies, std::move(x), ForNot(std::move(y)))); }

Formula SimplifyUntil(Formula f) {
    for (int round = 0; round < kMaxRounds; ++round) {
        Formula& a = f->left;
        Formula& b = f->right;
        if (!b) return nullptr;                            // 1. b false
        if (!a) return std::move(b);                       // 2. a false
        if (IsTrue(b.get())) return std::move(b);          // 3. b true
        if (IsTrue(a.get()) && b->kind == FORMULA::kUntil && IsTrue(b->left.get())) return std::move(b);  // 4
        if (IsConj(a.get())) {                             // 5. (y and not z) U b
            Formula y = std::move(a->left->left);
            Formula z = std::move(a->left->right);
            Formula b2 = ForCopy(b.get());
            Formula first = ForMake(FORMULA::kUntil, std::move(y), std::move(b));
            Formula second = ForMake(FORMULA::kUntil, ForNot(std::move(z)), std::move(b2));
            return And(std::move(first), std::move(second));
        }
        if (b->kind == FORMULA::kImplies && b->left && b->right) {  // 6. a U (not c or d)
            Formula c = std::move(b->left);
            Formula d = std::move(b->right);
            Formula a2 = ForCopy(a.get());
            Formula first = ForMake(FORMULA::kUntil, std::move(a), ForNot(std::move(c)));
            Formula second = ForMake(FORMULA::kUntil, std::move(a2), std::move(d));
            return ForMake(FORMULA::kImplies, ForNot(std::move(first)), std::move(second));
        }
        // 7. eventually (henceforth x and henceforth y)
        if (IsTrue(a.get()) && IsNegation(b.get())) {
            FORMULA* inner = b->left.get();
            if (inner->kind == FORMULA::kImplies && inner->left && inner->right && IsNegation(inner->left.get())) {
                FORMULA* r = inner->left->left.get();
                FORMULA* q = inner->right.get();
                if (r->kind == FORMULA::kUntil && IsTrue(r->left.get()) && q->kind == FORMULA::kUntil &&
                    IsTrue(q->left.get())) {
                    Formula rr = std::move(r->right);
                    Formula qq = std::move(q->right);
                    Formula first = ForMake(FORMULA::kUntil, ForTrue(), ForNot(ForMake(FORMULA::kUntil, ForTrue(), std::move(rr))));
                    Formula second = ForMake(FORMULA::kUntil, ForTrue(), ForNot(ForMake(FORMULA::kUntil, ForTrue(), std::move(qq))));
                    return And(std::move(first), std::move(second));
                }
            }
        }
        if (ForEqual(a.get(), b.get())) return std::move(a);  // 8
        if (a->kind == FORMULA::kUntil && ForEqual(a->right.get(), b.get())) return std::move(a);  // 9
        if (b->kind == FORMULA::kUntil && ForEqual(b->left.get(), a.get())) return std::move(b);   // 10
        if (IsNegation(a.get()) && ForEqual(a->left.get(), b.get())) {  // 11
            a = ForTrue();
            continue;
        }
        if (IsNegation(b.get()) && ForEqual(b->left.get(), a.get())) {  // 12
            a = ForTrue();
            continue;
        }
        if (IsConj(b.get())) {
            FORMULA* y = b->left->left.get();
            FORMULA* z = b->left->right.get();
            if (ForEqual(y, a.get())) {  // 13. a U (a and not z)
                Formula zz = std::move(b->left->right);
                Formula z2 = ForCopy(zz.get());
                Formula ev = ForMake(FORMULA::kUntil, ForTrue(), ForNot(std::move(zz)));
                Formula un = ForMake(FORMULA::kUntil, std::move(z2), ForNot(std::move(a)));
                return ForNot(ForMake(FORMULA::kImplies, std::move(ev), std::move(un)));
            }
            // 14. a U (y and not z) with not z equal to a
            Formula n;
            if (IsNegation(z) && ForEqual(z->left.get(), a.get()))
                n = std::move(b->left->right);
            else if (IsNegation(a.get()) && ForEqual(a->left.get(), z))
                n = std::move(a->left);
            if (n) {
                Formula yy = std::move(b->left->left);
                Formula y2 = ForCopy(yy.get());
                Formula ev = ForMake(FORMULA::kUntil, ForTrue(), std::move(yy));
                Formula un = ForMake(FORMULA::kUntil, ForNot(std::move(y2)), std::move(n));
                return ForNot(ForMake(FORMULA::kImplies, std::move(ev), std::move(un)));
            }
        }
        return f;  // 15
    }
    return f;
}

Formula SimplifyImplies(Formula f) {
    for (int round = 0; round < kMaxRounds; ++round) {
        Formula& a = f->left;
        Formula& b = f->right;
        if (!a) return ForTrue();                // 1. a false
        if (IsTrue(a.get())) return std::move(b);  // 2. a true
        if (!b) {                                // 3. a negation
            if (IsNegation(a.get())) return std::move(a->left);
            return f;
        }
        if (IsTrue(b.get())) return ForTrue();   // 4. b true
        if (IsNegation(a.get()) && IsNegation(b.get())) {  // 5. not c -> not d is d -> c
            Formula c = std::move(a->left);
            Formula d = std::move(b->left);
            a = std::move(d);
            b = std::move(c);
            continue;
        }
        if (IsNegation(a.get()) && b->kind == FORMULA::kImplies && b->left && IsNegation(b->right.get())) {
            // 6. not c -> (d -> not e) is d -> (e -> c)
            Formula c = std::move(a->left);
            Formula d = std::move(b->left);
            Formula e = std::move(b->right->left);
            a = std::move(d);
            b = ForMake(FORMULA::kImplies, std::move(e), std::move(c));
            continue;
        }
        // 7. a -> (x -> ... -> a), or a -> (x -> (not a -> ...)): true.
        for (const FORMULA* e = b.get(); e; e = e->right.get()) {
            if (ForEqual(e, a.get())) return ForTrue();
            if (e->kind != FORMULA::kImplies) break;
            if (e->left) {
                if (IsNegation(a.get()) ? ForEqual(e->left.get(), a->left.get())
                                        : (IsNegation(e->left.get()) && ForEqual(e->left->left.get(), a.get())))
                    return ForTrue();
            }
        }
        // 8. b = b1 -> b2
        if (b->kind == FORMULA::kImplies && b->left) {
            if (ForEqual(a.get(), b->left.get())) return std::move(b);
            if (b->right && b->right->kind == FORMULA::kImplies && b->right->left &&
                ForEqual(b->right->left.get(), a.get()))
                return std::move(b);
            if (a->kind == FORMULA::kImplies && a->left &&
                (ForEqual(a->left.get(), b->right.get()) || (a->right && ForEqual(a->right.get(), b->left.get()))))
                return std::move(b);
        }
        // 9. a = a1 -> a2
        if (a->kind == FORMULA::kImplies && a->left) {
            Formula& a1 = a->left;
            Formula& a2 = a->right;
            if (ForEqual(b.get(), a1.get())) return std::move(b);
            if (a2 && a2->kind == FORMULA::kImplies && a2->left && ForEqual(a2->left.get(), b.get())) return std::move(b);
            if (ForEqual(b.get(), a2.get()) ||
                (b->kind == FORMULA::kImplies && b->left && Present(b->right) && ForEqual(b->right.get(), a2.get()))) {
                Formula x = std::move(a1);
                a = ForNot(std::move(x));
                continue;
            }
            if (a1->kind == FORMULA::kImplies && a1->left && a1->right && ForEqual(a1->right.get(), b.get())) {
                Formula p = std::move(a1->left);
                Formula rest = std::move(a2);
                a = ForMake(FORMULA::kImplies, ForNot(std::move(p)), std::move(rest));
                continue;
            }
            if (a2 && a2->kind == FORMULA::kImplies && a2->left && a2->right && ForEqual(a2->right.get(), b.get())) {
                Formula p = std::move(a2->left);
                Formula first = std::move(a1);
                a = ForMake(FORMULA::kImplies, std::move(first), ForNot(std::move(p)));
                continue;
            }
        }
        // 10. b = (p -> q) -> b2
        if (b->kind == FORMULA::kImplies && b->left && b->left->kind == FORMULA::kImplies && b->left->left) {
            Formula& b1 = b->left;
            if (ForEqual(b1->left.get(), a.get())) {
                Formula q = std::move(b1->right);
                Formula b2 = std::move(b->right);
                b = ForMake(FORMULA::kImplies, std::move(q), std::move(b2));
                continue;
            }
            if (b1->right && ForEqual(b1->right.get(), a.get())) {
                Formula b2 = std::move(b->right);
                b = std::move(b2);
                continue;
            }
        }
        // 11. a = a1 -> a2 with b1 equal to a1, or a1 = c -> d with c equal to b
        if (a->kind == FORMULA::kImplies && a->left) {
            const FORMULA* a1 = a->left.get();
            if ((b->kind == FORMULA::kImplies && b->left && ForEqual(b->left.get(), a1)) ||
                (a1->kind == FORMULA::kImplies && a1->left && ForEqual(a1->left.get(), b.get()))) {
                Formula a2 = std::move(a->right);
                a = std::move(a2);
                continue;
            }
        }
        return f;  // 12
    }
    return f;
}

// Operands of a disjunction or conjunction written as a chain of
// implications: (not x) -> y is x or y; (not x) -> ((not y) -> z) is
// x or y or z; x -> (not y) is not (x and y); x -> (y -> (not z)) is
// not (x and y and z).  Returns 0 when f has no such shape.
int Disjuncts(const FORMULA* f, bool three, const FORMULA* out[3]) {
    if (f->kind != FORMULA::kImplies || !IsNegation(f->left.get()) || !f->right) return 0;
    out[0] = f->left->left.get();
    const FORMULA* r = f->right.get();
    if (three) {
        if (r->kind != FORMULA::kImplies || !IsNegation(r->left.get()) || !r->right) return 0;
        out[1] = r->left->left.get();
        out[2] = r->right.get();
        return 3;
    }
    out[1] = r;
    return 2;
}

int Conjuncts(const FORMULA* f, bool three, const FORMULA* out[3]) {
    if (f->kind != FORMULA::kImplies || !f->left || !f->right) return 0;
    out[0] = f->left.get();
    const FORMULA* r = f->right.get();
    if (three) {
        if (r->kind != FORMULA::kImplies || !r->left || !IsNegation(r->right.get())) return 0;
        out[1] = r->left.get();
        out[2] = r->right->left.get();
        return 3;
    }
    if (!IsNegation(r)) return 0;
    out[1] = r->left.get();
    return 2;
}

// Whether the operand lists are equal up to order; each pair is compared
// once.
bool SameOperands(const FORMULA* const x[3], const FORMULA* const y[3], int n) {
    int memo[3][3];
    for (auto& row : memo) std::fill(row, row + 3, -1);
    auto eq = [&](int i, int j) {
        if (memo[i][j] < 0) memo[i][j] = ForEqual(x[i], y[j]);
        return memo[i][j] == 1;
    };
    int perm[3] = {0, 1, 2};
    do {
        bool all = true;
        for (int i = 0; i < n && all; ++i) all = eq(i, perm[i]);
        if (all) return true;
    } while (std::next_permutation(perm, perm + n));
    return false;
}

}  // namespace

Formula ForCons(std::uint32_t kind, Formula left, Formula right) {
    auto f = std::make_unique<FORMULA>();
    f->kind = kind;
    f->left = std::move(left);
    f->right = std::move(right);
    return f;
}

Formula ForAtomCons(IntTree expression) {
    auto f = std::make_unique<FORMULA>();
    f->kind = FORMULA::kAtom;
    f->atom = std::move(expression);
    return f;
}

bool& ForFoldAtoms() {
    static bool fold = false;
    return fold;
}

bool& ForSimplifyRules() {
    static bool rules = true;
    return rules;
}

Formula ForMake(std::uint32_t kind, Formula left, Formula right) {
    if (ParseErrorState() != 0) return nullptr;
    Formula f = ForCons(kind, std::move(left), std::move(right));
    if (!ForSimplifyRules()) return f;
    switch (kind) {
    case FORMULA::kUntil: f = SimplifyUntil(std::move(f)); break;
    case FORMULA::kImplies: f = SimplifyImplies(std::move(f)); break;
    default: break;
    }
    if (ParseErrorState() != 0) return nullptr;
    return f;
}

Formula ForMakeAtom(IntTree expression) {
    if (ParseErrorState() != 0 || !expression) return nullptr;
    IntSimplify(expression);
    if (ParseErrorState() != 0) return nullptr;
    if (ForFoldAtoms() && expression->op == I_CONST) return expression->value ? ForTrue() : nullptr;
    return ForAtomCons(std::move(expression));
}

Formula ForCopy(const FORMULA* f) {
    if (!f) return nullptr;
    auto c = std::make_unique<FORMULA>();
    c->kind = f->kind;
    if (f->kind == FORMULA::kAtom) {
        c->atom = IntCopy(*f->atom);
    } else {
        c->left = ForCopy(f->left.get());
        c->right = ForCopy(f->right.get());
    }
    return c;
}

Formula ForTrue() { return ForCons(FORMULA::kImplies, nullptr, nullptr); }

Formula ForNot(Formula f) { return ForMake(FORMULA::kImplies, std::move(f), nullptr); }

bool IsTrue(const FORMULA* f) { return f && f->kind == FORMULA::kImplies && !f->left; }

bool IsNegation(const FORMULA* f) { return f && f->kind == FORMULA::kImplies && f->left && !f->right; }

bool ForEqual(const FORMULA* f, const FORMULA* g) {
    if (f == g) return true;
    if (!f || !g) return false;
    if (f->kind != g->kind) return false;
    if (f->kind == FORMULA::kAtom) return IntEqual(*f->atom, *g->atom);
    if (IsTrue(f) || IsTrue(g)) return IsTrue(f) && IsTrue(g);
    if (ForEqual(f->left.get(), g->left.get()) && ForEqual(f->right.get(), g->right.get())) return true;
    if (f->kind != FORMULA::kImplies) return false;
    const FORMULA* x[3];
    const FORMULA* y[3];
    for (bool three : {false, true}) {
        if (Disjuncts(f, three, x) && Disjuncts(g, three, y) && SameOperands(x, y, three ? 3 : 2)) return true;
        if (Conjuncts(f, three, x) && Conjuncts(g, three, y) && SameOperands(x, y, three ? 3 : 2)) return true;
    }
    return false;
}

namespace {

bool InClosure(const std::vector<const FORMULA*>& list, const FORMULA* f) {
    for (const FORMULA* e : list)
        if (ForEqual(e, f)) return true;
    return false;
}

struct ClosureWalk {
    std::vector<const FORMULA*> untils, atoms, implications;
    const std::vector<const FORMULA*>* global;

    bool Known(const FORMULA* f) const {
        return InClosure(untils, f) || InClosure(atoms, f) || InClosure(implications, f);
    }

    void Visit(const FORMULA* f) {
        if (!f || IsTrue(f)) return;
        if (IsNegation(f)) return Visit(f->left.get());
        if (Known(f)) return;
        switch (f->kind) {
        case FORMULA::kUntil:
            untils.push_back(f);
            Visit(f->left.get());
            Visit(f->right.get());
            return;
        case FORMULA::kImplies:
            implications.push_back(f);
            Visit(f->left.get());
            Visit(f->right.get());
            return;
        default:
            for (const FORMULA* a : *global)
                if (ForEqual(a, f)) {
                    atoms.push_back(a);
                    return;
                }
            InternalError("\nInternal error in ForClosure\n");
        }
    }
};

void CollectAtoms(const FORMULA* f, std::vector<const FORMULA*>& atoms) {
    if (!f) return;
    if (f->kind == FORMULA::kAtom) {
        if (!InClosure(atoms, f)) atoms.insert(atoms.begin(), f);
        return;
    }
    CollectAtoms(f->left.get(), atoms);
    CollectAtoms(f->right.get(), atoms);
}

}  // namespace

void ForClosure(const FORMULA* f, Closure& closure, const std::vector<const FORMULA*>* atoms) {
    if (!atoms) {
        CollectAtoms(f, closure.entries);
        return;
    }
    ClosureWalk w;
    w.global = atoms;
    w.Visit(f);
    closure.entries.clear();
    closure.entries.insert(closure.entries.end(), w.untils.begin(), w.untils.end());
    closure.entries.insert(closure.entries.end(), w.atoms.begin(), w.atoms.end());
    closure.entries.insert(closure.entries.end(), w.implications.begin(), w.implications.end());
    closure.untils = static_cast<std::uint32_t>(w.untils.size());
    closure.atoms = static_cast<std::uint32_t>(w.atoms.size());
}

void ForAtoms(const FORMULA* f, std::vector<const FORMULA*>& atoms) { CollectAtoms(f, atoms); }

bool ForOn(const FORMULA* f, std::uint32_t label, const Closure& closure) {
    bool negate = false;
    while (IsNegation(f)) {
        negate = !negate;
        f = f->left.get();
    }
    bool value;
    if (!f) {
        value = false;
    } else if (IsTrue(f)) {
        value = true;
    } else {
        std::size_t i = 0;
        while (i < closure.entries.size() && !ForEqual(closure.entries[i], f)) ++i;
        if (i == closure.entries.size()) InternalError("\nInternal error in ForOn\n");
        value = (label >> i) & 1u;
    }
    return value != negate;
}

}  // namespace tulc
