#include "petri_test.h"
#include "prefix_support.h"

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

// The test unfolder and the ".mci" writer.  In small_net() the loop t1 t2
// returns to the initial marking; t3 is in conflict with t1.
namespace {

std::vector<std::uint32_t> post_of(const Prefix& p, std::size_t c) { return p.conds[c].post; }

}  // namespace

TEST(PrefixSupport, UnfoldsBySizeWithCutoffsAndConditionsBehindThem) {
    UnfoldOptions opt;
    opt.maximal_configuration = true;
    const Prefix p = unfold_prefix(small_net(), opt);
    EXPECT_TRUE(p.complete);
    EXPECT_EQ(p.places, small_net().place_names);
    EXPECT_EQ(p.transitions, small_net().trans_names);
    EXPECT_EQ(p.event_trans, (std::vector<std::uint32_t>{1, 3, 2}));
    ASSERT_EQ(p.conds.size(), 4u);
    EXPECT_EQ(p.conds[0].place, 1u);
    EXPECT_EQ(p.conds[0].pre, 0u);
    EXPECT_EQ(post_of(p, 0), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(p.conds[1].place, 3u);
    EXPECT_EQ(post_of(p, 1), (std::vector<std::uint32_t>{2}));
    EXPECT_EQ(p.conds[2].place, 2u);
    EXPECT_EQ(p.conds[2].pre, 1u);
    EXPECT_EQ(post_of(p, 2), (std::vector<std::uint32_t>{3}));
    // The cut-off t2 returns to the initial marking; its output comes last.
    EXPECT_EQ(p.conds[3].place, 1u);
    EXPECT_EQ(p.conds[3].pre, 3u);
    EXPECT_EQ(p.conds[3].kind, 3);
    EXPECT_EQ(p.conds[0].kind, 0);
    EXPECT_EQ(p.cutoffs, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{3, 0}}));
    EXPECT_EQ(p.configs, (std::vector<std::vector<std::uint32_t>>{{1, 3}}));
}

TEST(PrefixSupport, OptionsLimitTheUnfolding) {
    UnfoldOptions opt;
    opt.behind_cutoffs = false;
    Prefix p = unfold_prefix(small_net(), opt);
    EXPECT_TRUE(p.complete);
    EXPECT_EQ(p.conds.size(), 3u);
    EXPECT_TRUE(p.configs.empty());

    opt.max_events = 2;
    p = unfold_prefix(small_net(), opt);
    EXPECT_FALSE(p.complete);
    EXPECT_EQ(p.event_trans.size(), 2u);
}

// "short" reaches d at once, "detour" then "arrive" reach it in two steps:
// "arrive" is a cut-off with "short" as its corresponding event.
TEST(PrefixSupport, CorrespondingEventsHaveSmallerLocalConfigurations) {
    TestNet n;
    n.place_names = {"a", "b", "d"};
    n.trans_names = {"short", "detour", "arrive"};
    n.pre = {{0}, {0}, {1}};
    n.post = {{2}, {1}, {2}};
    n.m0 = {1, 0, 0};
    const Prefix p = unfold_prefix(n);
    ASSERT_TRUE(p.complete);
    EXPECT_EQ(p.event_trans, (std::vector<std::uint32_t>{1, 2, 3}));
    EXPECT_EQ(p.cutoffs, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{3, 1}}));
    // Nothing is appended after a cut-off whose outputs are left out.
    UnfoldOptions opt;
    opt.behind_cutoffs = false;
    EXPECT_EQ(unfold_prefix(n, opt).conds.size(), 3u);
    EXPECT_EQ(p.conds.size(), 4u);
}

TEST(PrefixSupport, MciLayout) {
    Prefix p;
    p.places = {"p", "long_name"};
    p.transitions = {"t"};
    const std::uint32_t e = p.add_event(1);
    p.add_condition(1, 0, {e});
    p.add_condition(2, e);
    p.cutoffs = {{1, 0}};
    p.configs = {{1}};
    std::vector<unsigned char> want;
    for (std::uint32_t w : {2u, 1u, 1u, 1u, 0u, 1u, 0u, 2u, 1u, 0u, 1u, 0u, 0u, 1u, 0u, 0u, 2u, 1u, 9u})
        put_word(want, w);
    for (const char* s : {"p", "long_name", "", "t", ""}) {
        want.insert(want.end(), s, s + std::char_traits<char>::length(s));
        want.push_back(0);
    }
    EXPECT_EQ(mci_bytes(p), want);
    EXPECT_EQ(mci_string(p), std::string(want.begin(), want.end()));
    EXPECT_EQ(want[0], 2);
    EXPECT_EQ(want[3], 0);
}
