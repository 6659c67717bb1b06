// Synchronisation and scoping against a brute-force closure: every join tree
// over every multiset of originals, built layer by layer (a join of k
// originals from joins of i and k - i originals), compared up to trans_equal,
// for every order of the transition list; and the results of all orders
// compared with each other through a text of each transition that is blind
// to the naming of its variables.
#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "fixture.h"

namespace algebra_test {
namespace {

using AlgebraClosure = Algebra;

const ActionTerm* holds(const MTransition* t, std::uint16_t code, std::uint16_t nparams) {
    return find_action(code, nparams, &t->label);
}

void number_places(MNet* n) {
    std::uint32_t k = 0;
    for (MPlace* p = n->first_place; p; p = p->next) p->number = ++k;
}

// Relinks the transition list in the given order.
void relink(MNet* n, const std::vector<std::size_t>& order) {
    std::vector<MTransition*> ts = transitions(n);
    MTransition* prev = nullptr;
    n->first_trans = nullptr;
    for (std::size_t k : order) {
        MTransition* t = ts[k];
        t->prev = prev;
        t->next = nullptr;
        if (prev) prev->next = t;
        else n->first_trans = t;
        prev = t;
    }
    n->last_trans = prev;
    // The places' arc lists follow the transition list.
    std::uint32_t k = 0;
    for (MTransition* t = n->first_trans; t; t = t->next) t->number = ++k;
    for (MPlace* p = n->first_place; p; p = p->next)
        for (MArc** list : {&p->in, &p->out}) {
            std::vector<MArc*> arcs;
            for (MArc* a = *list; a; a = a->pnext) arcs.push_back(a);
            std::stable_sort(arcs.begin(), arcs.end(),
                             [](const MArc* x, const MArc* y) { return x->trans->number < y->trans->number; });
            MArc* before = nullptr;
            *list = nullptr;
            for (MArc* a : arcs) {
                a->pprev = before;
                a->pnext = nullptr;
                if (before) before->pnext = a;
                else *list = a;
                before = a;
            }
        }
    number_places(n);
}

// A text of the transition: its variables renamed in the order in which they
// first occur (label, guard, post-set, pre-set), followed by the restrictions
// of those variables in that order and, sorted, the restrictions of the
// variables that occur nowhere else.  Two transitions have the same text
// when they are the same up to a renaming of their variables.
std::string canonical(const MTransition* t) {
    std::map<std::uint16_t, std::size_t> index;
    auto term = [&](std::uint16_t c) {
        if (c >= 256) return "c" + std::to_string(c);
        auto it = index.emplace(c, index.size()).first;
        return "v" + std::to_string(it->second);
    };
    std::string s = "label";
    for (const ActionTerm& a : t->label) {
        s += " " + std::to_string(a.code) + "x" + std::to_string(a.mult) + "(";
        for (std::size_t k = 0; k < a.nparams; ++k) s += term(a.params[k]) + ",";
        s += ")";
    }
    s += " guard";
    for (const TermTable& c : t->guard) {
        s += " [";
        for (const TermNode& n : c) {
            const bool no_right =
                n.kind == 0 || n.kind == N_CONST || n.kind == N_PAREN || n.kind == N_NOT || n.kind == N_NEG;
            s += std::to_string(n.kind) + ":" + (n.kind == N_VAR ? term(n.left) : std::to_string(n.left));
            s += no_right ? std::string(" ") : "." + std::to_string(n.right) + " ";
        }
        s += "]";
    }
    for (const MArc* list : {t->post, t->pre}) {
        s += list == t->post ? " post" : " pre";
        for (const MArc* a = list; a; a = a->tnext) {
            s += " " + std::to_string(a->place->number) + ":";
            for (const InscTerm& x : a->inscription) {
                s += std::to_string(x.count) + "'";
                if (is_tuple_code(x.code)) {
                    s += "<";
                    for (std::uint16_t e : get_tuple(static_cast<std::uint16_t>(x.code - TUPLE_BASE))) s += term(e) + ",";
                    s += ">";
                } else {
                    s += term(x.code);
                }
            }
        }
    }
    std::map<std::size_t, std::string> named;
    std::map<std::uint16_t, std::string> unnamed;
    for (const Restriction& r : t->restrictions) {
        std::string entry = std::to_string(r.component) + "{";
        for (std::int32_t v : r.values) entry += std::to_string(v) + ",";
        entry += "}";
        auto it = index.find(r.var);
        if (r.var >= 256) named[1000000 + r.var] += entry;
        else if (it != index.end()) named[it->second] += entry;
        else unnamed[r.var] += entry;
    }
    s += " restrictions";
    for (const auto& [k, entries] : named) s += " v" + std::to_string(k) + entries;
    std::multiset<std::string> rest;
    for (const auto& e : unnamed) rest.insert(e.second);
    for (const std::string& e : rest) s += " _" + e;
    return s;
}

std::multiset<std::string> canonical_texts(const MNet* n) {
    std::multiset<std::string> texts;
    for (MTransition* t : transitions(n)) texts.insert(canonical(t));
    return texts;
}

// The oracle's closure over one action, on its own copy of the net.
void oracle_close(MNet* net, const ActionTerm& a, std::uint16_t limit, bool scope) {
    const std::uint16_t even = static_cast<std::uint16_t>(a.code & ~1u), odd = static_cast<std::uint16_t>(even | 1u);
    std::vector<MTransition*> originals;
    for (MTransition* t : transitions(net))
        if (holds(t, even, a.nparams) || holds(t, odd, a.nparams)) originals.push_back(t);
    const std::size_t m = originals.size();
    // Each original has arcs, so a join holds at most `limit` copies of it.
    const std::size_t most = m * std::max<std::size_t>(limit, 1);
    struct Join {
        MTransition* t;
        std::vector<int> copies;
    };
    std::vector<std::vector<Join>> layer(most + 1);
    std::map<std::vector<int>, std::vector<MTransition*>> of_multiset;
    for (std::size_t i = 0; i < m; ++i) {
        std::vector<int> c(m, 0);
        c[i] = 1;
        layer[1].push_back(Join{originals[i], c});
        of_multiset[c].push_back(originals[i]);
    }
    for (std::size_t k = 2; k <= most; ++k)
        for (std::size_t i = 1; i < k; ++i)
            for (std::size_t x = 0; x < layer[i].size(); ++x)
                for (std::size_t y = 0; y < layer[k - i].size(); ++y) {
                    const Join jx = layer[i][x], jy = layer[k - i][y];
                    const ActionTerm* p = holds(jx.t, odd, a.nparams);
                    const ActionTerm* q = holds(jy.t, even, a.nparams);
                    if (!p || !q) continue;
                    std::vector<int> c(m);
                    for (std::size_t o = 0; o < m; ++o) c[o] = jx.copies[o] + jy.copies[o];
                    MTransition* n = sync_pair(net, jx.t, jy.t, ActionTerm(*p), ActionTerm(*q), limit);
                    if (!n) continue;
                    std::vector<MTransition*>& same = of_multiset[c];
                    if (std::any_of(same.begin(), same.end(), [&](MTransition* e) { return trans_equal(n, e); })) {
                        RemoveTrans(net, n, 0);
                        continue;
                    }
                    same.push_back(n);
                    layer[k].push_back(Join{n, c});
                }
    // Equal joins of different multisets are one transition.
    std::vector<MTransition*> kept;
    for (MTransition* t = net->last_trans; t;) {
        MTransition* prev = t->prev;
        if (std::any_of(kept.begin(), kept.end(), [&](MTransition* e) { return trans_equal(t, e); }))
            RemoveTrans(net, t, 0);
        else
            kept.push_back(t);
        t = prev;
    }
    if (scope)
        for (MTransition* t = net->last_trans; t;)
            t = holds(t, even, a.nparams) || holds(t, odd, a.nparams) ? RemoveTrans(net, t, 0) : t->prev;
}

// Each transition of one net has a trans_equal partner in the other, and no
// join equals another transition (the originals may equal each other).
::testing::AssertionResult same_transitions(const MNet* lib, const std::vector<MTransition*>& originals,
                                            const MNet* oracle) {
    std::vector<MTransition*> a = transitions(lib), b = transitions(oracle);
    auto original = [&](MTransition* t) { return std::count(originals.begin(), originals.end(), t) != 0; };
    for (std::size_t i = 0; i < a.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j)
            if ((!original(a[i]) || !original(a[j])) && trans_equal(a[i], a[j]))
                return ::testing::AssertionFailure() << "two equal transitions";
        if (std::none_of(b.begin(), b.end(), [&](MTransition* u) { return trans_equal(a[i], u); }))
            return ::testing::AssertionFailure() << "a join the oracle does not make";
    }
    for (MTransition* u : b)
        if (std::none_of(a.begin(), a.end(), [&](MTransition* t) { return trans_equal(u, t); }))
            return ::testing::AssertionFailure() << "a join missing";
    return ::testing::AssertionSuccess() << a.size() << " transitions";
}

struct RandomNet {
    std::vector<std::string> labels, guards;
    std::vector<bool> choice;  // composition of box i with the ones before
    std::string actions;
    std::string aliases;  // the same actions again: conjugates, other parameters
    std::uint16_t limit = 1;
};

// What the random nets may hold besides labels and plain guards.
enum class Extras { none, restrictions };

RandomNet random_net(std::mt19937& rng, Extras extras) {
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    RandomNet r;
    const int nactions = pick(1, 2);
    const char* names[2] = {"a", "b"};
    int nparams[2] = {pick(0, 2), pick(0, 2)};
    const char* values[4] = {"x", "y", "1", "2"};
    auto term = [&](const std::string& name, int np) {
        std::string s = name;
        for (int k = 0; k < np; ++k) s += (k ? "," : "(") + std::string(values[pick(0, 3)]);
        return np ? s + ")" : s;
    };
    for (int k = 0; k < nactions; ++k) r.actions += (k ? "," : "") + term(names[k], nparams[k]);
    for (int k = 0; k < nactions; ++k) {
        auto same = [&](const char* value) {
            std::string s;
            for (int i = 0; i < nparams[k]; ++i) s += (i ? "," : "(") + std::string(value);
            return nparams[k] ? s + ")" : s;
        };
        r.aliases += ",^" + std::string(names[k]) + same("y") + "," + names[k] + same("1");
    }
    const int ntrans = pick(2, 4);
    for (int i = 0; i < ntrans; ++i) {
        std::string label;
        const int nterms = pick(1, 3);
        for (int k = 0; k < nterms; ++k) {
            int which = pick(0, 2 * nactions);
            if (which == 2 * nactions) label += (k ? "," : "") + term("c", 1);  // shows a binding
            else label += (k ? "," : "") + term((which % 2 ? "^" : "") + std::string(names[which / 2]), nparams[which / 2]);
        }
        r.labels.push_back(label);
        if (extras == Extras::restrictions) {
            // Restrictions of a parameter and of variables that occur
            // nowhere else, empty sets included.
            const char* guards[] = {"", "x < 2", "w{}: tt", "w{1}: tt", "x{1..2}: x < 2", "x{2} & w{}: tt",
                                    "y{} & w{1}: tt", "x{1}: tt"};
            r.guards.push_back(guards[pick(0, 7)]);
        } else {
            r.guards.push_back(pick(0, 3) == 0 ? "x < 2" : "");
        }
        r.choice.push_back(pick(0, 1) == 1);
        if (extras == Extras::restrictions && i > 0 && pick(0, 2) == 0) {
            // A twin of the box before, on the same places, that differs
            // at most in its guard and restrictions.
            r.labels[i] = r.labels[i - 1];
            r.choice[i] = true;
        }
    }
    r.limit = static_cast<std::uint16_t>(pick(1, ntrans > 3 ? 2 : 3));
    return r;
}

MNet* build(const RandomNet& r) {
    MNet* n = atom(r.labels[0], r.guards[0], "t0");
    for (std::size_t i = 1; i < r.labels.size(); ++i) {
        MNet* b = atom(r.labels[i], r.guards[i], ("t" + std::to_string(i)).c_str());
        n = r.choice[i] ? M_choice(n, b) : M_parallel(n, b);
    }
    number_places(n);
    return n;
}

// Random nets: 2-4 atomic boxes in parallel or in choice, 1-2 actions with
// 0-2 parameters, limits 1-3; every order of the transition list.  With
// `aliases` the library's list names each action again (its conjugate and
// other parameters), which must change nothing.
void compare_with_oracle(bool scope, Extras extras = Extras::none, bool aliases = false) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 100; ++round) {
        RandomNet r = random_net(rng, extras);
        const ActionSet acts = actions(r.actions);
        const ActionSet lib_acts = actions(aliases ? r.actions + r.aliases : r.actions);
        std::string what = (scope ? "scope " : "sync ") + r.actions + (aliases ? r.aliases : "") + " limit " +
                           std::to_string(r.limit) + ":";
        for (std::size_t i = 0; i < r.labels.size(); ++i) what += " [" + r.labels[i] + " | " + r.guards[i] + "]";
        MNet* oracle = build(r);
        for (const ActionTerm& a : acts) oracle_close(oracle, a, r.limit, scope);
        std::vector<std::size_t> order(r.labels.size());
        for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
        std::multiset<std::string> first_order;
        do {
            MNet* lib = build(r);
            relink(lib, order);
            const std::vector<MTransition*> originals = transitions(lib);
            if (scope) M_scope(lib, lib_acts, r.limit);
            else M_synchronise(lib, lib_acts, r.limit);
            ASSERT_TRUE(same_transitions(lib, originals, oracle)) << what;
            ASSERT_EQ(CheckNet(lib), 0) << what;
            if (first_order.empty()) first_order = canonical_texts(lib);
            else ASSERT_EQ(canonical_texts(lib), first_order) << what;
            FreeNet(&lib);
        } while (std::next_permutation(order.begin(), order.end()));
        FreeNet(&oracle);
        transition_counter = 0;
    }
}

TEST_F(AlgebraClosure, SynchronisationEqualsTheBruteForceClosure) { compare_with_oracle(false); }

TEST_F(AlgebraClosure, ScopingEqualsTheBruteForceClosure) { compare_with_oracle(true); }

TEST_F(AlgebraClosure, JoinsDifferingOnlyInARestrictionAreBothKept) {
    // p restricts a variable that occurs nowhere else to the empty set, q
    // does not: their joins with r differ, and both stay in every order.
    // Either p and q share their places (a choice), or they have no arcs and
    // source-net mode compares the joins on r's places.
    for (bool shared : {true, false}) {
        MNetOptions[1] = shared ? 0 : OPT1_SOURCE_NET;
        std::vector<std::size_t> order{0, 1, 2};
        do {
            MNet* p = atom("^a(0)", "w{}: tt", "p");
            MNet* q = atom("^a(0)", "", "q");
            for (MNet* b : {p, q}) {
                MTransition* t = b->first_trans;
                while (!shared && t->pre) RemovePlace(b, t->pre->place);
                while (!shared && t->post) RemovePlace(b, t->post->place);
            }
            MNet* n = M_parallel(shared ? M_choice(p, q) : M_parallel(p, q), atom("a(0)", "", "r"));
            relink(n, order);
            M_synchronise(n, actions("a(x)"), 1);
            M_restrict(n, actions("a(x)"));
            const std::string what = std::to_string(order[0]) + std::to_string(order[1]) + std::to_string(order[2]);
            ASSERT_EQ(n->trans_count, 2u) << what;
            MTransition *pr = named(n, "p*r"), *qr = named(n, "q*r");
            ASSERT_TRUE(pr && qr) << what;
            ASSERT_EQ(pr->restrictions.size(), 1u) << what;
            EXPECT_TRUE(pr->restrictions[0].values.empty()) << what;
            EXPECT_TRUE(qr->restrictions.empty()) << what;
            EXPECT_EQ(CheckNet(n), 0);
            FreeNet(&n);
        } while (std::next_permutation(order.begin(), order.end()));
    }
}

TEST_F(AlgebraClosure, RestrictedNetsGiveTheSameClosureInEveryOrder) {
    compare_with_oracle(false, Extras::restrictions);
    compare_with_oracle(true, Extras::restrictions);
}

TEST_F(AlgebraClosure, ActionsNamedAgainInTheListChangeNothing) {
    compare_with_oracle(false, Extras::none, true);
    compare_with_oracle(true, Extras::restrictions, true);
}

}  // namespace
}  // namespace algebra_test
