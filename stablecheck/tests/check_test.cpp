// The deadlock and reachability translations against the explicit-state
// explorer on random 1-safe nets, unfolded by the test-only unfolder.
#include "bra_process.h"
#include "formula.h"
#include "check_helpers.h"
#include "petri_test.h"
#include "prefix_support.h"
#include "unf2velt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>

using namespace velcheck;

namespace {

bool load(const testsupport::Prefix& pf, BraProcess& bp) {
    std::string error;
    const bool ok = bp.ReadPrefixBytes(testsupport::mci_bytes(pf), error);
    EXPECT_TRUE(ok) << error;
    return ok;
}

// The prefix of a small net, with or without the conditions behind cut-offs.
testsupport::Prefix unfold(const testsupport::TestNet& net, bool behind_cutoffs) {
    testsupport::UnfoldOptions opt;
    opt.behind_cutoffs = behind_cutoffs;
    opt.max_events = 600;
    return testsupport::unfold_prefix(net, opt);
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

TEST(VelcheckDeadlockProgram, AgreesWithExplorerAtEveryLevel) {
    int checked = 0, deadlocks = 0;
    const auto params = shapes();
    for (std::uint64_t seed = 1; seed <= 160; ++seed) {
        const auto& prm = params[seed % params.size()];
        const testsupport::TestNet net = testsupport::random_safe_net(seed, prm);
        const testsupport::StateSpace ss = testsupport::explore(net, 5000);
        if (!ss.complete) continue;
        const testsupport::Prefix pf = unfold(net, seed % 2 == 0);
        if (!pf.complete) continue;
        const bool expected = testsupport::has_deadlock(ss);
        ++checked;
        deadlocks += expected;
        for (int level = 0; level <= 3; ++level) {
            for (bool lookahead : {true, false}) {
                BraProcess bp;
                ASSERT_TRUE(load(pf, bp));
                const minitest::DeadlockResult r = minitest::check_deadlock(bp, net, level, lookahead);
                if (r.every) {
                    // The prefix is the whole behaviour: every run ends dead.
                    EXPECT_TRUE(expected) << "seed " << seed;
                    continue;
                }
                ASSERT_EQ(r.found, expected) << "seed " << seed << " level " << level << " lookahead "
                                             << lookahead;
                if (r.found) {
                    EXPECT_TRUE(r.witness_ok) << "seed " << seed << " level " << level;
                }
            }
        }
    }
    EXPECT_GT(checked, 80);
    EXPECT_GT(deadlocks, 10);
    EXPECT_LT(deadlocks, checked);
}

TEST(VelcheckReachabilityProgram, RandomFormulasAgreeWithExplorer) {
    int checked = 0, reachable = 0;
    const auto params = shapes();
    for (std::uint64_t seed = 1; seed <= 60; ++seed) {
        const auto& prm = params[seed % params.size()];
        const testsupport::TestNet net = testsupport::random_safe_net(seed + 1000, prm);
        const testsupport::StateSpace ss = testsupport::explore(net, 5000);
        if (!ss.complete) continue;
        const testsupport::Prefix pf = unfold(net, true);
        if (!pf.complete) continue;
        BraProcess bp;
        ASSERT_TRUE(load(pf, bp));
        std::mt19937_64 rng(seed);
        std::vector<int> places;
        for (int p = 0; p < net.places(); ++p) places.push_back(p);
        for (int i = 0; i < 6; ++i) {
            const minitest::RandomFormula phi = minitest::random_formula(rng, net, places, 1 + static_cast<int>(rng() % 3));
            const bool negate = rng() % 3 == 0;
            const std::string text = (negate ? "-^" : "^") + phi.text + (seed % 2 ? " ." : "");
            const bool reach = testsupport::reachable(ss, phi.holds);
            const bool expected = negate ? !reach : reach;
            reachable += reach;
            ++checked;
            for (int level = 0; level <= 3; ++level) {
                for (bool lookahead : {true, false}) {
                    if (level % 2 == 1 && !lookahead) continue;
                    const minitest::Verdict v = minitest::check_formula(bp, text, level, lookahead);
                    ASSERT_TRUE(v.ok) << text;
                    ASSERT_EQ(v.answer, expected)
                        << "seed " << seed << " " << text << " level " << level << " lookahead " << lookahead;
                    if (v.witness && reach) {
                        const auto m = minitest::replay_config(net, bp, v.config);
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
