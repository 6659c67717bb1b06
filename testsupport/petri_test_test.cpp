#include "petri_test.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// p1 -> t1 -> p2, p2 -> t2 -> p1, p3 -> t3 (no output): t3 kills the only
// token of p3; from the start both cycles and the sink are reachable.
TestNet small_net() {
    TestNet n;
    n.place_names = {"p1", "p2", "p3"};
    n.trans_names = {"t1", "t2", "t3"};
    n.pre = {{0}, {1}, {0, 2}};
    n.post = {{1}, {0}, {}};
    n.m0 = {1, 0, 1};
    return n;
}

}  // namespace

TEST(Explorer, ReachableAndDeadMarkings) {
    TestNet n = small_net();
    StateSpace ss = explore(n);
    EXPECT_TRUE(ss.safe);
    EXPECT_TRUE(ss.complete);
    EXPECT_EQ(ss.states.size(), 3u);  // {p1,p3}, {p2,p3}, {}
    ASSERT_TRUE(has_deadlock(ss));
    auto path = path_to(ss, [&](const Marking& m) { return is_dead(n, m); });
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, std::vector<int>{2});
    EXPECT_TRUE(coverable(ss, {1, 2}));
    EXPECT_FALSE(coverable(ss, {0, 1}));
    EXPECT_FALSE(replay(n, {1}));
    EXPECT_EQ(*replay_names(n, {"t1", "t2"}), n.m0);
}

TEST(Explorer, DetectsUnsafeNet) {
    TestNet n = small_net();
    n.post[0] = {1, 2};  // t1 adds a second token to p3
    EXPECT_FALSE(explore(n).safe);
}

TEST(RandomNets, SeededAndSafe) {
    for (bool general : {false, true}) {
        RandomNetParams p;
        p.general = general;
        for (std::uint64_t seed = 1; seed <= 30; ++seed) {
            TestNet a = random_safe_net(seed, p), b = random_safe_net(seed, p);
            EXPECT_EQ(to_vos(a), to_vos(b));
            StateSpace ss = explore(a);
            EXPECT_TRUE(ss.safe) << to_vos(a);
        }
    }
}

TEST(Shell, RunCapturesOutputAndExitCode) {
    RunResult r = run("echo out; echo err >&2; exit 7");
    EXPECT_EQ(r.exit_code, 7);
    EXPECT_EQ(r.out, "out\n");
    EXPECT_EQ(r.err, "err\n");
}
