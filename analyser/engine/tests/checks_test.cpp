// The checks made while the graph is generated: livelocks of the tester,
// illegal infinite paths (an accepting cycle of the tester's infinite
// condition), and the CFFD-preserving reduction, each against an explicit
// computation on the explorer's state space or on the product of the net
// with its tester.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "enginetest.h"

using namespace enginetest;
using testsupport::Marking;

namespace {

// A tester beside a net: its place holds one token whose value moves on the
// visible transitions; moves[t][v] lists the values a visible transition t
// may lead to from value v (none: t cannot occur there).  bits[v] are the
// conditions of value v (4 livelock, 8 infinite).
struct Tester {
    std::vector<std::vector<std::vector<int>>> moves;
    std::map<int, unsigned> bits;
};

// The described net: the net's transitions, each visible one once per
// move of the tester.
ptnet::Net WithTester(const testsupport::TestNet& net, const std::vector<bool>& visible, const Tester& tester) {
    ptnet::Net plain = ptnet::FromTestNet(net, visible);
    ptnet::Net described = plain;
    described.transitions.clear();
    const int place = net.places();
    for (int t = 0; t < net.transitions(); ++t) {
        if (!visible[t]) {
            described.transitions.push_back(plain.transitions[t]);
            continue;
        }
        for (std::size_t v = 0; v < tester.moves[t].size(); ++v)
            for (int w : tester.moves[t][v]) {
                ptnet::Transition copy = plain.transitions[t];
                copy.name += "_" + std::to_string(v) + "_" + std::to_string(w);
                copy.in.push_back({place, 1, static_cast<std::int32_t>(v)});
                copy.out.push_back({place, 1, static_cast<std::int32_t>(w)});
                described.transitions.push_back(copy);
            }
    }
    described.places.push_back({"tester", 1, {{0, 1}}});
    described.tester = place;
    for (const auto& [value, bits] : tester.bits)
        described.testerBits[value] = bits;
    return described;
}

// The product's state space, explored directly: (marking, tester value).
struct Product {
    std::vector<std::pair<Marking, int>> states;
    // (target, visible) per state
    std::vector<std::vector<std::pair<int, bool>>> succ;
};

Product Explore(const testsupport::TestNet& net, const std::vector<bool>& visible, const Tester& tester) {
    Product p;
    std::map<std::pair<Marking, int>, int> index;
    auto add = [&](const std::pair<Marking, int>& s) {
        auto [it, fresh] = index.emplace(s, static_cast<int>(p.states.size()));
        if (fresh) {
            p.states.push_back(s);
            p.succ.emplace_back();
        }
        return it->second;
    };
    add({net.m0, 0});
    for (std::size_t k = 0; k < p.states.size(); ++k) {
        const auto state = p.states[k];
        for (int t = 0; t < net.transitions(); ++t) {
            if (!testsupport::enabled(net, state.first, t))
                continue;
            Marking next = testsupport::fire(net, state.first, t);
            if (!visible[t]) {
                int target = add({next, state.second});
                p.succ[k].push_back({target, false});
                continue;
            }
            for (int w : tester.moves[t][state.second]) {
                int target = add({next, w});
                p.succ[k].push_back({target, true});
            }
        }
    }
    return p;
}

// Strongly connected components (iterative Tarjan) of a graph given by
// successor lists filtered by keep(visible).
std::vector<int> Components(const std::vector<std::vector<std::pair<int, bool>>>& succ,
                            const std::function<bool(bool)>& keep) {
    const int n = static_cast<int>(succ.size());
    std::vector<int> comp(n, -1), low(n, 0), num(n, -1), stack;
    std::vector<bool> on(n, false);
    int counter = 0, comps = 0;
    for (int root = 0; root < n; ++root) {
        if (num[root] >= 0)
            continue;
        std::vector<std::pair<int, std::size_t>> work{{root, 0}};
        num[root] = low[root] = counter++;
        stack.push_back(root);
        on[root] = true;
        while (!work.empty()) {
            auto& [v, i] = work.back();
            if (i < succ[v].size()) {
                auto [w, vis] = succ[v][i++];
                if (!keep(vis))
                    continue;
                if (num[w] < 0) {
                    num[w] = low[w] = counter++;
                    stack.push_back(w);
                    on[w] = true;
                    work.push_back({w, 0});
                } else if (on[w]) {
                    low[v] = std::min(low[v], num[w]);
                }
                continue;
            }
            int done = v;
            work.pop_back();
            if (!work.empty())
                low[work.back().first] = std::min(low[work.back().first], low[done]);
            if (low[done] == num[done]) {
                for (;;) {
                    int w = stack.back();
                    stack.pop_back();
                    on[w] = false;
                    comp[w] = comps;
                    if (w == done)
                        break;
                }
                ++comps;
            }
        }
    }
    return comp;
}

// A reachable state in a livelock state of the tester on a cycle of
// invisible steps.
bool HasLivelock(const Product& p, const Tester& tester) {
    std::vector<int> comp = Components(p.succ, [](bool visible) { return !visible; });
    for (std::size_t s = 0; s < p.states.size(); ++s) {
        auto bits = tester.bits.find(p.states[s].second);
        if (bits == tester.bits.end() || !(bits->second & 4))
            continue;
        for (auto [t, visible] : p.succ[s])
            if (!visible && comp[t] == comp[s])
                return true;
    }
    return false;
}

// A cycle through a visible step that leaves a state of the tester's
// infinite condition.
bool HasAcceptingCycle(const Product& p, const Tester& tester) {
    std::vector<int> comp = Components(p.succ, [](bool) { return true; });
    for (std::size_t s = 0; s < p.states.size(); ++s) {
        auto bits = tester.bits.find(p.states[s].second);
        if (bits == tester.bits.end() || !(bits->second & 8))
            continue;
        for (auto [t, visible] : p.succ[s])
            if (visible && comp[t] == comp[s])
                return true;
    }
    return false;
}

std::uint64_t Next(std::uint64_t* state) {
    *state = *state * 6364136223846793005ULL + 1442695040888963407ULL;
    return *state >> 33;
}

std::vector<bool> Visibility(const testsupport::TestNet& net, std::uint64_t seed) {
    std::vector<bool> visible;
    for (int t = 0; t < net.transitions(); ++t)
        visible.push_back((seed * 7 + static_cast<std::uint64_t>(t) * 5) % 3 != 0);
    return visible;
}

// A random tester of two values: each visible transition moves to one or
// both values, or is blocked, from each value.
Tester RandomTester(const testsupport::TestNet& net, std::uint64_t seed, unsigned condition) {
    Tester tester;
    std::uint64_t state = seed;
    for (int t = 0; t < net.transitions(); ++t) {
        tester.moves.emplace_back(2);
        for (int v = 0; v < 2; ++v) {
            switch (Next(&state) % 5) {
            case 0: break;
            case 1: tester.moves[t][v] = {0, 1}; break;
            case 4: tester.moves[t][v] = {0}; break;
            default: tester.moves[t][v] = {1}; break;
            }
        }
    }
    tester.bits[1] = condition;
    return tester;
}

// Small memory copies and hash for the small graphs of the tests.
const std::string kSmall = " -m 65536 -h 61";

const char kLivelock[] = "\nLivelock reached\n";
const char kInfinite[] = "\nIllegal infinite path found\n";

// A visible p0 -a-> p1, then an invisible b: p1 -> p2 and c back to p1 (or
// on to p3).
TEST(OnTheFlyChecks, LivelockOfAnInvisibleCycle) {
    // The value after a is a livelock state, or also an infinite-path
    // state: the nested search then runs the livelock search from each of
    // its nodes.
    const std::pair<unsigned, bool> cases[] = {{4, true}, {4, false}, {12, true}, {12, false}};
    for (const auto& [bits, cycle] : cases) {
        testsupport::TestNet net;
        net.place_names = {"p0", "p1", "p2", "p3"};
        net.trans_names = {"a", "b", "c"};
        net.pre = {{0}, {1}, {2}};
        net.post = {{1}, {2}, {cycle ? 1 : 3}};
        net.m0 = {1, 0, 0, 0};
        Tester tester;
        tester.moves = {{{1}, {}}, {}, {}};
        tester.bits[1] = bits;
        ptnet::Net described = WithTester(net, {true, false, false}, tester);
        for (const char* args : {"-i", "-i -f", "-s", "-D", "-F", "-i -e"}) {
            // Elimination leaves the infinite-path search out.
            if (bits == 12 && std::string(args) == "-i -e")
                continue;
            SCOPED_TRACE(std::string(cycle ? "cycle " : "no cycle ") + args + " bits " + std::to_string(bits));
            testsupport::TempDir dir;
            ptnet::Write(described, dir.file("x"));
            auto run = Analyser(dir.path(), "x", args + kSmall);
            if (!cycle) {
                EXPECT_EQ(run.exit_code, 0) << run.err;
                EXPECT_EQ(run.out.find("Livelock"), std::string::npos) << run.out;
                EXPECT_FALSE(testsupport::read_file(dir.file("x.err")).size()) << "no error file";
                continue;
            }
            EXPECT_EQ(run.exit_code, 1) << run.err;
            EXPECT_EQ(run.out.rfind(kLivelock, 0), 0u) << run.out << run.err;
            EXPECT_NE(run.out.find("\nLoop "), std::string::npos) << run.out;
            RawGraph g = ReadRaw(dir.file("x"));
            ASSERT_TRUE(g.ok) << g.error;
            EXPECT_TRUE(g.header[0] & 0x1000) << "the illegal path is marked";
            // The error file: (node, arrow) steps of the loop, every node
            // and arrow one of the graph's.
            std::string err = testsupport::read_file(dir.file("x.err"));
            ASSERT_GE(err.size(), 8u);
            std::set<std::uint32_t> nodes, arrows;
            for (const RawNode& n : g.nodes) {
                nodes.insert(n.address);
                for (const RawArrow& a : n.arrows)
                    arrows.insert(a.address);
            }
            auto word = [&err](std::size_t at) {
                std::uint32_t w = 0;
                for (int k = 3; k >= 0; --k)
                    w = w << 8 | static_cast<unsigned char>(err[at + k]);
                return w;
            };
            for (std::size_t at = 0; at + 8 <= err.size(); at += 8) {
                EXPECT_TRUE(nodes.count(word(at))) << "node word at " << at;
                if (word(at + 4) != 0xFFFFFFFFu) {
                    EXPECT_TRUE(arrows.count(word(at + 4))) << "arrow word at " << at;
                }
            }
        }
    }
}

// Random nets with a random two-valued tester: "Livelock reached" exactly
// when the explicit product has a livelock state on an invisible cycle,
// "Illegal infinite path found" exactly when it has a cycle through a
// visible step leaving an infinite state; with and without stubborn sets.
class RandomTesters : public ::testing::TestWithParam<int> {};

TEST_P(RandomTesters, VerdictsOfTheExplicitProduct) {
    const std::vector<std::string> modes = {"-i", "-s", "-D", "-s -L -R -r 3"};
    // Nets taken in seed order as long as each verdict has fewer than half
    // of them, so that both verdicts are checked equally often.
    const int nets = 6;
    int taken[2] = {0, 0};
    std::uint64_t seed = 7100 + static_cast<std::uint64_t>(GetParam()) * 1000;
    for (int k = 0; k < nets && seed < 7100 + static_cast<std::uint64_t>(GetParam() + 1) * 1000; ++seed) {
        testsupport::TestNet net = RandomNet(seed, 6, 6, 120);
        std::vector<bool> visible = Visibility(net, seed);
        unsigned condition = k % 2 == 0 ? 4 : 8;
        Tester tester = RandomTester(net, seed, condition);
        Product product = Explore(net, visible, tester);
        bool expected = condition == 4 ? HasLivelock(product, tester) : HasAcceptingCycle(product, tester);
        if (taken[expected] == nets / 2)
            continue;
        ++taken[expected];
        ++k;
        ptnet::Net described = WithTester(net, visible, tester);
        const std::string further = modes[2 + (taken[0] + taken[1]) % (modes.size() - 2)];
        for (const std::string& mode : {modes[0], modes[1], further}) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " " + mode);
            testsupport::TempDir dir;
            ptnet::Write(described, dir.file("x"));
            auto run = Analyser(dir.path(), "x", mode + kSmall);
            EXPECT_EQ(run.exit_code, expected ? 1 : 0) << run.out << run.err;
            const char* report = condition == 4 ? kLivelock : kInfinite;
            EXPECT_EQ(run.out.rfind(report, 0) == 0, expected) << run.out;
        }
    }
    EXPECT_EQ(taken[0] + taken[1], nets);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomTesters, ::testing::Range(0, 4));

// ---- Buchi products ----

// Automata of stutter-closed properties of one proposition x (a place
// marked, or empty): next[q - 1] the states that may follow state q, the
// last entry the initial states (the state after the last one stands for
// the automaton before its start), needs[q - 1] 1 when state q needs x,
// accepting the states of infinite condition.
struct Automaton {
    const char* name;
    std::vector<std::vector<std::int32_t>> next;
    std::vector<int> needs;
    std::set<int> accepting;
};

const Automaton kAutomata[] = {
    {"GF x", {{1, 2}, {1, 2}, {1, 2}}, {0, 1}, {2}},
    {"FG x", {{1, 2}, {2}, {1, 2}}, {0, 1}, {2}},
    {"F x", {{1, 2}, {3}, {3}, {1, 2}}, {0, 1, 0}, {3}},
    {"G x", {{1}, {1}}, {1}, {1}},
};

struct BuchiCase {
    ptnet::Net net;
    int place = 0;  // x is about this place
    bool marked = true;
    const Automaton* automaton = nullptr;
};

bool Holds(const BuchiCase& c, const Marking& m, int q) {
    return c.automaton->needs[static_cast<std::size_t>(q) - 1] == 0 || (m[c.place] > 0) == c.marked;
}

// The described net: an initialisation transition, the net's transitions
// (visible when they change the place of x), the stuttering transition
// last, and the automaton on the tester place.
BuchiCase WithAutomaton(const testsupport::TestNet& net, const Automaton& a, int place, bool marked) {
    BuchiCase c;
    c.place = place;
    c.marked = marked;
    c.automaton = &a;
    std::vector<bool> visible;
    for (int t = 0; t < net.transitions(); ++t) {
        int effect = 0;
        for (std::size_t i = 0; i < net.pre[t].size(); ++i)
            effect -= net.pre[t][i] == place ? net.pre_w(t, i) : 0;
        for (std::size_t i = 0; i < net.post[t].size(); ++i)
            effect += net.post[t][i] == place ? net.post_w(t, i) : 0;
        visible.push_back(effect != 0);
    }
    c.net = ptnet::FromTestNet(net, visible);
    ptnet::Transition init;
    init.name = "init";
    init.visible = false;
    init.kind = 1;
    c.net.transitions.insert(c.net.transitions.begin(), init);
    ptnet::Transition dummy;
    dummy.name = "dummy";
    dummy.visible = false;
    dummy.kind = 2;
    c.net.transitions.push_back(dummy);
    const int before = static_cast<int>(a.next.size());
    c.net.places.push_back({"buchi", 1, {{before, 1}}});
    c.net.tester = net.places();
    for (int q : a.accepting)
        c.net.testerBits[q] = 8;
    c.net.buchi = a.next;
    c.net.require.resize(a.needs.size());
    for (std::size_t q = 0; q < a.needs.size(); ++q)
        if (a.needs[q])
            c.net.require[q].push_back({place, marked});
    return c;
}

// The product explored directly: the start (m0, before the start) steps
// into the initial states; elsewhere every enabled transition, or the
// stutter of a dead marking, moves the automaton to each following state
// whose proposition the new marking satisfies.
bool ProductHasAcceptingCycle(const testsupport::TestNet& net, const BuchiCase& c) {
    std::map<std::pair<Marking, int>, int> index;
    std::vector<std::pair<Marking, int>> states;
    std::vector<std::vector<std::pair<int, bool>>> succ;
    auto add = [&](const Marking& m, int q) {
        auto [it, fresh] = index.emplace(std::make_pair(m, q), static_cast<int>(states.size()));
        if (fresh) {
            states.push_back({m, q});
            succ.emplace_back();
        }
        return it->second;
    };
    add(net.m0, static_cast<int>(c.automaton->next.size()));
    for (std::size_t k = 0; k < states.size(); ++k) {
        const auto [m, q] = states[k];
        std::vector<Marking> moves;
        if (k == 0) {
            moves.push_back(m);
        } else {
            for (int t = 0; t < net.transitions(); ++t)
                if (testsupport::enabled(net, m, t))
                    moves.push_back(testsupport::fire(net, m, t));
            if (moves.empty())
                moves.push_back(m);
        }
        for (const Marking& next : moves)
            for (int r : c.automaton->next[q - 1])
                if (Holds(c, next, r)) {
                    int target = add(next, r);
                    succ[k].push_back({target, true});
                }
    }
    std::vector<int> comp = Components(succ, [](bool) { return true; });
    for (std::size_t s = 0; s < states.size(); ++s) {
        if (!c.automaton->accepting.count(states[s].second))
            continue;
        for (auto [t, visible] : succ[s])
            if (comp[t] == comp[static_cast<std::size_t>(s)])
                return true;
    }
    return false;
}

class BuchiProducts : public ::testing::TestWithParam<int> {};

// Random nets with the automata of stutter-closed properties: "Illegal
// infinite path found" exactly when the explicit product has an accepting
// cycle, on the full product and on the one built from the net's reduced
// graph.
TEST_P(BuchiProducts, VerdictsOfTheExplicitProduct) {
    const std::vector<std::string> modes = {"-i", "-s", "-i -f", "-D", "-s -L -R -r 7"};
    // Nets taken in seed order as long as each verdict has fewer than half
    // of them.
    const int nets = 6;
    int taken[2] = {0, 0};
    const std::uint64_t first = 9300 + static_cast<std::uint64_t>(GetParam()) * 1000;
    for (std::uint64_t seed = first; taken[0] + taken[1] < nets && seed < first + 1000; ++seed) {
        testsupport::TestNet net = RandomNet(seed, 6, 6, 120);
        const Automaton& a = kAutomata[(seed / 2) % 4];
        BuchiCase c = WithAutomaton(net, a, static_cast<int>(seed % static_cast<std::uint64_t>(net.places())),
                                    seed % 2 == 0);
        bool expected = ProductHasAcceptingCycle(net, c);
        if (taken[expected] == nets / 2)
            continue;
        ++taken[expected];
        // The full product and the reduced one always, one further mode in
        // turn.
        const std::string further = modes[2 + (taken[0] + taken[1]) % (modes.size() - 2)];
        for (const std::string& mode : {modes[0], modes[1], further}) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " " + a.name + " " + mode);
            testsupport::TempDir dir;
            ptnet::Write(c.net, dir.file("x"));
            auto run = Analyser(dir.path(), "x", mode + kSmall);
            EXPECT_EQ(run.exit_code, expected ? 1 : 0) << run.out << run.err;
            EXPECT_EQ(run.out.rfind(kInfinite, 0) == 0, expected) << run.out;
        }
    }
    EXPECT_EQ(taken[0] + taken[1], nets);
}

INSTANTIATE_TEST_SUITE_P(Seeds, BuchiProducts, ::testing::Range(0, 3));

// Symmetric processes p1 -> t1 -> q1, p2 -> t2 -> q2 beside 2a -u-> b, with
// the automaton of F b (of G a): the symmetries leave the automaton's
// states in place; with stubborn sets the product is built from the
// reduced graph, whose labels are twice the
// transition numbers (plus one for an image); the LTS names the
// transitions themselves, the visible ones by number + 1.
TEST(BuchiProducts, LtsOfTheProductUnderSymmetries) {
    testsupport::TestNet net;
    net.place_names = {"a", "b", "p1", "q1", "p2", "q2"};
    net.trans_names = {"u", "t1", "t2"};
    net.pre = {{0}, {2}, {4}};
    net.post = {{1}, {3}, {5}};
    // u takes two tokens: no process looks like it.
    net.pre_weight = {{2}, {1}, {1}};
    net.m0 = {2, 0, 1, 0, 1, 0};
    for (int which : {2, 3}) {
        const Automaton& a = kAutomata[which];
        BuchiCase c = WithAutomaton(net, a, which == 2 ? 1 : 0, true);
        bool expected = ProductHasAcceptingCycle(net, c);
        SCOPED_TRACE(a.name);
        testsupport::TempDir dir;
        ptnet::Write(c.net, dir.file("x"));
        auto run = Analyser(dir.path(), "x", "-s -S -z" + kSmall);
        EXPECT_EQ(run.exit_code, expected ? 1 : 0) << run.out << run.err;
        // The states of the automaton stay in place: the processes swap.
        EXPECT_EQ(run.out.rfind("\n1 non-identity place mappings in symmetries\n", 0), 0u) << run.out;
        std::string lts = testsupport::read_file(dir.file("x.lts"));
        std::size_t from = lts.find("ARCS\n"), to = lts.find("END_ARCS");
        ASSERT_NE(from, std::string::npos) << lts;
        ASSERT_NE(to, std::string::npos) << lts;
        std::istringstream arcs(lts.substr(from + 5, to - from - 5));
        unsigned long source = 0, target = 0, label = 0;
        int count = 0;
        std::set<unsigned long> labels;
        while (arcs >> source >> target >> label) {
            ++count;
            labels.insert(label);
        }
        EXPECT_GT(count, 0);
        // Transition numbers: init 0, u 1, t1 2, t2 3, dummy 4; u alone
        // changes a or b, so it is the only visible one.
        for (unsigned long l : labels)
            EXPECT_TRUE(l == 0 || l == 2) << "label " << l << "\n" << lts;
        if (which == 2) {
            EXPECT_TRUE(labels.count(2)) << lts;
        }
    }
}

// ---- CFFD ----

// The visible traces of at most `length` steps (invisible steps hidden) of
// a graph given by successor lists with labels (-1: invisible), and those
// of at most `length` - 1 steps after which a divergence (a reachable
// cycle of invisible steps) is possible.
struct Traces {
    std::set<std::vector<int>> traces, divergences;
};

Traces Observe(const std::vector<std::vector<std::pair<int, int>>>& succ, int length) {
    const int n = static_cast<int>(succ.size());
    std::vector<std::vector<std::pair<int, bool>>> plain(n);
    for (int s = 0; s < n; ++s)
        for (auto [t, label] : succ[s])
            plain[s].push_back({t, label >= 0});
    std::vector<int> comp = Components(plain, [](bool visible) { return !visible; });
    std::vector<bool> diverges(n, false);
    for (int s = 0; s < n; ++s)
        for (auto [t, label] : succ[s])
            if (label < 0 && comp[t] == comp[s])
                diverges[s] = true;
    auto closure = [&](std::set<int> states) {
        std::vector<int> work(states.begin(), states.end());
        while (!work.empty()) {
            int s = work.back();
            work.pop_back();
            for (auto [t, label] : succ[s])
                if (label < 0 && states.insert(t).second)
                    work.push_back(t);
        }
        return states;
    };
    Traces result;
    std::vector<std::pair<std::vector<int>, std::set<int>>> frontier{{{}, closure({0})}};
    for (int depth = 0; depth <= length && !frontier.empty(); ++depth) {
        std::vector<std::pair<std::vector<int>, std::set<int>>> next;
        for (const auto& [trace, states] : frontier) {
            result.traces.insert(trace);
            if (depth < length &&
                std::any_of(states.begin(), states.end(), [&](int s) { return diverges[s]; }))
                result.divergences.insert(trace);
            if (depth == length)
                continue;
            std::map<int, std::set<int>> after;
            for (int s : states)
                for (auto [t, label] : succ[s])
                    if (label >= 0)
                        after[label].insert(t);
            for (auto& [label, targets] : after) {
                std::vector<int> longer = trace;
                longer.push_back(label);
                next.push_back({longer, closure(targets)});
            }
        }
        frontier = std::move(next);
    }
    return result;
}

// Random nets with invisible transitions under the CFFD-preserving
// reduction (incremental and deletion algorithm, lazy, random orders, with
// forced invisible steps collapsed):
// the dead markings, the visible traces up to length 4 and the traces
// after which an invisible cycle can run are those of the explorer's
// state space, and no count exceeds the full one.
TEST(CffdReduction, TracesDivergencesAndDeadMarkings) {
    const std::vector<std::vector<std::string>> modes = {
        {"-F"}, {"-F", "-L"}, {"-F", "-D"}, {"-F", "-T"}, {"-F", "-R", "-P", "-r", "9"}, {"-F", "-e"}};
    std::size_t reducedNodes = 0, fullNodes = 0;
    for (int k = 0; k < 20; ++k) {
        std::uint64_t seed = 8200 + static_cast<std::uint64_t>(k);
        testsupport::TestNet net = RandomNet(seed, 7, 7, 300);
        std::vector<bool> visible = Visibility(net, seed);
        testsupport::StateSpace ss = testsupport::explore(net);
        std::vector<std::vector<std::pair<int, int>>> full(ss.states.size());
        std::size_t fullArrows = 0;
        for (std::size_t s = 0; s < ss.states.size(); ++s)
            for (const auto& [t, target] : ss.succ[s]) {
                full[s].push_back({target, visible[t] ? t : -1});
                ++fullArrows;
            }
        Traces expected = Observe(full, 4);
        std::set<Marking> dead;
        for (int i : testsupport::dead_states(ss))
            dead.insert(ss.states[i]);
        for (const auto& mode : modes) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " " + mode.back());
            testsupport::TempDir dir;
            Generate(ptnet::FromTestNet(net, visible), dir.file("x"), mode);
            RawGraph g = ReadRaw(dir.file("x"));
            ASSERT_TRUE(g.ok) << g.error;
            std::vector<std::vector<std::pair<int, int>>> reduced(g.nodes.size());
            std::size_t arrows = 0;
            std::set<Marking> terminal;
            for (const RawNode& n : g.nodes) {
                EXPECT_NE(n.count, 0xFFFFFFFFu) << "node " << n.ordinal << " was never expanded";
                Marking m = Decode(n.contents, net.places());
                EXPECT_TRUE(std::count(ss.states.begin(), ss.states.end(), m)) << "unreachable node";
                if (n.count == 0)
                    terminal.insert(m);
                for (const RawArrow& a : n.arrows) {
                    // A collapsed chain: its first transition, then forced
                    // invisible ones.
                    std::vector<std::uint32_t> labels = LabelValues(a.label);
                    ASSERT_FALSE(labels.empty());
                    int shown = -1;
                    for (std::size_t i = 0; i < labels.size(); ++i) {
                        int t = static_cast<int>(labels[i]);
                        ASSERT_LT(t, net.transitions());
                        if (i == 0) {
                            EXPECT_EQ(a.visible(), visible[t]);
                            shown = visible[t] ? t : -1;
                        } else {
                            EXPECT_FALSE(visible[t]) << "a visible step inside a chain";
                        }
                    }
                    reduced[n.ordinal].push_back({static_cast<int>(g.byAddress.at(a.target)), shown});
                    ++arrows;
                }
            }
            EXPECT_EQ(terminal, dead);
            EXPECT_LE(g.nodes.size(), ss.states.size());
            EXPECT_LE(arrows, fullArrows);
            Traces got = Observe(reduced, 4);
            EXPECT_EQ(got.traces, expected.traces);
            EXPECT_EQ(got.divergences, expected.divergences);
            reducedNodes += g.nodes.size();
            fullNodes += ss.states.size();
        }
    }
    EXPECT_LT(reducedNodes, fullNodes) << "the reduction reduces";
}

}  // namespace
