// Symmetries: the group the analyser prints against the automorphisms found
// by trying every permutation of the places, and the graph reduced by it
// against the orbits of the explorer's markings.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "enginetest.h"

using namespace enginetest;
using testsupport::Marking;

namespace {

using Perm = std::vector<int>;

// The arcs of a transition as (place, taken, put back) triples.
std::vector<std::array<int, 3>> Arcs(const testsupport::TestNet& net, int t, const Perm& rename) {
    std::map<int, std::pair<int, int>> by;
    for (std::size_t i = 0; i < net.pre[t].size(); ++i)
        by[rename[net.pre[t][i]]].first += net.pre_w(t, i);
    for (std::size_t i = 0; i < net.post[t].size(); ++i)
        by[rename[net.post[t][i]]].second += net.post_w(t, i);
    std::vector<std::array<int, 3>> arcs;
    for (const auto& e : by)
        arcs.push_back({e.first, e.second.first, e.second.second});
    return arcs;
}

// Every permutation of the places that maps the multiset of transitions
// (as arc sets) onto itself; with keepMarking also the initial marking.
std::set<Perm> Automorphisms(const testsupport::TestNet& net, bool keepMarking) {
    Perm identity(net.places());
    for (int p = 0; p < net.places(); ++p)
        identity[p] = p;
    std::multiset<std::vector<std::array<int, 3>>> original;
    for (int t = 0; t < net.transitions(); ++t)
        original.insert(Arcs(net, t, identity));
    std::set<Perm> group;
    Perm perm = identity;
    do {
        bool ok = true;
        for (int p = 0; p < net.places() && ok; ++p)
            ok = !keepMarking || net.m0[p] == net.m0[perm[p]];
        if (!ok)
            continue;
        std::multiset<std::vector<std::array<int, 3>>> renamed;
        for (int t = 0; t < net.transitions(); ++t)
            renamed.insert(Arcs(net, t, perm));
        if (renamed == original)
            group.insert(perm);
    } while (std::next_permutation(perm.begin(), perm.end()));
    return group;
}

// What the analyser prints with -V 2: the two count lines, and every
// mapping but the identity.
struct Printed {
    long elements = -1, generators = -1;
    bool none = false;
    std::set<Perm> mappings;
};

Printed Parse(const std::string& out, const testsupport::TestNet& net) {
    Printed p;
    std::istringstream in(out);
    std::string line;
    Perm current;
    auto flush = [&] {
        if (!current.empty())
            p.mappings.insert(current);
        current.clear();
    };
    while (std::getline(in, line)) {
        auto ends = [&line](const std::string& tail) {
            return line.size() > tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
        };
        if (line == "No non-identity place mapping in any symmetry")
            p.none = true;
        else if (ends(" non-identity place mappings in symmetries"))
            p.elements = std::stol(line);
        else if (ends(" non-identity place mappings generate the group"))
            p.generators = std::stol(line);
        else if (line.rfind("Generator ", 0) == 0 || line.rfind("Symmetry ", 0) == 0) {
            flush();
            current.assign(net.places(), -1);
        } else if (!current.empty()) {
            auto arrow = line.find(" -> ");
            if (arrow == std::string::npos)
                continue;
            int from = net.place_index(line.substr(0, arrow)), to = net.place_index(line.substr(arrow + 4));
            if (from >= 0 && to >= 0)
                current[from] = to;
        }
    }
    flush();
    return p;
}

// N processes p_i -> t_i -> q_i, the first `marked` of them marked.
testsupport::TestNet Processes(int n, int marked) {
    testsupport::TestNet net;
    for (int i = 0; i < n; ++i) {
        net.place_names.push_back("p" + std::to_string(i));
        net.m0.push_back(i < marked ? 1 : 0);
    }
    for (int i = 0; i < n; ++i) {
        net.place_names.push_back("q" + std::to_string(i));
        net.m0.push_back(0);
    }
    for (int i = 0; i < n; ++i) {
        net.trans_names.push_back("t" + std::to_string(i));
        net.pre.push_back({i});
        net.post.push_back({n + i});
        net.pre_weight.push_back({1});
        net.post_weight.push_back({1});
    }
    return net;
}

testsupport::RunResult RunOn(const testsupport::TestNet& net, const testsupport::TempDir& dir, const std::string& args) {
    ptnet::Write(ptnet::FromTestNet(net), dir.file("x"));
    return Analyser(dir.path(), "x", args);
}

TEST(Symmetries, CountsOfTheGroupAndItsGenerators) {
    testsupport::TempDir dir;
    const struct {
        testsupport::TestNet net;
        std::string args;
        long elements, generators;  // -1: the no-symmetry line
    } cases[] = {
        {Processes(2, 2), "-S", 1, 1},
        {Processes(3, 3), "-S", 5, 2},
        {Processes(4, 4), "-S", 23, 3},
        {Processes(3, 1), "-M", 1, 1},
        {Processes(3, 1), "-S", 5, 2},
        {Processes(1, 1), "-S", -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.net.places()) + " places " + c.args);
        auto run = RunOn(c.net, dir, "-i " + c.args);
        ASSERT_EQ(run.exit_code, 0) << run.err;
        Printed p = Parse(run.out, c.net);
        if (c.elements < 0) {
            EXPECT_TRUE(p.none) << run.out;
        } else {
            EXPECT_FALSE(p.none);
            EXPECT_EQ(p.elements, c.elements) << run.out;
            EXPECT_EQ(p.generators, c.generators) << run.out;
        }
    }
    // A chain: no two places alike.
    testsupport::TestNet chain;
    chain.place_names = {"a", "b", "c"};
    chain.m0 = {1, 0, 0};
    chain.trans_names = {"u", "v"};
    chain.pre = {{0}, {1}};
    chain.post = {{1}, {2}};
    chain.pre_weight = {{1}, {1}};
    chain.post_weight = {{1}, {1}};
    auto run = RunOn(chain, dir, "-S");
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("\nNo non-identity place mapping in any symmetry\n"), std::string::npos) << run.out;
}

// Random nets, half of them two copies of a smaller one side by side: the
// printed group is exactly the set of automorphisms.
TEST(Symmetries, GroupIsEveryAutomorphism) {
    testsupport::TempDir dir;
    int symmetric = 0;
    for (int k = 0; k < 24; ++k) {
        std::uint64_t seed = 5000 + k;
        testsupport::TestNet net = RandomNet(seed, k % 2 == 0 ? 7 : 3, k % 2 == 0 ? 7 : 3);
        if (k % 2 == 1) {
            testsupport::TestNet twice = net;
            int places = net.places();
            for (int p = 0; p < places; ++p) {
                twice.place_names.push_back(net.place_names[p] + "b");
                twice.m0.push_back(net.m0[p]);
            }
            for (int t = 0; t < net.transitions(); ++t) {
                twice.trans_names.push_back(net.trans_names[t] + "b");
                std::vector<int> pre = net.pre[t], post = net.post[t];
                for (int& p : pre)
                    p += places;
                for (int& p : post)
                    p += places;
                twice.pre.push_back(pre);
                twice.post.push_back(post);
                twice.pre_weight.push_back(net.pre_weight.empty() ? std::vector<int>{} : net.pre_weight[t]);
                twice.post_weight.push_back(net.post_weight.empty() ? std::vector<int>{} : net.post_weight[t]);
            }
            net = twice;
        }
        bool keep = k % 4 >= 2;
        SCOPED_TRACE("seed " + std::to_string(seed) + (keep ? " -M" : ""));
        std::set<Perm> expected = Automorphisms(net, keep);
        auto run = RunOn(net, dir, std::string("-i -V 2 ") + (keep ? "-M" : "-S"));
        ASSERT_EQ(run.exit_code, 0) << run.err;
        Printed p = Parse(run.out, net);
        Perm identity(net.places());
        for (int i = 0; i < net.places(); ++i)
            identity[i] = i;
        expected.erase(identity);
        if (expected.empty()) {
            EXPECT_TRUE(p.none) << run.out;
            continue;
        }
        ++symmetric;
        EXPECT_EQ(p.elements, static_cast<long>(expected.size()));
        EXPECT_EQ(p.mappings, expected);
        EXPECT_GE(p.generators, 1);
        EXPECT_LE(p.generators, p.elements);
    }
    EXPECT_GE(symmetric, 10) << "too few nets with symmetries to tell";
}

// The canonical element of a marking's orbit.
Marking Canonical(const Marking& m, const std::set<Perm>& group) {
    Marking best = m;
    for (const Perm& g : group) {
        Marking image(m.size());
        for (std::size_t i = 0; i < m.size(); ++i)
            image[g[i]] = m[i];
        best = std::min(best, image);
    }
    return best;
}

// The reduced graph holds one node per orbit of reachable markings; each
// arrow fires its transition (label halved) into its target, or, with an
// odd label, into an image of it; the terminal nodes are the dead orbits.
// Also under stubborn sets, where the dead orbits stay.
TEST(Symmetries, ReducedGraphHoldsOneNodePerOrbit) {
    std::vector<std::pair<testsupport::TestNet, std::string>> nets;
    for (int n = 2; n <= 4; ++n)
        nets.emplace_back(Processes(n, n), "processes");
    for (int k = 0; k < 16; ++k) {
        testsupport::TestNet net = RandomNet(6000 + k, 3, 3);
        testsupport::TestNet twice = net;
        int places = net.places();
        for (int p = 0; p < places; ++p) {
            twice.place_names.push_back(net.place_names[p] + "b");
            twice.m0.push_back(net.m0[p]);
        }
        for (int t = 0; t < net.transitions(); ++t) {
            twice.trans_names.push_back(net.trans_names[t] + "b");
            std::vector<int> pre = net.pre[t], post = net.post[t];
            for (int& p : pre)
                p += places;
            for (int& p : post)
                p += places;
            twice.pre.push_back(pre);
            twice.post.push_back(post);
            twice.pre_weight.push_back(net.pre_weight.empty() ? std::vector<int>{} : net.pre_weight[t]);
            twice.post_weight.push_back(net.post_weight.empty() ? std::vector<int>{} : net.post_weight[t]);
        }
        nets.emplace_back(twice, "seed " + std::to_string(6000 + k));
    }
    for (const auto& [net, name] : nets) {
        std::set<Perm> group = Automorphisms(net, false);
        testsupport::StateSpace ss = testsupport::explore(net);
        std::set<Marking> orbits, deadOrbits;
        for (const Marking& m : ss.states)
            orbits.insert(Canonical(m, group));
        for (int i : testsupport::dead_states(ss))
            deadOrbits.insert(Canonical(ss.states[i], group));
        for (const std::vector<std::string>& options : {std::vector<std::string>{"-S"}, {"-S", "-s"}}) {
            SCOPED_TRACE(name + " " + options.back());
            testsupport::TempDir dir;
            Generate(ptnet::FromTestNet(net), dir.file("x"), options);
            RawGraph g = ReadRaw(dir.file("x"));
            ASSERT_TRUE(g.ok) << g.error;
            std::set<Marking> nodeOrbits, terminal;
            bool odd = false;
            for (const RawNode& n : g.nodes) {
                Marking m = Decode(n.contents, net.places());
                ASSERT_EQ(m.size(), static_cast<std::size_t>(net.places()));
                EXPECT_TRUE(nodeOrbits.insert(Canonical(m, group)).second) << "two nodes of one orbit";
                for (const RawArrow& a : n.arrows) {
                    std::vector<std::uint32_t> label = LabelValues(a.label);
                    ASSERT_EQ(label.size(), 1u);
                    int t = static_cast<int>(label[0] / 2);
                    ASSERT_TRUE(testsupport::enabled(net, m, t));
                    Marking next = testsupport::fire(net, m, t);
                    Marking target = Decode(g.nodes[g.byAddress.at(a.target)].contents, net.places());
                    if (label[0] % 2 == 0) {
                        EXPECT_EQ(next, target);
                    } else {
                        odd = true;
                        EXPECT_NE(next, target);
                        EXPECT_EQ(Canonical(next, group), Canonical(target, group));
                    }
                }
            }
            for (std::uint32_t o : g.terminal)
                terminal.insert(Canonical(Decode(g.nodes[o].contents, net.places()), group));
            EXPECT_EQ(terminal, deadOrbits);
            if (options.size() == 1) {
                EXPECT_EQ(nodeOrbits, orbits);
            } else {
                EXPECT_TRUE(std::includes(orbits.begin(), orbits.end(), nodeOrbits.begin(), nodeOrbits.end()));
            }
            if (name == "processes" && options.size() == 1) {
                EXPECT_EQ(g.nodes.size(), static_cast<std::size_t>(net.places() / 2 + 1));
                EXPECT_TRUE(odd) << "an arrow matched only by an image";
            }
        }
    }
}

}  // namespace
