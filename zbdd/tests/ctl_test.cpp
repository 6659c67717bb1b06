// movrane's formula reader, printer and evaluation; the evaluation against
// an explicit CTL evaluator over the explorer's state graph.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "apnn.h"
#include "ctl.h"
#include "fixture.h"
#include "output.h"

using namespace zbdd;
using namespace zbdd_test;
using namespace testsupport;

namespace {

using States = std::vector<char>;  // by explorer state index

// The explicit evaluator: the same operators on the explicit graph, with
// the fixpoints computed state by state.
class ExplicitCtl {
public:
    ExplicitCtl(const TestNet& net, const StateSpace& ss) : net_(net), ss_(ss), n_(ss.states.size()) {}

    States eval(const CtlFormula& f) const {
        switch (f.kind) {
        case CtlKind::True: return States(n_, 1);
        case CtlKind::False: return States(n_, 0);
        case CtlKind::Ident: {
            States r(n_);
            for (std::size_t s = 0; s < n_; ++s) r[s] = ss_.states[s][f.place] > 0;
            return r;
        }
        case CtlKind::Paren: return eval(*f.left);
        case CtlKind::Not: return negate(eval(*f.left));
        case CtlKind::EX: return ex(eval(*f.left));
        case CtlKind::AX: return negate(ex(negate(eval(*f.left))));
        case CtlKind::EF: return eu(States(n_, 1), eval(*f.left));
        case CtlKind::AF: return au(States(n_, 1), eval(*f.left));
        case CtlKind::AG: return negate(eu(States(n_, 1), negate(eval(*f.left))));
        case CtlKind::EG: return negate(au(States(n_, 1), negate(eval(*f.left))));
        default: break;
        }
        const States a = eval(*f.left), b = eval(*f.right);
        if (f.kind == CtlKind::EU) return eu(a, b);
        if (f.kind == CtlKind::AU) return au(a, b);
        States r(n_);
        for (std::size_t s = 0; s < n_; ++s) {
            const bool x = a[s], y = b[s];
            switch (f.kind) {
            case CtlKind::And: r[s] = x && y; break;
            case CtlKind::Or: r[s] = x || y; break;
            case CtlKind::Implies: r[s] = !x || y; break;
            case CtlKind::Implied: r[s] = x || !y; break;
            case CtlKind::Iff: r[s] = x == y; break;
            default: r[s] = x != y; break;
            }
        }
        return r;
    }

private:
    States negate(States a) const {
        for (char& c : a) c = !c;
        return a;
    }
    States ex(const States& a) const {
        States r(n_, 0);
        for (std::size_t s = 0; s < n_; ++s)
            for (auto [t, to] : ss_.succ[s]) r[s] |= a[to];
        return r;
    }
    // Least fixpoints: a state joins once g holds or f holds and its
    // successors (some of them for EU, all of them for AU) are in.
    States eu(const States& f, const States& g) const { return until(f, g, false); }
    States au(const States& f, const States& g) const { return until(f, g, true); }
    States until(const States& f, const States& g, bool all) const {
        States y = g;
        for (bool changed = true; changed;) {
            changed = false;
            for (std::size_t s = 0; s < n_; ++s) {
                if (y[s] || !f[s]) continue;
                bool any = false, every = true;
                for (auto [t, to] : ss_.succ[s]) {
                    any |= y[to] != 0;
                    every &= y[to] != 0;
                }
                if (all ? every : any) {
                    y[s] = 1;
                    changed = true;
                }
            }
        }
        return y;
    }
    const TestNet& net_;
    const StateSpace& ss_;
    std::size_t n_;
};

std::string randomFormula(std::mt19937_64& rng, const TestNet& net, int depth) {
    const int pick = depth <= 0 ? static_cast<int>(rng() % 3) : static_cast<int>(rng() % 22);
    auto sub = [&] { return randomFormula(rng, net, depth - 1); };
    switch (pick) {
    case 0: return net.place_names[rng() % net.places()];
    case 1: return rng() % 2 ? "TRUE" : "ff";
    case 2: return net.place_names[rng() % net.places()];
    case 3: return "!" + sub();
    case 4: return "(" + sub() + " AND " + sub() + ")";
    case 5: return "(" + sub() + " " + sub() + ")";
    case 6: return "(" + sub() + " || " + sub() + ")";
    case 7: return "(" + sub() + " -> " + sub() + ")";
    case 8: return "(" + sub() + " <- " + sub() + ")";
    case 9: return "(" + sub() + " <-> " + sub() + ")";
    case 10: return "(" + sub() + " XOR " + sub() + ")";
    case 11: return "E[" + sub() + " U " + sub() + "]";
    case 12: return "A(" + sub() + " U " + sub() + ")";
    case 13: return "EX " + sub();
    case 14: return "AX " + sub();
    case 15: return "EF " + sub();
    case 16: return "AF " + sub();
    case 17: return "EG " + sub();
    case 18: return "AG " + sub();
    case 19: return "AG EF " + sub();
    case 20: return "~" + sub();
    default: return "(" + sub() + " = " + sub() + ")";
    }
}

CtlFile parseOne(const std::string& formula) { return parseCtlFile("VERIFY x AGAINST BEGIN " + formula + "; END.", "f"); }

std::string fatalText(const std::function<void()>& f) {
    try {
        f();
    } catch (const Fatal& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace

TEST(Ctl, RandomFormulasAgreeWithExplicitEvaluator) {
    QuietOutput quiet;
    std::mt19937_64 rng(2024);
    int mixed = 0;  // results that hold in some reachable markings only
    int deadNets = 0;  // nets with a reachable marking without successors
    for (std::uint64_t seed = 1; seed <= 30; ++seed) {
        RandomNetParams params;
        params.general = seed % 2 == 1;
        params.components = 2 + seed % 2;
        params.transitions = 3 + seed % 4;
        params.places = 4 + seed % 3;
        params.self_loop = 0.2;
        const TestNet net = random_safe_net(seed, params);
        const StateSpace ss = explore(net);
        deadNets += std::any_of(ss.succ.begin(), ss.succ.end(), [](const auto& s) { return s.empty(); });
        NetTables tables;
        NetEncoding enc;
        setup(tables, enc, toApnn(net), Dialect::Movrane, 30000, 50);
        enc.computeRS();
        const ExplicitCtl oracle(net, ss);
        for (int k = 0; k < 10; ++k) {
            const std::string text = randomFormula(rng, net, 2 + k % 2);
            CtlFile file = parseOne(text);
            resolveCtlNames(file, tables);
            const CtlFormula& f = *file.entries[0];
            const States expected = oracle.eval(f);
            std::set<std::vector<int>> expectedSet;
            for (std::size_t s = 0; s < ss.states.size(); ++s)
                if (expected[s]) expectedSet.insert(ss.states[s]);
            ASSERT_EQ(markings(evalFormula(f, enc), enc), expectedSet) << "seed " << seed << ": " << text;
            mixed += !expectedSet.empty() && expectedSet.size() < ss.states.size();
        }
    }
    EXPECT_GT(mixed, 25);
    // EG, AF and A[U] treat markings without successors apart.
    EXPECT_GT(deadNets, 3);
}

TEST(Ctl, ParsingAndPrinting) {
    const struct {
        const char* input;
        const char* printed;
    } cases[] = {
        {"a b", "a * b"},
        {"a IMPLIES b -> c", "a -> b -> c"},
        {"a + b * c", "a + b * c"},
        {"a <= b", "a <- b"},
        {"a EQUIV b", "a <-> b"},
        {"a >< b", "a % b"},
        {"NoT tRuE", "!true"},
        {"tt ff", "true * false"},
        {"A [a U b]", "A [a U b]"},
        {"E(a U b)", "E [a U b]"},
        {"AG EF (a || b)", "AG EF (a + b)"},
        {"iff", "iff"},
    };
    for (const auto& c : cases) {
        CtlFile file = parseOne(c.input);
        ASSERT_EQ(file.entries.size(), 1u);
        EXPECT_EQ(formulaText(*file.entries[0]), c.printed) << c.input;
    }
    // Left association: (a -> b) -> c.
    CtlFile file = parseOne("a -> b -> c");
    EXPECT_EQ(file.entries[0]->left->kind, CtlKind::Implies);
    EXPECT_EQ(file.entries[0]->right->kind, CtlKind::Ident);
    // Empty entries are kept as holes and are not numbered.
    file = parseCtlFile("VERIFY x AGAINST BEGIN ; a; ; END.", "f");
    ASSERT_EQ(file.entries.size(), 3u);
    EXPECT_EQ(file.entries[0], nullptr);
}

TEST(Ctl, Errors) {
    NetTables tables;
    tables.dialect = Dialect::Movrane;
    {
        QuietOutput quiet;
        buildNetTables(tables, "\\beginnet{n}\\place{a}{\\name{a}}\\endnet", "n");
    }
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"VERIFY x AGAINST BEGIN a $ END.", "CTL: Lexical error in line 1: illegal character: $ '(0x24)\n"},
        {"VERIFY x AGAINST BEGIN a; // open", "CTL: Lexical error in line 1: Unexpected end-of-file in comment\n"},
        {"VERIFY x AGAINST BEGIN\na b ->; END.", "CTL: f.ctl: line 2, Error: parse error (near `;').\n"},
        {"verify x AGAINST BEGIN END.", "CTL: f.ctl: line 1, Error: parse error (near `verify').\n"},
        {"VERIFY x AGAINST BEGIN END. a", "CTL: f.ctl: line 1, Error: parse error (near `a').\n"},
        {"VERIFY x AGAINST BEGIN a;\n\nzz; END.", "Placename zz in line 3 is not defined!\n"},
        {"VERIFY x AGAINST BEGIN a U a; END.", "CTL: f.ctl: line 1, Error: parse error (near `U').\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fatalText([&] {
                      CtlFile file = parseCtlFile(c.text, "f.ctl");
                      resolveCtlNames(file, tables);
                  }),
                  c.message)
            << c.text;
    }
    // Nesting beyond the parser's limit is refused, not a stack overflow.
    std::string deep = "VERIFY x AGAINST BEGIN " + std::string(5000, '(') + "a" + std::string(5000, ')') + "; END.";
    EXPECT_NE(fatalText([&] { parseCtlFile(deep, "f.ctl"); }).find("parser stack overflow"), std::string::npos);
    std::string chain = "VERIFY x AGAINST BEGIN a";
    for (int i = 0; i < 5000; ++i) chain += " a";
    EXPECT_NE(fatalText([&] { parseCtlFile(chain + "; END.", "f.ctl"); }).find("parser stack overflow"),
              std::string::npos);
    // Chains within the limit, each the first operand of the next: the
    // parser's recursion stays shallow while the tree grows three times as
    // high, which the printer and the evaluation would follow.
    std::string nested = "ff";
    for (int level = 0; level < 3; ++level) {
        nested = "(" + nested;
        for (int i = 0; i < 400; ++i) nested += " | ff";
        nested += ")";
    }
    EXPECT_NE(fatalText([&] { parseCtlFile("VERIFY x AGAINST BEGIN " + nested + "; END.", "f.ctl"); })
                  .find("parser stack overflow"),
              std::string::npos);
    // Two such chains stay well within it and are read.
    std::string two = "(ff";
    for (int i = 0; i < 400; ++i) two += " | ff";
    two += ")";
    for (int i = 0; i < 400; ++i) two += " | ff";
    EXPECT_EQ(parseCtlFile("VERIFY x AGAINST BEGIN " + two + "; END.", "f.ctl").entries.size(), 1u);
}
