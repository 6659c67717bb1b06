// The three cycle checks on products built by pelwick's library, against an
// explicit product search: FwdCycleCheck and BwdCycleCheck on every product,
// SymbolicDFS on the products with the scheduler places.  A run of the
// product alternates an automaton step and a net move; a net that can stop
// changing the propositions for ever (a dead marking, or in a scheduled
// product silent transitions that run for ever) stutters while the
// automaton goes on moving.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <queue>
#include <random>

#include "apnn.h"
#include "cycles.h"
#include "fixture.h"
#include "output.h"
#include "product.h"

using namespace zbdd;
using namespace zbdd_test;
using namespace testsupport;

namespace {

// A state-labelled Büchi automaton over propositions 1 and 2; the literals
// of a node are tested when the node is entered.
struct TestAutomaton {
    std::string name;
    struct Node {
        bool initial, accepting;
        std::vector<int> successors;
        std::vector<int> literals;  // +i / -i
    };
    std::vector<Node> nodes;
};

// Automata for the negations of G p, F p, GF p, FG p and p U q.
const std::vector<TestAutomaton>& automata() {
    static const std::vector<TestAutomaton> list = {
        {"not_G_p", {{true, false, {0, 1}, {}}, {true, true, {2}, {-1}}, {false, true, {2}, {}}}},
        {"not_F_p", {{true, true, {0}, {-1}}}},
        {"not_GF_p", {{true, false, {0, 1}, {}}, {true, true, {1}, {-1}}}},
        {"not_FG_p", {{true, false, {0, 1}, {}}, {true, true, {0, 1}, {-1}}}},
        {"not_p_U_q",
         {{true, false, {0, 1}, {1, -2}}, {true, true, {2}, {-1, -2}}, {false, true, {2}, {}},
          {true, true, {3}, {-2}}}},
    };
    return list;
}

std::string automatonText(const TestAutomaton& a, const std::string& p, const std::string& q, bool withX) {
    std::string s = std::string("\\beginba{") + (withX ? "LTL2BA_wX" : "LTL2BA") + "}\n\\header{" +
                    std::to_string(a.nodes.size()) + " 2}\n\\aps{" + p + "}{1}\n\\aps{" + q + "}{2}\n";
    for (std::size_t i = 0; i < a.nodes.size(); ++i) {
        const auto& n = a.nodes[i];
        s += "\\node{ba_n" + std::to_string(i) + "}{";
        if (n.initial) s += "\\init ";
        if (n.accepting) s += "\\acc{1} ";
        s += "\\post{";
        for (int j : n.successors) s += " " + std::to_string(j);
        s += "} \\apslist{";
        for (int l : n.literals) s += " " + std::to_string(l);
        s += "}}\n";
    }
    return s + "\\endba\n";
}

// The transitions that pelwick's -d product leaves unscheduled for an
// automaton not named LTL2BA_wX: no ordinary arc to or from the place of a
// proposition (a place both consumed and produced is a read arc).
std::vector<char> silentTransitions(const TestNet& net, int p, int q) {
    std::vector<char> silent(net.transitions(), 1);
    for (int t = 0; t < net.transitions(); ++t)
        for (int x : {p, q}) {
            const auto in = std::count(net.pre[t].begin(), net.pre[t].end(), x);
            const auto out = std::count(net.post[t].begin(), net.post[t].end(), x);
            if (in != out) silent[t] = 0;
        }
    return silent;
}

// The markings that the silent transitions alone reach from m, m first.
std::vector<Marking> silentReach(const TestNet& net, const std::vector<char>& silent, const Marking& m) {
    std::vector<Marking> reach{m};
    for (std::size_t i = 0; i < reach.size(); ++i)
        for (int t = 0; t < net.transitions(); ++t)
            if (silent[t] && enabled(net, reach[i], t)) {
                Marking next = fire(net, reach[i], t);
                if (std::find(reach.begin(), reach.end(), next) == reach.end()) reach.push_back(next);
            }
    return reach;
}

// Whether the net may stop changing the propositions at m: the silent
// transitions reach a dead marking from m (m itself included) or can run
// for ever.  Markings without silent successors left are peeled off; a
// cycle is what cannot be peeled.
bool stops(const TestNet& net, const std::vector<char>& silent, const Marking& m) {
    const std::vector<Marking> reach = silentReach(net, silent, m);
    std::vector<std::vector<int>> before(reach.size());
    std::vector<int> outDegree(reach.size(), 0);
    for (std::size_t i = 0; i < reach.size(); ++i) {
        if (is_dead(net, reach[i])) return true;
        for (int t = 0; t < net.transitions(); ++t)
            if (silent[t] && enabled(net, reach[i], t)) {
                const auto j = std::find(reach.begin(), reach.end(), fire(net, reach[i], t)) - reach.begin();
                before[j].push_back(static_cast<int>(i));
                ++outDegree[i];
            }
    }
    std::vector<int> peeled;
    for (std::size_t i = 0; i < reach.size(); ++i)
        if (outDegree[i] == 0) peeled.push_back(static_cast<int>(i));
    for (std::size_t k = 0; k < peeled.size(); ++k)
        for (int i : before[peeled[k]])
            if (--outDegree[i] == 0) peeled.push_back(i);
    return peeled.size() < reach.size();
}

// The explicit product: nodes (marking, automaton node) right after an
// automaton step.  The net's move is one transition, or, with silent
// transitions, any number of silent ones around one that is not silent.  A
// marking at which the net may stop changing the propositions stutters: the
// automaton moves while the marking stays.  The property holds when no
// accepting node lies on a reachable cycle.
bool explicitProductHolds(const TestNet& net, const TestAutomaton& a, int p, int q, const std::vector<char>& silent) {
    auto holds = [&](const Marking& m, int node) {
        for (int l : a.nodes[node].literals) {
            int place = (l == 1 || l == -1) ? p : q;
            if ((m[place] > 0) != (l > 0)) return false;
        }
        return true;
    };
    std::map<std::pair<Marking, int>, int> index;
    std::vector<std::pair<Marking, int>> nodes;
    std::vector<std::vector<int>> succ;
    std::queue<int> todo;
    auto add = [&](const Marking& m, int n) {
        auto [it, fresh] = index.insert({{m, n}, static_cast<int>(nodes.size())});
        if (fresh) {
            nodes.push_back({m, n});
            succ.emplace_back();
            todo.push(it->second);
        }
        return it->second;
    };
    for (std::size_t n = 0; n < a.nodes.size(); ++n)
        if (a.nodes[n].initial && holds(net.m0, static_cast<int>(n))) add(net.m0, static_cast<int>(n));
    while (!todo.empty()) {
        const int x = todo.front();
        todo.pop();
        const Marking m = nodes[x].first;
        const int n = nodes[x].second;
        auto enter = [&](const Marking& target) {
            for (int s : a.nodes[n].successors)
                if (holds(target, s)) {
                    const int y = add(target, s);
                    succ[x].push_back(y);
                }
        };
        for (const Marking& before : silentReach(net, silent, m))
            for (int t = 0; t < net.transitions(); ++t)
                if (!silent[t] && enabled(net, before, t))
                    for (const Marking& after : silentReach(net, silent, fire(net, before, t))) enter(after);
        if (stops(net, silent, m)) enter(m);
    }
    // An accepting node that reaches itself again.
    for (std::size_t x = 0; x < nodes.size(); ++x) {
        if (!a.nodes[nodes[x].second].accepting) continue;
        std::vector<char> seen(nodes.size(), 0);
        std::vector<int> stack(succ[x].begin(), succ[x].end());
        while (!stack.empty()) {
            int y = stack.back();
            stack.pop_back();
            if (y == static_cast<int>(x)) return false;
            if (seen[y]) continue;
            seen[y] = 1;
            stack.insert(stack.end(), succ[y].begin(), succ[y].end());
        }
    }
    return true;
}

bool explicitProductHolds(const TestNet& net, const TestAutomaton& a, int p, int q) {
    return explicitProductHolds(net, a, p, q, std::vector<char>(net.transitions(), 0));
}

// pelwick's product of the net and the automaton, as text.
std::string product(const TestNet& net, const TestAutomaton& a, int p, int q, bool scheduler, bool withX) {
    NetTables tables;
    tables.dialect = Dialect::Pelwick;
    buildNetTables(tables, toApnn(net), "net.apnn");
    BuchiAutomaton ba =
        readAutomaton(automatonText(a, net.place_names[p], net.place_names[q], withX), "ba", tables);
    return buildProduct(tables, ba, scheduler);
}

// Runs the checks in the driver's order (FwdCycleCheck, reachability set
// and safety, BwdCycleCheck, SymbolicDFS on scheduled products) on one
// encoding of the product.
void expectVerdicts(const std::string& productText, bool scheduled, bool expected, const std::string& what) {
    NetTables tables;
    NetEncoding enc;
    setup(tables, enc, productText, Dialect::Cyrtal);
    EXPECT_EQ(fwdCycleCheck(enc), expected) << "FwdCycleCheck " << what;
    enc.computeRS();
    ASSERT_TRUE(enc.safeQ(enc.rs)) << what;
    EXPECT_EQ(bwdCycleCheck(enc), expected) << "BwdCycleCheck " << what;
    if (scheduled) {
        EXPECT_EQ(symbolicDfs(enc), expected) << "SymbolicDFS " << what;
    }
}

// All three products of a pair against the explicit search: pelwick -f,
// pelwick -d with LTL2BA_wX (every net transition scheduled), and -d with
// another name (transitions that change no proposition are silent).
void expectAllProducts(const TestNet& net, const TestAutomaton& a, int p, int q, const std::string& what) {
    const bool plain = explicitProductHolds(net, a, p, q);
    expectVerdicts(product(net, a, p, q, false, false), false, plain, "pelwick -f, " + what);
    expectVerdicts(product(net, a, p, q, true, true), true, plain, "pelwick -d LTL2BA_wX, " + what);
    const bool visible = explicitProductHolds(net, a, p, q, silentTransitions(net, p, q));
    expectVerdicts(product(net, a, p, q, true, false), true, visible, "pelwick -d LTL2BA, " + what);
}

// The nets of the hand-written automata: state machines or general safe
// nets from the test support.
TestNet supportNet(std::uint64_t seed) {
    RandomNetParams params;
    params.general = seed % 3 == 0;
    params.components = 2;
    params.states_per_component = 2 + seed % 2;
    params.transitions = 3 + seed % 3;
    params.places = 4 + seed % 3;
    params.self_loop = 0.15;
    return random_safe_net(seed, params);
}

// Two or three state machines of two or three states, one token each; a
// transition moves one or two of them (a move to the same state reads the
// place) and may read a place of a machine it does not move.  Few
// transitions leave many of these nets with dead markings.
TestNet synchronisedStateMachines(std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    const int machines = 2 + static_cast<int>(rng() % 2);
    const int states = 2 + static_cast<int>(rng() % 2);
    const int transitions = 2 + static_cast<int>(rng() % 5);
    TestNet net;
    for (int i = 0; i < machines * states; ++i) net.place_names.push_back("p" + std::to_string(i + 1));
    net.m0.assign(machines * states, 0);
    for (int c = 0; c < machines; ++c) net.m0[c * states + static_cast<int>(rng() % states)] = 1;
    for (int t = 0; t < transitions; ++t) {
        net.trans_names.push_back("t" + std::to_string(t + 1));
        std::vector<int> order(machines);
        for (int c = 0; c < machines; ++c) order[c] = c;
        std::shuffle(order.begin(), order.end(), rng);
        const int moving = 1 + static_cast<int>(rng() % 2);
        std::vector<int> pre, post;
        for (int k = 0; k < moving; ++k) {
            pre.push_back(order[k] * states + static_cast<int>(rng() % states));
            post.push_back(order[k] * states + static_cast<int>(rng() % states));
        }
        if (moving < machines && rng() % 3 == 0) {
            const int read = order[moving] * states + static_cast<int>(rng() % states);
            pre.push_back(read);
            post.push_back(read);
        }
        net.pre.push_back(pre);
        net.post.push_back(post);
    }
    return net;
}

// Up to four nodes; each node is initial, accepting, a successor of another
// and tests each proposition with its own chance.
TestAutomaton randomAutomaton(std::uint64_t seed) {
    std::mt19937_64 rng(seed * 0x9e3779b97f4a7c15ULL + 7);
    TestAutomaton a;
    a.name = "random";
    const int n = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < n; ++i) {
        TestAutomaton::Node node{rng() % 3 == 0, rng() % 2 == 0, {}, {}};
        for (int j = 0; j < n; ++j)
            if (rng() % 2 == 0) node.successors.push_back(j);
        for (int prop : {1, 2}) {
            const auto r = rng() % 4;
            if (r == 2) node.literals.push_back(prop);
            if (r == 3) node.literals.push_back(-prop);
        }
        a.nodes.push_back(node);
    }
    a.nodes[0].initial = true;
    return a;
}

struct RandomPair {
    TestNet net;
    TestAutomaton automaton;
    int p, q;
};

RandomPair randomPair(std::uint64_t seed) {
    RandomPair r{synchronisedStateMachines(seed), randomAutomaton(seed), 0, 0};
    r.p = static_cast<int>((seed / 3) % r.net.places());
    r.q = static_cast<int>((seed * 5 + 1) % r.net.places());
    return r;
}

// Seed ranges, one CTest entry each, so that no entry runs long.
struct SeedRange {
    std::uint64_t first, last;
};

class HandWrittenAutomata : public testing::TestWithParam<SeedRange> {};
class RandomAutomata : public testing::TestWithParam<SeedRange> {};

}  // namespace

TEST_P(HandWrittenAutomata, AgreeWithExplicitProductOnRandomNets) {
    QuietOutput quiet;
    for (std::uint64_t seed = GetParam().first; seed <= GetParam().last; ++seed) {
        const TestNet net = supportNet(seed);
        const int p = static_cast<int>(seed % net.places());
        const int q = static_cast<int>((seed * 7 + 1) % net.places());
        for (const TestAutomaton& a : automata())
            expectAllProducts(net, a, p, q, "seed " + std::to_string(seed) + " " + a.name);
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, HandWrittenAutomata,
                         testing::Values(SeedRange{1, 6}, SeedRange{7, 12}, SeedRange{13, 18}, SeedRange{19, 24}));

TEST_P(RandomAutomata, AgreeWithExplicitProductOnSynchronisedStateMachines) {
    QuietOutput quiet;
    for (std::uint64_t seed = GetParam().first; seed <= GetParam().last; ++seed) {
        const RandomPair r = randomPair(seed);
        expectAllProducts(r.net, r.automaton, r.p, r.q, "random pair " + std::to_string(seed));
    }
}

constexpr std::uint64_t kRandomPairs = 320;

INSTANTIATE_TEST_SUITE_P(Seeds, RandomAutomata,
                         testing::Values(SeedRange{1, 40}, SeedRange{41, 80}, SeedRange{81, 120}, SeedRange{121, 160},
                                         SeedRange{161, 200}, SeedRange{201, 240}, SeedRange{241, 280},
                                         SeedRange{281, kRandomPairs}));

// The draws above matter only when they hold both verdicts, on nets with
// and without dead markings, and nets in which the silent transitions of a
// scheduled product can run for ever.
TEST(CycleChecks, RandomDrawsCoverTheCasesThatMatter) {
    int verdicts[2][2] = {{0, 0}, {0, 0}};  // [dead marking reachable][property holds]
    int silentForEver[2] = {0, 0};          // [property holds in the scheduled product]
    for (std::uint64_t seed = 1; seed <= kRandomPairs; ++seed) {
        const RandomPair r = randomPair(seed);
        const StateSpace ss = explore(r.net);
        ++verdicts[has_deadlock(ss)][explicitProductHolds(r.net, r.automaton, r.p, r.q)];
        const std::vector<char> silent = silentTransitions(r.net, r.p, r.q);
        const bool diverges = std::any_of(ss.states.begin(), ss.states.end(), [&](const Marking& m) {
            return !is_dead(r.net, m) && stops(r.net, silent, m);
        });
        if (diverges) ++silentForEver[explicitProductHolds(r.net, r.automaton, r.p, r.q, silent)];
    }
    for (int dead : {0, 1})
        for (int holds : {0, 1}) EXPECT_GE(verdicts[dead][holds], 10) << "dead " << dead << " holds " << holds;
    EXPECT_GE(silentForEver[0], 10);
    EXPECT_GE(silentForEver[1], 10);
}

// Small nets whose verdict turns on the stutter; each row is checked on all
// three products.
TEST(CycleChecks, StutterRunsFollowTheAutomatonOverTheStoppedMarking) {
    QuietOutput quiet;
    auto net = [](std::vector<std::string> places, std::vector<int> m0, std::vector<std::vector<int>> pre,
                  std::vector<std::vector<int>> post) {
        TestNet n;
        n.place_names = std::move(places);
        n.m0 = std::move(m0);
        n.pre = std::move(pre);
        n.post = std::move(post);
        for (std::size_t t = 0; t < n.pre.size(); ++t) n.trans_names.push_back("t" + std::to_string(t + 1));
        return n;
    };
    // a -> p, then dead in {p}.
    const TestNet toP = net({"a", "p"}, {1, 0}, {{0}}, {{1}});
    // a marked, q unmarked, nothing fires.
    const TestNet still = net({"a", "q"}, {1, 0}, {}, {});
    // t1 only reads a: it fires for ever and changes no proposition.
    const TestNet reader = net({"a", "q"}, {1, 0}, {{0}}, {{0}});
    // a -> b -> c silently, then dead; q stays unmarked.
    const TestNet silentToDead = net({"a", "b", "c", "q"}, {1, 0, 0, 0}, {{0}, {1}}, {{1}, {2}});
    // GF p and GF !p: accepting is a change from !p to p.
    const TestAutomaton changes{"GF_p_and_GF_not_p",
                                {{true, false, {0, 1}, {1}}, {true, false, {1, 2}, {-1}}, {false, true, {0, 1}, {1}}}};
    // GF !q (the negation of FG q); the accepting node has no self-loop.
    const TestAutomaton infinitelyNotQ{"GF_not_q", {{true, false, {0, 1}, {}}, {false, true, {0, 1}, {-2}}}};
    // F p entered in an accepting node with no successor: nothing accepts
    // for ever.
    const TestAutomaton oneAcceptingStep{"accepting_once", {{true, false, {0, 1}, {}}, {false, true, {}, {1}}}};
    const struct {
        const char* what;
        const TestNet& net;
        const TestAutomaton& automaton;
        int p, q;
        bool holds;
    } cases[] = {
        {"dead in p: p never changes again", toP, changes, 1, 0, true},
        {"dead without q: the automaton cycles through a non-accepting node", still, infinitelyNotQ, 0, 1, false},
        {"a reading transition fires for ever without q", reader, infinitelyNotQ, 0, 1, false},
        {"silent steps into a dead marking without q", silentToDead, infinitelyNotQ, 3, 3, false},
        {"accepting node entered at the dead marking without a way on", toP, oneAcceptingStep, 1, 0, true},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(explicitProductHolds(c.net, c.automaton, c.p, c.q), c.holds) << c.what;
        expectAllProducts(c.net, c.automaton, c.p, c.q, c.what);
    }
}

TEST(CycleChecks, DeadAcceptingMarkingAndNoAcceptingPlace) {
    QuietOutput quiet;
    // p(1) -t-> q: after t the net is dead.  G !q's negation F q reaches an
    // accepting node in the dead marking: false for all three.
    TestNet net;
    net.place_names = {"p", "q"};
    net.trans_names = {"t"};
    net.pre = {{0}};
    net.post = {{1}};
    net.m0 = {1, 0};
    const TestAutomaton fq{"F_q", {{true, false, {0, 1}, {}}, {true, true, {1}, {2}}}};
    ASSERT_FALSE(explicitProductHolds(net, fq, 0, 1));
    // Without accepting nodes, nothing is accepted.
    const TestAutomaton none{"none", {{true, false, {0}, {}}}};
    ASSERT_TRUE(explicitProductHolds(net, none, 0, 1));
    for (const TestAutomaton* a : {&fq, &none}) expectAllProducts(net, *a, 0, 1, a->name);
}

TEST(CycleChecks, SymbolicDfsWithoutSchedulerStopsWithMessage) {
    QuietOutput quiet;
    NetTables tables;
    NetEncoding enc;
    setup(tables, enc, "\\beginnet{n}\\place{p}{\\name{p}}\\endnet", Dialect::Cyrtal);
    try {
        symbolicDfs(enc);
        FAIL() << "no error";
    } catch (const Fatal& e) {
        EXPECT_NE(std::string(e.what()).find("SymbolicDFS needs the scheduler places"), std::string::npos);
    }
}
