// The three cycle checks on products built by pelwick's library, each paired
// with its pelwick option (FwdCycleCheck and BwdCycleCheck without the
// scheduler, SymbolicDFS with it), against an explicit product search.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <queue>

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
    const char* name;
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

// The explicit product: nodes (marking, automaton node) right after an
// automaton step.  A run is accepting when it passes an accepting node
// infinitely often, or stops in an accepting node whose marking is dead.
bool explicitProductHolds(const TestNet& net, const TestAutomaton& a, int p, int q) {
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
    bool deadAccepting = false;
    while (!todo.empty()) {
        const int x = todo.front();
        todo.pop();
        const Marking m = nodes[x].first;
        const int n = nodes[x].second;
        if (is_dead(net, m) && a.nodes[n].accepting) deadAccepting = true;
        for (int t = 0; t < net.transitions(); ++t) {
            if (!enabled(net, m, t)) continue;
            const Marking m2 = fire(net, m, t);
            for (int s : a.nodes[n].successors)
                if (holds(m2, s)) {
                    int y = add(m2, s);
                    succ[x].push_back(y);
                }
        }
    }
    if (deadAccepting) return false;
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

// pelwick's product of the net and the automaton, as text.
std::string product(const TestNet& net, const TestAutomaton& a, int p, int q, bool scheduler, bool withX) {
    NetTables tables;
    tables.dialect = Dialect::Pelwick;
    buildNetTables(tables, toApnn(net), "net.apnn");
    BuchiAutomaton ba =
        readAutomaton(automatonText(a, net.place_names[p], net.place_names[q], withX), "ba", tables);
    return buildProduct(tables, ba, scheduler);
}

// Checks the nets of a seed range against the explicit product; returns the
// numbers of true and false verdicts.
void agreeOnSeeds(std::uint64_t first, std::uint64_t last, int& trueVerdicts, int& falseVerdicts) {
    QuietOutput quiet;
    for (std::uint64_t seed = first; seed <= last; ++seed) {
        RandomNetParams params;
        params.general = seed % 3 == 0;
        params.components = 2;
        params.states_per_component = 2 + seed % 2;
        params.transitions = 3 + seed % 3;
        params.places = 4 + seed % 3;
        params.self_loop = 0.15;
        const TestNet net = random_safe_net(seed, params);
        const int p = static_cast<int>(seed % net.places());
        const int q = static_cast<int>((seed * 7 + 1) % net.places());
        for (const TestAutomaton& a : automata()) {
            const bool expected = explicitProductHolds(net, a, p, q);
            (expected ? trueVerdicts : falseVerdicts)++;
            {
                NetTables tables;
                NetEncoding enc;
                setup(tables, enc, product(net, a, p, q, false, false), Dialect::Cyrtal);
                EXPECT_EQ(fwdCycleCheck(enc), expected) << "Fwd seed " << seed << " " << a.name;
                enc.computeRS();
                ASSERT_TRUE(enc.safeQ(enc.rs));
                EXPECT_EQ(bwdCycleCheck(enc), expected) << "Bwd seed " << seed << " " << a.name;
            }
            NetTables tablesD;
            NetEncoding encD;
            setup(tablesD, encD, product(net, a, p, q, true, true), Dialect::Cyrtal);
            EXPECT_EQ(symbolicDfs(encD), expected) << "DFS seed " << seed << " " << a.name;
        }
    }
}

}  // namespace

// Two seed ranges, so that neither test runs long; both verdicts occur
// often enough in each to matter.
TEST(CycleChecks, AgreeWithExplicitProductOnRandomNets) {
    int trueVerdicts = 0, falseVerdicts = 0;
    agreeOnSeeds(1, 12, trueVerdicts, falseVerdicts);
    EXPECT_GT(trueVerdicts, 5);
    EXPECT_GT(falseVerdicts, 5);
}

TEST(CycleChecks, AgreeWithExplicitProductOnMoreRandomNets) {
    int trueVerdicts = 0, falseVerdicts = 0;
    agreeOnSeeds(13, 24, trueVerdicts, falseVerdicts);
    EXPECT_GT(trueVerdicts, 5);
    EXPECT_GT(falseVerdicts, 5);
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
    for (const TestAutomaton* a : {&fq, &none}) {
        const bool expected = a == &none;
        {
            NetTables tables;
            NetEncoding enc;
            setup(tables, enc, product(net, *a, 0, 1, false, false), Dialect::Cyrtal);
            EXPECT_EQ(fwdCycleCheck(enc), expected) << a->name;
            enc.computeRS();
            EXPECT_EQ(bwdCycleCheck(enc), expected) << a->name;
        }
        NetTables tablesD;
        NetEncoding encD;
        setup(tablesD, encD, product(net, *a, 0, 1, true, false), Dialect::Cyrtal);
        EXPECT_EQ(symbolicDfs(encD), expected) << a->name;
    }
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
