// The deadlock and reachability translations against the explicit-state
// explorer on random 1-safe nets, unfolded by the test-only unfolder.
#include "bra_process.h"
#include "formula.h"
#include "mini_unfolder.h"
#include "petri_test.h"
#include "unf2velt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>

using namespace velcheck;

namespace {

bool load(const testsupport::TestNet& net, const minitest::MiniPrefix& pf, BraProcess& bp) {
    std::string error;
    const bool ok = bp.ReadPrefixBytes(minitest::to_mci(net, pf), error);
    EXPECT_TRUE(ok) << error;
    return ok;
}

// Fires the events of the configuration in event order (creation order
// respects causality).
std::optional<testsupport::Marking> replay_config(const testsupport::TestNet& net, const BraProcess& bp,
                                                  const BITARRAY& config) {
    std::vector<int> seq;
    for (std::uint32_t e = 1; e <= bp.events; ++e)
        if (TestBit(config, e)) seq.push_back(static_cast<int>(bp.event_trans[e]) - 1);
    return testsupport::replay(net, seq);
}

std::FILE* null_out() {
    static std::FILE* f = std::fopen("/dev/null", "w");
    return f;
}

std::vector<testsupport::RandomNetParams> shapes() {
    std::vector<testsupport::RandomNetParams> v;
    testsupport::RandomNetParams sm;
    v.push_back(sm);
    sm.components = 4;
    sm.states_per_component = 2;
    sm.max_sync = 3;
    v.push_back(sm);
    testsupport::RandomNetParams g;
    g.general = true;
    v.push_back(g);
    g.places = 7;
    g.transitions = 5;
    g.max_preset = 2;
    v.push_back(g);
    return v;
}

TEST(DeadlockProgram, AgreesWithExplorerAtEveryLevel) {
    int checked = 0, deadlocks = 0;
    const auto params = shapes();
    for (std::uint64_t seed = 1; seed <= 160; ++seed) {
        const auto& prm = params[seed % params.size()];
        const testsupport::TestNet net = testsupport::random_safe_net(seed, prm);
        const testsupport::StateSpace ss = testsupport::explore(net, 5000);
        if (!ss.complete) continue;
        const minitest::MiniPrefix pf = minitest::unfold(net, seed % 2 == 0, 600);
        if (!pf.complete) continue;
        const bool expected = testsupport::has_deadlock(ss);
        ++checked;
        deadlocks += expected;
        for (int level = 0; level <= 3; ++level) {
            for (bool lookahead : {true, false}) {
                BraProcess bp;
                ASSERT_TRUE(load(net, pf, bp));
                if (bp.first_cutoff == 0) {
                    // The prefix is the whole behaviour: every run ends dead.
                    EXPECT_TRUE(expected) << "seed " << seed;
                    continue;
                }
                Unf2Velt u(bp);
                u.SetOptimizationLevel(level);
                u.CreateDeadlockProgram(false);
                const bool found = u.SolveProgram(lookahead);
                ASSERT_EQ(found, expected) << "seed " << seed << " level " << level << " lookahead "
                                           << lookahead;
                if (!found) continue;
                ASSERT_TRUE(u.DeadlockSanityCheck(null_out())) << "seed " << seed << " level " << level;
                const auto m = replay_config(net, bp, u.witness());
                ASSERT_TRUE(m.has_value()) << "seed " << seed;
                EXPECT_TRUE(testsupport::is_dead(net, *m)) << "seed " << seed << " level " << level;
            }
        }
    }
    EXPECT_GT(checked, 80);
    EXPECT_GT(deadlocks, 10);
    EXPECT_LT(deadlocks, checked);
}

// A random formula over places with its text and its meaning.
struct RandomFormula {
    std::string text;
    std::function<bool(const testsupport::Marking&)> holds;
};

RandomFormula random_formula(std::mt19937_64& rng, const testsupport::TestNet& net, int depth) {
    const int k = depth == 0 ? 0 : static_cast<int>(rng() % 4);
    if (k == 0) {
        const int p = static_cast<int>(rng() % static_cast<std::uint64_t>(net.places()));
        return {net.place_names[p], [p](const testsupport::Marking& m) { return m[p] > 0; }};
    }
    if (k == 1) {
        RandomFormula f = random_formula(rng, net, depth - 1);
        auto h = f.holds;
        return {"-" + f.text, [h](const testsupport::Marking& m) { return !h(m); }};
    }
    RandomFormula l = random_formula(rng, net, depth - 1);
    RandomFormula r = random_formula(rng, net, depth - 1);
    auto lh = l.holds, rh = r.holds;
    if (k == 2)
        return {"(" + l.text + " * " + r.text + ")",
                [lh, rh](const testsupport::Marking& m) { return lh(m) && rh(m); }};
    return {"(" + l.text + " + " + r.text + ")",
            [lh, rh](const testsupport::Marking& m) { return lh(m) || rh(m); }};
}

struct Verdict {
    bool ok = false;
    bool answer = false;
    bool witness = false;
    BITARRAY config;
};

Verdict check_formula(BraProcess& bp, const std::string& text, int level, bool lookahead) {
    Verdict v;
    std::FILE* f = std::tmpfile();
    std::fputs(text.c_str(), f);
    std::rewind(f);
    FormulaTree tree;
    const ParseResult r = ParseFormula(f, bp, tree, null_out());
    std::fclose(f);
    if (!r.ok || !IsSimpleReachability(tree)) return v;
    TreeOptimize(tree);
    EvaluatePlacesInInitialState(tree, bp);
    TreeOptimize(tree);
    Unf2Velt u(bp);
    u.SetOptimizationLevel(level);
    bool negated = false;
    const bool decided = u.CreateReachabilityProgram(tree, false, negated);
    v.ok = true;
    if (decided) {
        v.answer = !negated;
        v.witness = u.has_witness();
    } else if (u.SolveProgram(lookahead)) {
        v.answer = !negated;
        u.ModelToConfiguration();
        v.witness = true;
    } else {
        v.answer = negated;
    }
    v.config = u.witness();
    return v;
}

TEST(ReachabilityProgram, RandomFormulasAgreeWithExplorer) {
    int checked = 0, reachable = 0;
    const auto params = shapes();
    for (std::uint64_t seed = 1; seed <= 60; ++seed) {
        const auto& prm = params[seed % params.size()];
        const testsupport::TestNet net = testsupport::random_safe_net(seed + 1000, prm);
        const testsupport::StateSpace ss = testsupport::explore(net, 5000);
        if (!ss.complete) continue;
        const minitest::MiniPrefix pf = minitest::unfold(net, true, 600);
        if (!pf.complete) continue;
        BraProcess bp;
        ASSERT_TRUE(load(net, pf, bp));
        std::mt19937_64 rng(seed);
        for (int i = 0; i < 6; ++i) {
            const RandomFormula phi = random_formula(rng, net, 1 + static_cast<int>(rng() % 3));
            const bool negate = rng() % 3 == 0;
            const std::string text = (negate ? "-^" : "^") + phi.text + (seed % 2 ? " ." : "");
            const bool reach = testsupport::reachable(ss, phi.holds);
            const bool expected = negate ? !reach : reach;
            reachable += reach;
            ++checked;
            for (int level = 0; level <= 3; ++level) {
                for (bool lookahead : {true, false}) {
                    if (level % 2 == 1 && !lookahead) continue;
                    const Verdict v = check_formula(bp, text, level, lookahead);
                    ASSERT_TRUE(v.ok) << text;
                    ASSERT_EQ(v.answer, expected)
                        << "seed " << seed << " " << text << " level " << level << " lookahead " << lookahead;
                    if (v.witness && reach) {
                        const auto m = replay_config(net, bp, v.config);
                        ASSERT_TRUE(m.has_value()) << text;
                        EXPECT_TRUE(phi.holds(*m)) << "seed " << seed << " " << text;
                    }
                }
            }
        }
    }
    EXPECT_GT(checked, 200);
    EXPECT_GT(reachable, 40);
    EXPECT_LT(reachable, checked - 40);
}

}  // namespace
