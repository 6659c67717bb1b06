// Generation through PtFollowers against the explicit explorer on random
// nets with weights, test arcs and double arcs: the stored graph, read byte
// by byte, must be the explorer's state space.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "enginetest.h"

using namespace enginetest;
using testsupport::Marking;

namespace {

// Slots behind the net's places (a tester place's instances), dropped when
// the node contents are compared with the explorer's markings.
int extraSlots = 0;
// The graph at hand was built by the generated successor function.
bool statePath = false;

Marking Mark(const std::string& contents, int places) {
    if (statePath)
        return DecodeState(contents, places);
    Marking m = Decode(contents, places + extraSlots);
    if (m.size() == static_cast<std::size_t>(places + extraSlots))
        m.resize(places);
    return m;
}

// What every graph must satisfy whatever the reduction: node contents are
// reachable markings, stored once; every arrow's label fires from its
// source to its target; the predecessor chains list exactly the arrows that
// enter each node; the terminal chain lists exactly the nodes recorded
// without arrows.
void CheckSound(const testsupport::TestNet& net, const RawGraph& g, const std::set<Marking>& reachable) {
    std::map<Marking, std::size_t> seen;
    std::map<std::uint32_t, std::set<std::uint32_t>> entering;  // node address -> arrow addresses
    for (const RawNode& n : g.nodes) {
        Marking m = Mark(n.contents, net.places());
        ASSERT_EQ(m.size(), static_cast<std::size_t>(net.places())) << "undecodable node " << n.ordinal;
        EXPECT_TRUE(reachable.count(m)) << "node " << n.ordinal << " is not reachable";
        EXPECT_TRUE(seen.emplace(m, n.ordinal).second) << "node " << n.ordinal << " stored twice";
        EXPECT_NE(n.count, 0xFFFFFFFFu) << "node " << n.ordinal << " was never expanded";
        for (const RawArrow& a : n.arrows) {
            EXPECT_EQ(a.source, n.address);
            ASSERT_TRUE(g.byAddress.count(a.target)) << "arrow into no node";
            Marking at = m;
            for (std::uint32_t t : LabelValues(a.label)) {
                ASSERT_LT(t, static_cast<std::uint32_t>(net.transitions()));
                ASSERT_TRUE(testsupport::enabled(net, at, static_cast<int>(t)))
                    << "label of an arrow of node " << n.ordinal << " fires a disabled transition";
                at = testsupport::fire(net, at, static_cast<int>(t));
            }
            EXPECT_EQ(at, Mark(g.nodes[g.byAddress.at(a.target)].contents, net.places()));
            entering[a.target].insert(a.address);
        }
    }
    std::map<std::uint32_t, const RawArrow*> arrows;
    for (const RawNode& n : g.nodes)
        for (const RawArrow& a : n.arrows)
            arrows[a.address] = &a;
    for (const RawNode& n : g.nodes) {
        std::set<std::uint32_t> chain;
        for (std::uint32_t aw = n.predecessor; aw != 0xFFFFFFFFu;) {
            ASSERT_TRUE(arrows.count(aw)) << "predecessor chain of node " << n.ordinal << " leaves the arrows";
            ASSERT_TRUE(chain.insert(aw).second) << "predecessor chain of node " << n.ordinal << " loops";
            EXPECT_EQ(arrows[aw]->target, n.address);
            aw = arrows[aw]->previous;
        }
        EXPECT_EQ(chain, entering[n.address]) << "predecessors of node " << n.ordinal;
    }
    // Terminal: recorded without arrows and dead (with sleep sets a node
    // whose transitions all sleep has no arrows either, but is not dead).
    std::set<std::uint32_t> terminal(g.terminal.begin(), g.terminal.end());
    EXPECT_EQ(terminal.size(), g.terminal.size()) << "a node twice on the terminal chain";
    for (const RawNode& n : g.nodes) {
        bool dead = testsupport::is_dead(net, Mark(n.contents, net.places()));
        EXPECT_EQ(terminal.count(n.ordinal) != 0, n.count == 0 && dead) << "node " << n.ordinal;
    }
    EXPECT_EQ(g.header[1], g.nodes.size());
}

std::set<Marking> States(const testsupport::StateSpace& ss) { return {ss.states.begin(), ss.states.end()}; }

std::set<Marking> Dead(const testsupport::StateSpace& ss) {
    std::set<Marking> dead;
    for (int i : testsupport::dead_states(ss))
        dead.insert(ss.states[i]);
    return dead;
}

std::set<Marking> Terminal(const testsupport::TestNet& net, const RawGraph& g) {
    std::set<Marking> markings;
    for (std::uint32_t o : g.terminal)
        markings.insert(Mark(g.nodes[o].contents, net.places()));
    return markings;
}

class EngineRandomNets : public ::testing::TestWithParam<int> {};

// Full generation: exactly the explorer's markings, one arrow per enabled
// transition and marking, the dead markings as the terminal nodes; the same
// through memory copies, through the files themselves, with chained arrows,
// with a single hash slot, and through the successor function of the
// net's code.
TEST_P(EngineRandomNets, FullGenerationIsTheExplorersStateSpace) {
    const std::vector<std::vector<std::string>> variants = {
        {"-i", "-m", "100000"}, {"-i", "-m", "0"}, {"-i", "-f", "-m", "300"}, {"-i", "-h", "1"}, {"-m", "100000"}};
    for (int k = 0; k < 12; ++k) {
        std::uint64_t seed = static_cast<std::uint64_t>(GetParam()) * 12 + k;
        testsupport::TestNet net = RandomNet(seed);
        testsupport::StateSpace ss = testsupport::explore(net);
        const auto& options = variants[seed % variants.size()];
        SCOPED_TRACE("seed " + std::to_string(seed) + " options " + options[1]);
        testsupport::TempDir dir;
        Generate(ptnet::FromTestNet(net), dir.file("x"), options);
        RawGraph g = ReadRaw(dir.file("x"));
        ASSERT_TRUE(g.ok) << g.error;
        statePath = g.header[11] == 0;
        CheckSound(net, g, States(ss));
        std::set<Marking> nodes;
        std::size_t arrows = 0;
        for (const RawNode& n : g.nodes) {
            Marking m = Mark(n.contents, net.places());
            nodes.insert(m);
            std::set<std::uint32_t> fired;
            for (const RawArrow& a : n.arrows) {
                ASSERT_EQ(LabelValues(a.label).size(), 1u);
                EXPECT_TRUE(fired.insert(LabelValues(a.label)[0]).second);
                EXPECT_TRUE(a.visible());
            }
            std::set<std::uint32_t> enabled;
            for (int t = 0; t < net.transitions(); ++t)
                if (testsupport::enabled(net, m, t))
                    enabled.insert(static_cast<std::uint32_t>(t));
            EXPECT_EQ(fired, enabled) << "node " << n.ordinal;
            arrows += n.arrows.size();
        }
        EXPECT_EQ(nodes, States(ss));
        EXPECT_EQ(Mark(g.nodes[0].contents, net.places()), net.m0);
        EXPECT_EQ(Terminal(net, g), Dead(ss));
        EXPECT_EQ(g.header[2], arrows);
        EXPECT_EQ(g.header[8], g.header[1]);
        EXPECT_FALSE(testsupport::read_file(dir.file("x.hsh")).size() > 0) << "a complete graph keeps no hash";
    }
    statePath = false;
}

// Sleep sets keep every node and every deadlock, with fewer arrows; also
// beside a tester whose conditions are never met (every enabled transition
// then fires, each successor with an empty sleep set).
TEST_P(EngineRandomNets, SleepSetsKeepNodesAndDeadlocks) {
    for (int k = 0; k < 10; ++k) {
        std::uint64_t seed = 1000 + static_cast<std::uint64_t>(GetParam()) * 10 + k;
        testsupport::TestNet net = RandomNet(seed);
        testsupport::StateSpace ss = testsupport::explore(net);
        SCOPED_TRACE("seed " + std::to_string(seed));
        testsupport::TempDir dir;
        ptnet::Net described = ptnet::FromTestNet(net);
        extraSlots = 0;
        if (k % 2 == 1) {
            described.places.push_back({"tester", 1, {{0, 1}}});
            described.tester = net.places();
            described.testerBits = {{5, 2}};
            extraSlots = 2;
        }
        Generate(described, dir.file("x"), {"-l"});
        RawGraph g = ReadRaw(dir.file("x"));
        ASSERT_TRUE(g.ok) << g.error;
        CheckSound(net, g, States(ss));
        std::set<Marking> nodes;
        std::size_t arrows = 0;
        for (const RawNode& n : g.nodes) {
            nodes.insert(Mark(n.contents, net.places()));
            arrows += n.arrows.size();
        }
        std::size_t full = 0;
        for (const auto& succ : ss.succ)
            full += succ.size();
        EXPECT_EQ(nodes, States(ss));
        EXPECT_EQ(Terminal(net, g), Dead(ss));
        EXPECT_LE(arrows, full);
        EXPECT_EQ(g.header[0] & 0x880u, 0x880u) << "sleep sets chain the arrows";
        EXPECT_EQ(g.header[18], 0xFFFFFFFFu) << "the stack has run empty";
        EXPECT_EQ(g.header[19], 0u);
    }
    extraSlots = 0;
}

// Elimination: every arrow's label replays from its source to its target,
// every marking that is not forced (one enabled transition, invisible) is a
// node, and the terminal nodes are the dead markings.
TEST_P(EngineRandomNets, EliminationCollapsesForcedInvisibleSteps) {
    for (int k = 0; k < 10; ++k) {
        std::uint64_t seed = 2000 + static_cast<std::uint64_t>(GetParam()) * 10 + k;
        testsupport::TestNet net = RandomNet(seed);
        testsupport::StateSpace ss = testsupport::explore(net);
        std::vector<bool> visible;
        for (int t = 0; t < net.transitions(); ++t)
            visible.push_back((seed + t) % 3 == 0);
        SCOPED_TRACE("seed " + std::to_string(seed));
        testsupport::TempDir dir;
        Generate(ptnet::FromTestNet(net, visible), dir.file("x"), {"-e"});
        RawGraph g = ReadRaw(dir.file("x"));
        ASSERT_TRUE(g.ok) << g.error;
        CheckSound(net, g, States(ss));
        std::set<Marking> nodes;
        for (const RawNode& n : g.nodes) {
            nodes.insert(Mark(n.contents, net.places()));
            for (const RawArrow& a : n.arrows)
                EXPECT_EQ(a.visible(), visible[LabelValues(a.label)[0]]);
        }
        for (const Marking& m : ss.states) {
            int enabled = 0, invisible = 0;
            for (int t = 0; t < net.transitions(); ++t)
                if (testsupport::enabled(net, m, t)) {
                    ++enabled;
                    invisible += visible[t] ? 0 : 1;
                }
            if (!(enabled == 1 && invisible == 1)) {
                EXPECT_TRUE(nodes.count(m)) << "a marking that is not forced is missing";
            }
        }
        EXPECT_EQ(Terminal(net, g), Dead(ss));
        EXPECT_EQ(g.header[8], g.header[1]);
    }
}

// N independent chains of k transitions each, every chain's first place
// marked.
testsupport::TestNet Chains(int n, int k) {
    testsupport::TestNet net;
    for (int c = 0; c < n; ++c)
        for (int i = 0; i <= k; ++i) {
            net.place_names.push_back("c" + std::to_string(c) + "_" + std::to_string(i));
            net.m0.push_back(i == 0 ? 1 : 0);
        }
    for (int c = 0; c < n; ++c)
        for (int i = 0; i < k; ++i) {
            int from = c * (k + 1) + i;
            net.trans_names.push_back("t" + std::to_string(c) + "_" + std::to_string(i));
            net.pre.push_back({from});
            net.post.push_back({from + 1});
            net.pre_weight.push_back({1});
            net.post_weight.push_back({1});
        }
    return net;
}

std::size_t Arrows(const RawGraph& g) {
    std::size_t arrows = 0;
    for (const RawNode& n : g.nodes)
        arrows += n.arrows.size();
    return arrows;
}

// The options of the stubborn-set modes: the incremental algorithm plain,
// lazy, with a random start (several seeds), a random disabling place, all
// of them; the deletion algorithm plain, in random order, with the
// exhaustive pass.
const std::vector<std::vector<std::string>> kStubbornModes = {
    {"-s"}, {"-s", "-L"}, {"-s", "-R", "-r", "7"}, {"-s", "-R", "-r", "123456"}, {"-s", "-P", "-r", "3"},
    {"-s", "-L", "-R", "-P", "-r", "99"}, {"-D"}, {"-D", "-R", "-r", "11"}, {"-D", "-R", "-r", "424242"},
    {"-T"}, {"-T", "-R", "-r", "8"}};

// Independent chains: the full graph is the product of the chains, the
// reduced one a single interleaving whatever the mode and the seed.
TEST(StubbornSets, IndependentChainsGiveOneInterleaving) {
    const struct {
        int n, k;
    } sizes[] = {{1, 3}, {2, 2}, {3, 2}, {3, 3}, {4, 1}};
    for (const auto& size : sizes) {
        testsupport::TestNet net = Chains(size.n, size.k);
        SCOPED_TRACE(std::to_string(size.n) + " chains of " + std::to_string(size.k));
        testsupport::TempDir dir;
        Generate(ptnet::FromTestNet(net), dir.file("full"), {"-i"});
        RawGraph full = ReadRaw(dir.file("full"));
        ASSERT_TRUE(full.ok) << full.error;
        std::size_t product = 1;
        for (int c = 0; c < size.n; ++c)
            product *= static_cast<std::size_t>(size.k + 1);
        EXPECT_EQ(full.nodes.size(), product);
        for (const auto& mode : kStubbornModes) {
            SCOPED_TRACE(mode.size() > 1 ? mode[1] + (mode.size() > 2 ? mode.back() : "") : mode[0]);
            Generate(ptnet::FromTestNet(net), dir.file("x"), mode);
            RawGraph g = ReadRaw(dir.file("x"));
            ASSERT_TRUE(g.ok) << g.error;
            testsupport::StateSpace ss = testsupport::explore(net);
            CheckSound(net, g, States(ss));
            EXPECT_EQ(g.nodes.size(), static_cast<std::size_t>(size.n * size.k + 1));
            EXPECT_EQ(Arrows(g), static_cast<std::size_t>(size.n * size.k));
            EXPECT_EQ(g.terminal.size(), 1u);
            EXPECT_EQ(Terminal(net, g), Dead(ss));
        }
    }
}

// A conflict p0 -> p1 | p0 -> p2 beside an independent q0 -> q1: both
// branches of the conflict stay, the independent step is taken once per
// branch.
TEST(StubbornSets, ConflictBesideAnIndependentStep) {
    testsupport::TestNet net;
    net.place_names = {"p0", "p1", "p2", "q0", "q1"};
    net.m0 = {1, 0, 0, 1, 0};
    net.trans_names = {"a", "b", "c"};
    net.pre = {{0}, {0}, {3}};
    net.post = {{1}, {2}, {4}};
    net.pre_weight = {{1}, {1}, {1}};
    net.post_weight = {{1}, {1}, {1}};
    testsupport::StateSpace ss = testsupport::explore(net);
    testsupport::TempDir dir;
    Generate(ptnet::FromTestNet(net), dir.file("full"), {"-i"});
    RawGraph full = ReadRaw(dir.file("full"));
    ASSERT_TRUE(full.ok) << full.error;
    EXPECT_EQ(full.nodes.size(), 6u);
    for (const auto& mode : kStubbornModes) {
        SCOPED_TRACE(mode.back());
        Generate(ptnet::FromTestNet(net), dir.file("x"), mode);
        RawGraph g = ReadRaw(dir.file("x"));
        ASSERT_TRUE(g.ok) << g.error;
        CheckSound(net, g, States(ss));
        // The lazy mode takes the first acceptable component: from the
        // conflict's side that is both branches with q0 -> q1 left over
        // (a random start may begin at q0 -> q1).  The deletion algorithm in
        // random order may delete q0 -> q1 first and keep the conflict; the
        // exhaustive pass finds the smaller set.
        auto has = [&mode](const char* option) { return std::find(mode.begin(), mode.end(), option) != mode.end(); };
        if (has("-L") || (has("-D") && has("-R"))) {
            EXPECT_EQ(Arrows(g) + 1, g.nodes.size());
            EXPECT_TRUE(g.nodes.size() == 4u || g.nodes.size() == 5u) << g.nodes.size();
        } else {
            EXPECT_EQ(g.nodes.size(), 4u);
            EXPECT_EQ(Arrows(g), 3u);
        }
        EXPECT_EQ(Terminal(net, g), (std::set<Marking>{{0, 1, 0, 0, 1}, {0, 0, 1, 0, 1}}));
    }
}

// Stubborn sets on random nets in every mode of the incremental algorithm
// (also under sleep sets): the terminal nodes are exactly the dead markings
// of the full state space, and no count exceeds the full one.
TEST_P(EngineRandomNets, StubbornSetsKeepTheDeadMarkings) {
    std::vector<std::vector<std::string>> modes = kStubbornModes;
    modes.push_back({"-s", "-l"});
    modes.push_back({"-s", "-l", "-R", "-r", "5"});
    modes.push_back({"-D", "-l"});
    std::vector<std::size_t> nodes(modes.size(), 0);
    std::size_t fullNodes = 0;
    for (int k = 0; k < 16; ++k) {
        std::uint64_t seed = 3000 + static_cast<std::uint64_t>(GetParam()) * 16 + k;
        testsupport::TestNet net = RandomNet(seed);
        testsupport::StateSpace ss = testsupport::explore(net);
        std::size_t full = 0;
        for (const auto& succ : ss.succ)
            full += succ.size();
        // Every fourth net beside a tester whose conditions are never met,
        // with some transitions invisible: the reductions then keep every
        // visible transition.
        ptnet::Net described = ptnet::FromTestNet(net);
        extraSlots = 0;
        if (k % 4 == 3) {
            std::vector<bool> visible;
            for (int t = 0; t < net.transitions(); ++t)
                visible.push_back((seed + t) % 3 == 0);
            described = ptnet::FromTestNet(net, visible);
            described.places.push_back({"tester", 1, {{0, 1}}});
            described.tester = net.places();
            described.testerBits = {{5, 2}};
            extraSlots = 2;
        } else {
            fullNodes += ss.states.size();
        }
        for (std::size_t m = 0; m < modes.size(); ++m) {
            std::vector<std::string> options = modes[m];
            // A seed of its own per net for the random modes.
            if (options.size() > 2 && options[options.size() - 2] == "-r")
                options.back() = std::to_string(seed * 31 + m);
            SCOPED_TRACE("seed " + std::to_string(seed) + " mode " + std::to_string(m));
            testsupport::TempDir dir;
            Generate(described, dir.file("x"), options);
            RawGraph g = ReadRaw(dir.file("x"));
            ASSERT_TRUE(g.ok) << g.error;
            CheckSound(net, g, States(ss));
            EXPECT_EQ(Terminal(net, g), Dead(ss));
            EXPECT_LE(g.nodes.size(), ss.states.size());
            EXPECT_LE(Arrows(g), full);
            EXPECT_EQ(Mark(g.nodes[0].contents, net.places()), net.m0);
            if (k % 4 != 3)
                nodes[m] += g.nodes.size();
        }
    }
    extraSlots = 0;
    // The reductions reduce: over the nets without a tester, each mode but
    // the sleep-set ones stores fewer nodes than full generation.
    for (std::size_t m = 0; m < kStubbornModes.size(); ++m)
        EXPECT_LT(nodes[m], fullNodes) << "mode " << m;
}

INSTANTIATE_TEST_SUITE_P(Seeds, EngineRandomNets, ::testing::Range(0, 4));

}  // namespace
