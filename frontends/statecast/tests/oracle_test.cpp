// Random IF systems: statecast's net, expanded by flatnet and explored,
// against a direct interpreter of the systems (if_oracle.h).
#include <gtest/gtest.h>

#include "if_oracle.h"
#include "pipeline.h"

namespace statecast_test {
namespace {

class StatecastOracle : public testing::TestWithParam<int> {};

TEST_P(StatecastOracle, NetAgreesWithTheInterpreter) {
    int compared = 0;
    // Three systems per entry, so that each entry stays short under the
    // sanitizers; the seeds 0..14 over all entries.
    for (int k = 0; k < 3; ++k) {
        std::uint64_t seed = static_cast<std::uint64_t>(GetParam() * 3 + k);
        OSystem sys = random_system(seed);
        std::string text = if_text(sys);
        OracleResult expected = interpret(sys);
        if (expected.states.size() > 3000) continue;  // keep the explorer small
        auto r = pipeline(text, "-DP2", 400000);
        ASSERT_EQ(r->statecast.exit_code, 0) << "seed " << seed << "\n" << text << r->statecast.err;
        ASSERT_EQ(r->flatnet.exit_code, 0) << "seed " << seed << "\n" << text << r->flatnet.err;
        if (!r->space.complete) continue;
        EXPECT_TRUE(r->space.safe) << "seed " << seed;
        std::set<std::string> got = net_states(sys, *r);
        EXPECT_EQ(got, expected.states) << "seed " << seed << "\n" << text;
        EXPECT_EQ(testsupport::has_deadlock(r->space), expected.deadlock) << "seed " << seed << "\n" << text;
        ++compared;
    }
    EXPECT_GE(compared, 2);
}

INSTANTIATE_TEST_SUITE_P(Seeds, StatecastOracle, testing::Range(0, 5));

}  // namespace
}  // namespace statecast_test
