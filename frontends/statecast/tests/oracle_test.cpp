// Random IF systems: statecast's net, expanded by flatnet and explored,
// against a direct interpreter of the systems (if_oracle.h).
#include <gtest/gtest.h>

#include "if_oracle.h"
#include "pipeline.h"

namespace statecast_test {
namespace {

// The net of the system against the interpreter's states and deadlock
// verdict; false when the net's state space was too large to compare.
bool agrees(std::uint64_t seed, const OSystem& sys, const OracleResult& expected) {
    std::string text = if_text(sys);
    auto r = pipeline(text, "-DP2", 400000);
    EXPECT_EQ(r->statecast.exit_code, 0) << "seed " << seed << "\n" << text << r->statecast.err;
    EXPECT_EQ(r->flatnet.exit_code, 0) << "seed " << seed << "\n" << text << r->flatnet.err;
    if (!r->expanded || !r->space.complete) return false;
    EXPECT_TRUE(r->space.safe) << "seed " << seed;
    std::set<std::string> got = net_states(sys, *r);
    EXPECT_EQ(got, expected.states) << "seed " << seed << "\n" << text;
    EXPECT_EQ(testsupport::has_deadlock(r->space), expected.deadlock) << "seed " << seed << "\n" << text;
    return true;
}

class StatecastOracle : public testing::TestWithParam<int> {};

// Outputs straight into the queues.  Three systems per entry, so that each
// entry stays short under the sanitizers; the seeds 0..14 over all entries.
TEST_P(StatecastOracle, NetAgreesWithTheInterpreter) {
    int compared = 0;
    for (int k = 0; k < 3; ++k) {
        std::uint64_t seed = static_cast<std::uint64_t>(GetParam() * 3 + k);
        OSystem sys = random_system(seed);
        OracleResult expected = interpret(sys);
        if (expected.states.size() > 3000) continue;  // keep the explorer small
        if (agrees(seed, sys, expected)) ++compared;
    }
    EXPECT_GE(compared, 2);
}

INSTANTIATE_TEST_SUITE_P(Seeds, StatecastOracle, testing::Range(0, 5));

// Outputs over peer, unicast and multicast routes, also of signals that
// their route was not declared with.  The interpreter picks from the
// entry's seeds one system that reaches an output its route does not carry
// and two that send a signal over a route; only those go through the road.
class StatecastOracleRoutes : public testing::TestWithParam<int> {};

TEST_P(StatecastOracleRoutes, NetAgreesWithTheInterpreter) {
    int undeclared = 0, routed = 0;
    const std::uint64_t first = static_cast<std::uint64_t>(GetParam()) * 1000;
    for (std::uint64_t seed = first; seed < first + 500 && (undeclared < 1 || routed < 2); ++seed) {
        OSystem sys = random_system(seed, true);
        OracleResult expected = interpret(sys);
        if (expected.states.size() > 3000) continue;
        bool wanted = (expected.undeclared && undeclared < 1) || (expected.routed && routed < 2);
        if (!wanted || !agrees(seed, sys, expected)) continue;
        undeclared += expected.undeclared;
        routed += expected.routed;
    }
    EXPECT_GE(undeclared, 1);
    EXPECT_GE(routed, 2);
}

INSTANTIATE_TEST_SUITE_P(Seeds, StatecastOracleRoutes, testing::Range(0, 5));

}  // namespace
}  // namespace statecast_test
