// The automaton of a #verify formula against an LTL evaluator on lassos:
// a word u v v v ... of markings is accepted exactly when it violates the
// formula.  Formulas are random, over at most three place atoms; the same
// check runs with ForMake's rules switched off, which tests the rules.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <set>

#include "butra.h"
#include "diag.h"
#include "net.h"
#include "parser.h"
#include "tulc_test_util.h"

namespace {

using tulc::Net;

// ----- The oracle: LTL on lassos ------------------------------------------

struct Ltl {
    enum Op { kAtom, kConst, kNot, kAnd, kOr, kImplies, kUntil, kUnless, kEventually, kHenceforth } op;
    int atom = 0;      // kAtom: place index; kConst: the value
    std::string text;  // kAtom: the atom as written
    std::shared_ptr<Ltl> l, r;
};
using LtlP = std::shared_ptr<Ltl>;

// Truth of f at every position of the lasso (letters[i] bit k: place k is
// marked; position n-1 is followed by position loop).
std::vector<bool> Eval(const Ltl& f, const std::vector<unsigned>& letters, std::size_t loop) {
    const std::size_t n = letters.size();
    auto next = [&](std::size_t i) { return i + 1 < n ? i + 1 : loop; };
    std::vector<bool> v(n);
    switch (f.op) {
    case Ltl::kAtom:
        for (std::size_t i = 0; i < n; ++i) v[i] = (letters[i] >> f.atom) & 1u;
        return v;
    case Ltl::kConst: return std::vector<bool>(n, f.atom != 0);
    default: break;
    }
    std::vector<bool> a = Eval(*f.l, letters, loop);
    std::vector<bool> b = f.r ? Eval(*f.r, letters, loop) : std::vector<bool>(n);
    switch (f.op) {
    case Ltl::kNot:
        for (std::size_t i = 0; i < n; ++i) v[i] = !a[i];
        return v;
    case Ltl::kAnd:
    case Ltl::kOr:
    case Ltl::kImplies:
        for (std::size_t i = 0; i < n; ++i)
            v[i] = f.op == Ltl::kAnd ? a[i] && b[i] : f.op == Ltl::kOr ? a[i] || b[i] : !a[i] || b[i];
        return v;
    case Ltl::kEventually:
    case Ltl::kHenceforth:
        b = a;
        a = std::vector<bool>(n, f.op == Ltl::kEventually);
        if (f.op == Ltl::kHenceforth) {
            // G x = x unless false: the greatest fixpoint of x and G x next.
            v.assign(n, true);
            for (std::size_t round = 0; round <= n; ++round)
                for (std::size_t i = n; i-- > 0;) v[i] = b[i] && v[next(i)];
            return v;
        }
        v.assign(n, false);
        for (std::size_t round = 0; round <= n; ++round)
            for (std::size_t i = n; i-- > 0;) v[i] = b[i] || v[next(i)];
        return v;
    default: break;
    }
    // a U b is the least fixpoint of b or (a and next); a W b the greatest.
    v.assign(n, f.op == Ltl::kUnless);
    for (std::size_t round = 0; round <= n; ++round)
        for (std::size_t i = n; i-- > 0;) v[i] = b[i] || (a[i] && v[next(i)]);
    return v;
}

std::string Text(const Ltl& f) {
    switch (f.op) {
    case Ltl::kAtom: return f.text;
    case Ltl::kConst: return f.atom ? "1" : "0";
    case Ltl::kNot: return "not (" + Text(*f.l) + ")";
    case Ltl::kEventually: return "eventually (" + Text(*f.l) + ")";
    case Ltl::kHenceforth: return "henceforth (" + Text(*f.l) + ")";
    default: break;
    }
    static const char* ops[] = {"", "", "", "and", "or", "implies", "until", "unless"};
    return "(" + Text(*f.l) + ") " + ops[f.op] + " (" + Text(*f.r) + ")";
}

// A random formula; temporal is the budget of temporal operators (unless
// counts twice: it stands for an until and a henceforth).  The automata grow
// exponentially with nested temporal operators, so the budget keeps them
// small.
// forms[k] is how atom k is written in this formula (one of several
// equivalent forms, the same at every occurrence: three atoms at most).
LtlP RandomLtl(std::mt19937& rng, int depth, int atoms, int& temporal, const int* forms) {
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto f = std::make_shared<Ltl>();
    if (depth == 0 || pick(5) == 0) {
        if (pick(12) == 0) {
            f->op = Ltl::kConst;
            f->atom = pick(2);
            return f;
        }
        f->op = Ltl::kAtom;
        f->atom = pick(atoms);
        const std::string p = "p" + std::to_string(f->atom);
        static const char* texts[] = {"%s != empty", "card(%s) > 0", "empty < %s", "!(card(%s) == 0)"};
        char buf[64];
        std::snprintf(buf, sizeof buf, texts[forms[f->atom]], p.c_str());
        f->text = buf;
        return f;
    }
    static const Ltl::Op ops[] = {Ltl::kNot, Ltl::kAnd, Ltl::kOr, Ltl::kImplies, Ltl::kUntil,
                                  Ltl::kUnless, Ltl::kEventually, Ltl::kHenceforth};
    Ltl::Op op;
    for (;;) {
        op = ops[pick(8)];
        const int cost = op == Ltl::kUnless ? 2 : op >= Ltl::kUntil ? 1 : 0;
        if (cost <= temporal) {
            temporal -= cost;
            break;
        }
    }
    f->op = op;
    f->l = RandomLtl(rng, depth - 1, atoms, temporal, forms);
    if (f->op != Ltl::kNot && f->op != Ltl::kEventually && f->op != Ltl::kHenceforth)
        f->r = RandomLtl(rng, depth - 1, atoms, temporal, forms);
    return f;
}

// ----- Automata as the table file holds them ------------------------------

struct Aut {
    std::vector<std::vector<std::uint32_t>> succ;  // states 1..k at index 0..k-1
    std::vector<std::uint32_t> labels;
    std::vector<bool> accepting, start;
};

// Which place each label pair stands for.
using AtomPlaces = std::vector<int>;

bool Matches(std::uint32_t label, unsigned letter, const AtomPlaces& places) {
    for (std::size_t i = 0; i < places.size(); ++i) {
        if (!((label >> (2 * i + 1)) & 1u)) continue;
        bool want = (label >> (2 * i)) & 1u;
        if (want != (((letter >> places[i]) & 1u) != 0)) return false;
    }
    return true;
}

// Whether some run on the lasso visits accepting states infinitely often.
bool Accepts(const Aut& a, const AtomPlaces& places, const std::vector<unsigned>& letters, std::size_t loop) {
    const std::size_t n = letters.size(), k = a.labels.size();
    auto next = [&](std::size_t i) { return i + 1 < n ? i + 1 : loop; };
    auto id = [&](std::size_t s, std::size_t i) { return s * n + i; };
    std::vector<std::vector<std::size_t>> edges(k * n);
    for (std::size_t s = 0; s < k; ++s)
        for (std::size_t i = 0; i < n; ++i) {
            if (!Matches(a.labels[s], letters[i], places)) continue;
            for (std::uint32_t t : a.succ[s])
                if (Matches(a.labels[t - 1], letters[next(i)], places)) edges[id(s, i)].push_back(id(t - 1, next(i)));
        }
    auto reach = [&](std::vector<std::size_t> from) {
        std::vector<bool> seen(k * n);
        for (std::size_t x : from) seen[x] = true;
        while (!from.empty()) {
            std::size_t x = from.back();
            from.pop_back();
            for (std::size_t y : edges[x])
                if (!seen[y]) seen[y] = true, from.push_back(y);
        }
        return seen;
    };
    std::vector<std::size_t> init;
    for (std::size_t s = 0; s < k; ++s)
        if (a.start[s] && Matches(a.labels[s], letters[0], places)) init.push_back(id(s, 0));
    std::vector<bool> reachable = reach(init);
    for (std::size_t s = 0; s < k; ++s) {
        if (!a.accepting[s]) continue;
        for (std::size_t i = 0; i < n; ++i) {
            std::size_t x = id(s, i);
            if (!reachable[x]) continue;
            if (reach(edges[x])[x]) return true;
        }
    }
    return false;
}

Aut FromNet() {
    Aut a;
    for (const auto& s : Net().buchi) {
        std::vector<std::uint32_t> succ;
        for (const auto* t : s->succ) succ.push_back(t->number);
        a.succ.push_back(succ);
        a.labels.push_back(s->label);
        a.accepting.push_back(s->Accepting());
        a.start.push_back(s->Start());
    }
    return a;
}

AtomPlaces PlacesOfAtoms() {
    AtomPlaces places;
    for (const auto& atom : Net().verifyAtoms) {
        auto ps = tulc::PlacesOf(*atom->atom);
        places.push_back(ps.empty() ? -1 : static_cast<int>(ps[0]));
    }
    return places;
}

// Translates the formula in a net of three places marked as init says.
tulc::VerifyOutcome TranslateIn(const std::string& formula, unsigned init) {
    tulctest::ResetCompiler();
    for (int p = 0; p < 3; ++p) {
        std::vector<std::pair<std::vector<std::uint32_t>, std::uint32_t>> m;
        if ((init >> p) & 1u) m.push_back({{1}, 1});
        tulctest::AddPlace("p" + std::to_string(p), m);
    }
    Net().hasVerify = true;
    Net().verifyText = tulctest::Pieces(formula);
    return tulc::Translate();
}

// All lassos over three atoms with |u| + |v| <= 3 that start with the
// letter init.
std::vector<std::pair<std::vector<unsigned>, std::size_t>> Lassos(unsigned init) {
    std::vector<std::pair<std::vector<unsigned>, std::size_t>> out;
    for (std::size_t n = 1; n <= 3; ++n)
        for (std::size_t loop = 0; loop < n; ++loop)
            for (unsigned code = 0; code < (1u << (3 * (n - 1))); ++code) {
                std::vector<unsigned> letters{init};
                for (std::size_t i = 1; i < n; ++i) letters.push_back((code >> (3 * (i - 1))) & 7u);
                out.push_back({letters, loop});
            }
    return out;
}

void CheckFormula(const LtlP& f, unsigned init) {
    const std::string text = Text(*f);
    SCOPED_TRACE(text + "  (initially " + std::to_string(init) + ")");
    tulc::VerifyOutcome outcome = TranslateIn(text, init);
    ASSERT_NE(outcome, tulc::VerifyOutcome::kParseError);
    ASSERT_NE(outcome, tulc::VerifyOutcome::kBeyondDataModel);
    Aut a;
    AtomPlaces places;
    if (outcome == tulc::VerifyOutcome::kAutomaton) {
        a = FromNet();
        places = PlacesOfAtoms();
        // The tester place holds the idle state k + 1 at first.
        ASSERT_EQ(Net().testerPlace->initial.Entries()[0].tuple[0], a.labels.size() + 1);
        // Two label bits per atom; an atom a state does not constrain has both 0.
        for (std::uint32_t label : a.labels) {
            ASSERT_EQ(label >> (2 * places.size()), 0u);
            for (std::size_t i = 0; i < places.size(); ++i)
                if (!((label >> (2 * i + 1)) & 1u)) {
                    ASSERT_EQ((label >> (2 * i)) & 1u, 0u);
                }
        }
    }
    for (const auto& [letters, loop] : Lassos(init)) {
        const bool violated = !Eval(*f, letters, loop)[0];
        bool accepted;
        switch (outcome) {
        case tulc::VerifyOutcome::kAutomaton: accepted = Accepts(a, places, letters, loop); break;
        case tulc::VerifyOutcome::kFalse: accepted = true; break;  // every run violates it
        default: accepted = false; break;                           // none does
        }
        ASSERT_EQ(accepted, violated) << "lasso of " << letters.size() << " letters, loop at " << loop;
    }
}

class TulcBuchiOracle : public ::testing::TestWithParam<int> {};

}  // namespace

// Each seed range: random formulas of depth up to 3, with the rules of
// ForMake on and off.
TEST_P(TulcBuchiOracle, AcceptsExactlyTheViolatingLassos) {
    std::mt19937 rng(static_cast<unsigned>(GetParam()));
    for (int k = 0; k < 40; ++k) {
        int temporal = 3;
        const int forms[3] = {static_cast<int>(rng() % 4), static_cast<int>(rng() % 4), static_cast<int>(rng() % 4)};
        LtlP f = RandomLtl(rng, 3, 3, temporal, forms);
        unsigned init = rng() % 8;
        tulc::ForSimplifyRules() = true;
        CheckFormula(f, init);
        tulc::ForSimplifyRules() = false;
        CheckFormula(f, init);
        tulc::ForSimplifyRules() = true;
        if (HasFatalFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, TulcBuchiOracle, ::testing::Range(1, 7));

// The table file holds the automaton that the translation built: states with
// their successors, the initial states, the labels, and the accepting states
// as tester values with the condition "infinite".
TEST(TulcBuchi, TheTableFileHoldsTheAutomaton) {
    const char* formulas[] = {
        "henceforth (p0 != empty implies eventually p1 != empty)",
        "(p0 != empty) until (p1 != empty and not (p2 != empty))",
        "eventually henceforth (p2 != empty) or henceforth (p0 != empty)",
        "(card(p1) > 0) unless (empty < p0)",
    };
    for (unsigned init = 0; init < 8; init += 3) {
        for (const char* text : formulas) {
            SCOPED_TRACE(text);
            const tulc::VerifyOutcome outcome = TranslateIn(text, init);
            Aut want = FromNet();
            AtomPlaces places = PlacesOfAtoms();
            std::string net;
            for (int p = 0; p < 3; ++p) net += "#place p" + std::to_string(p) + ((init >> p) & 1u ? " mk(<.1.>)\n" : "\n");
            net += "#trans t\nin { p0 : <.x.> ; }\nout { p1 : <.x.> ; }\n#endtr\n#verify " + std::string(text) + ";\n";
            tulctest::Workspace w;
            tulctest::TulcRun r = w.Compile(net);
            if (outcome != tulc::VerifyOutcome::kAutomaton) {
                // Decided by the initial marking: a message and no tables.
                EXPECT_EQ(outcome, tulc::VerifyOutcome::kTrueInitially);
                EXPECT_EQ(r.out, "\nThe formula to be verified is true\nas can be seen from the initial marking\n");
                EXPECT_FALSE(w.Exists("x.dat"));
                continue;
            }
            tulctest::DatFile d = tulctest::ReadDat(w.Read("x.dat"));
            ASSERT_TRUE(d.ok);
            ASSERT_TRUE(d.hasBuchi);
            EXPECT_EQ(d.testerPlace, 3u);
            EXPECT_EQ(d.placeNames.back(), "t_e_s_t_e_r");
            // t, i_n_i_t_i_a_l_i_z_e, d_u_m_m_y; the tester-state variables
            // are not counted, the one of t is.
            EXPECT_EQ(d.transitionNames, (std::vector<std::string>{"t", "i_n_i_t_i_a_l_i_z_e", "d_u_m_m_y"}));
            EXPECT_EQ(d.vars, (std::vector<std::uint32_t>{1, 0, 0}));
            // The tester place starts in the idle state k + 1.
            ASSERT_FALSE(d.marking.empty());
            EXPECT_EQ(d.marking.back().place, 3u);
            EXPECT_EQ(d.marking.back().tuple[0], want.labels.size() + 1);
            Aut got;
            got.succ = d.succ;
            got.labels = d.labels;
            got.start.assign(d.labels.size(), false);
            got.accepting.assign(d.labels.size(), false);
            for (std::uint32_t s : d.initial) got.start[s - 1] = true;
            for (const auto& [value, bits] : d.testerValues) {
                EXPECT_EQ(bits, 8u);
                got.accepting[value - 1] = true;
            }
            EXPECT_EQ(got.succ, want.succ);
            EXPECT_EQ(got.labels, want.labels);
            EXPECT_EQ(got.start, want.start);
            EXPECT_EQ(got.accepting, want.accepting);
        }
    }
}

TEST(TulcBuchi, ShapesOfTheTranslation) {
    // a unless b is (henceforth a) or (a until b).
    auto automaton = [](const std::string& f) {
        TranslateIn(f, 0);
        return FromNet();
    };
    Aut u = automaton("(p0 != empty) unless (p1 != empty)");
    Aut v = automaton("(henceforth (p0 != empty)) or ((p0 != empty) until (p1 != empty))");
    EXPECT_EQ(u.succ, v.succ);
    EXPECT_EQ(u.labels, v.labels);
    EXPECT_EQ(u.accepting, v.accepting);
    // Every transition carries the tester-state variables and arcs; the
    // sub-automaton lists name the tableaux whose atoms a transition touches.
    tulctest::ResetCompiler();
    tulctest::AddPlace("p0", {});
    tulctest::AddPlace("p1", {});
    tulctest::AddPlace("q", {});
    auto& net = Net();
    for (const char* name : {"a", "b"}) {
        auto t = tulc::TransCons(name, false);
        std::vector<tulc::MTUPLE> terms(1, tulc::MtupleCons(0));
        terms[0].count = 1;
        tulc::TransAddIn(*t, net.places[name[0] == 'a' ? 0 : 2].get(), terms);
        t->FillAllArcs();
        net.transitionByName[name] = t.get();
        net.transitions.push_back(std::move(t));
    }
    net.hasVerify = true;
    net.verifyText = tulctest::Pieces("henceforth (p0 != empty) or eventually (p1 != empty)");
    ASSERT_EQ(tulc::Translate(), tulc::VerifyOutcome::kAutomaton);
    ASSERT_EQ(net.transitions.size(), 4u);
    EXPECT_EQ(net.transitions[0]->subAutomata.size(), 1u);  // a touches p0
    EXPECT_TRUE(net.transitions[1]->subAutomata.empty());   // b touches q only
    for (const auto& t : net.transitions) {
        SCOPED_TRACE(t->name);
        const bool init = t->kind == tulc::TRANSITION::kInitialize;
        ASSERT_EQ(t->variables.size(), init ? 1u : 2u);
        for (const auto& var : t->variables) EXPECT_FALSE(var->name);
        EXPECT_EQ(t->inArcs.back()->place, net.testerPlace);
        EXPECT_EQ(t->outArcs.back()->place, net.testerPlace);
        const auto& in = t->inArcs.back()->tuples[0];
        EXPECT_EQ(in.count, 1u);
        if (init) {
            EXPECT_EQ(in.fields[0].text, std::to_string(net.buchi.size() + 1));
        }
    }
}

TEST(TulcBuchi, NeverClaim) {
    tulctest::Workspace w;
    tulctest::TulcRun r = w.Compile("#place p\n#place q mk(<.1.>)\n#verify henceforth (q != empty);\n", "-N x");
    EXPECT_EQ(r.code, 0) << r.err;
    // The negation: eventually q is empty.  Its automaton before the initial
    // marking is taken into account.
    const std::string nev = w.Read("x.nev");
    EXPECT_EQ(nev.substr(0, 26), "never {\nnonacc_init:\n  if\n");
    EXPECT_NE(nev.find("  /* like "), std::string::npos);
    EXPECT_NE(nev.find("  :: ((!(q))) -> goto accept_"), std::string::npos) << nev;
    EXPECT_NE(nev.find("  :: (  (q) ) -> goto "), std::string::npos) << nev;
    EXPECT_EQ(nev.substr(nev.size() - 8), "  fi;\n}\n");
}
