#include "petri_test.h"
#include "prefix_support.h"

#include <gtest/gtest.h>

#include <set>

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

// t1 takes 2 tokens from p1 and gives p2 one, t2 takes one from p2 and gives
// p1 two: from {4,0} the markings {2,1} and {0,2} are reached, and from
// {1,0} nothing fires.
TEST(Explorer, ArcWeights) {
    TestNet n;
    n.place_names = {"p1", "p2"};
    n.trans_names = {"t1", "t2"};
    n.pre = {{0}, {1}};
    n.post = {{1}, {0}};
    n.pre_weight = {{2}};      // t2's list is missing: weight 1
    n.post_weight = {{}, {2}};  // t1's list is shorter: weight 1
    n.m0 = {4, 0};
    StateSpace ss = explore(n);
    std::set<Marking> got(ss.states.begin(), ss.states.end());
    EXPECT_EQ(got, (std::set<Marking>{{4, 0}, {2, 1}, {0, 2}}));
    EXPECT_FALSE(has_deadlock(ss));
    EXPECT_FALSE(ss.safe);
    n.m0 = {1, 0};
    EXPECT_TRUE(has_deadlock(explore(n)));

    // Weights survive the VOS text.
    auto back = parse_vos(to_vos(n));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pre_w(0, 0), 2);
    EXPECT_EQ(back->post_w(1, 0), 2);
    EXPECT_EQ(back->post_w(0, 0), 1);
    EXPECT_EQ(to_vos(*back), to_vos(n));
}

TEST(VosReader, RoundTripOfRandomNets) {
    RandomNetParams p;
    p.general = true;
    for (std::uint64_t seed = 1; seed <= 10; ++seed) {
        TestNet a = random_safe_net(seed, p);
        std::string error;
        auto b = parse_vos(to_vos(a), &error);
        ASSERT_TRUE(b) << error;
        EXPECT_EQ(to_vos(*b), to_vos(a));
    }
}

// A PetriBox net as flatnet writes it: identifiers, positions, entry and
// exit places, labels with quotes and line breaks, repeated arcs that add
// up, and the phantom sections that the low-level net leaves out.
TEST(VosReader, PetriBoxAsTrelmikMarksIt) {
    const std::string text =
        "VOS\nPetriBox\nFORMAT_N2\nDPL s7n10@-9t2\nDTR s7n10@-9t2\nDPT w1t1\n"
        "BL\n1\"b1\"\n"
        "PL\n"
        "\"P1\"100@-100eb'say \"hi\"'\n"
        "\"P2\"0@0M2b\"two\nlines\"\n"
        "% a comment line\n"
        "\"P3\"0@0xM1\n"
        "4 0@0 M1z\"{dot}\"\n"
        "TR\n\"T1\"0@0SP\"(1)\"\n\"T2\"0@0\n"
        "PTR\n\"PT1\"0@0P\"(1)\"\n"
        "TP\n1<2w3\n1<2\n2<3\n"
        "PT\n1>1v4\n2>2w2\n"
        "PTP\n1<4\nPPT\n4>1\n";
    std::string error;
    auto n = parse_vos(text, &error);
    ASSERT_TRUE(n) << error;
    EXPECT_EQ(n->place_names, (std::vector<std::string>{"P1", "P2", "P3", "PL4"}));
    EXPECT_EQ(n->trans_names, (std::vector<std::string>{"T1", "T2"}));
    EXPECT_EQ(n->m0, (std::vector<int>{1, 2, 1, 0}));
    EXPECT_EQ(n->post[0], std::vector<int>{1});
    EXPECT_EQ(n->post_w(0, 0), 4);
    EXPECT_EQ(n->pre[1], std::vector<int>{1});
    EXPECT_EQ(n->pre_w(1, 0), 2);

    // In a PlainNet the entry flag does not mark a place.
    std::string plain = text;
    plain.replace(plain.find("PetriBox"), 8, "PlainNet");
    EXPECT_EQ(parse_vos(plain)->m0, (std::vector<int>{0, 2, 1, 1}));
}

TEST(VosReader, RejectsMalformedText) {
    const std::string head = "VOS\nPlainNet\nFORMAT_N\nPL\n\"a\"\nTR\n\"t\"\n";
    for (const auto& [text, want] : std::vector<std::pair<std::string, std::string>>{
             {"VOZ\n", "keyword 'VOS' expected"},
             {"VOS\nNet\nFORMAT_N\n", "unknown format identifier 'Net'"},
             {head + "TP\n1<2\n", "arc: incorrect place identifier"},
             {head + "TP\n1>1\n", "'<' expected"},
             {head + "PT\n1>1\"x\n", "unterminated string"},
             {"VOS\nPlainNet\nFORMAT_N\nPL\n1\n1\n", "identifier 1 used twice"},
         }) {
        std::string error;
        EXPECT_FALSE(parse_vos(text, &error)) << text;
        EXPECT_NE(error.find(want), std::string::npos) << error;
    }
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
