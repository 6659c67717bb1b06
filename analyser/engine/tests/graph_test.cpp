// The graph file set: opening and its refusals, the query checks, the
// statistics, the strongly connected components against an explicit
// computation on the explorer's state space, and shortest paths.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <functional>

#include "alloc.h"
#include "enginetest.h"
#include "graph.h"
#include "testutil.h"

using namespace enginetest;
using testsupport::Marking;

namespace {

void PatchWord(const std::string& file, int word, std::uint32_t value) {
    std::string bytes = testsupport::read_file(file);
    for (int k = 0; k < 4; ++k)
        bytes[4 * word + k] = static_cast<char>(value >> (8 * k));
    testsupport::write_file(file, bytes);
}

// GphOpen with _err in a scratch file: whether it opened, and what it said.
std::pair<bool, std::string> Open(const std::string& name, int reason) {
    FILE* saved = _err;
    std::string scratch = name + ".msg";
    _err = std::fopen(scratch.c_str(), "w");
    GRAPH* graph = GphOpen(const_cast<char*>(name.c_str()), reason, 0);
    std::fclose(_err);
    _err = saved;
    if (graph != nullptr)
        GphClose(graph);
    return {graph != nullptr, testsupport::read_file(scratch)};
}

testsupport::TestNet Line(int n) {
    testsupport::TestNet net;
    for (int p = 0; p < n; ++p)
        net.place_names.push_back("p" + std::to_string(p));
    for (int t = 0; t + 1 < n; ++t) {
        net.trans_names.push_back("t" + std::to_string(t));
        net.pre.push_back({t});
        net.post.push_back({t + 1});
    }
    net.m0.assign(n, 0);
    net.m0[0] = 1;
    return net;
}

void Components(const std::string& name) {
    GRAPH* graph = GphOpen(const_cast<char*>(name.c_str()), 1, 0);
    ASSERT_NE(graph, nullptr);
    GphMapToMem(graph, 0);
    GphSgSearch(graph);
    GphClose(graph);
}

std::vector<unsigned long> Elements(AVLSET* set) {
    static std::vector<unsigned long>* into;
    std::vector<unsigned long> elements;
    into = &elements;
    BalTrApply(set, [](void* e) {
        into->push_back(*static_cast<unsigned long*>(e));
        return 0;
    });
    BalTrDestroy(set, TRUE);
    return elements;
}

TEST(EngineGraphFiles, OpeningRefusals) {
    testsupport::TempDir dir;
    std::string x = dir.file("x");
    Generate(ptnet::FromTestNet(Line(3)), x, {"-i"});
    const std::string gph = x + ".gph", aws = x + ".aws", adr = x + ".adr", hsh = x + ".hsh";
    const std::string complete = testsupport::read_file(gph);
    const std::string arrows = testsupport::read_file(aws), addresses = testsupport::read_file(adr);
    const std::string damaged = "\nThe files of graph %s are damaged: ";
    struct Case {
        const char* what;
        std::function<void()> damage;
        int reason;
        std::string message;
    } cases[] = {
        {"complete", [] {}, 0, "\nReachability graph %s has been completely generated\n"},
        {"illegal path", [&] { PatchWord(gph, 8, 0), PatchWord(gph, 0, 0x1000); }, 0,
         "\nGraph generation will not be continued because\nan illegal path has already been found\n"},
        {"bdd", [&] { PatchWord(gph, 8, 0), PatchWord(gph, 0, 0x20); }, 0,
         "\nBDD-based graph generation will not be continued\n"},
        {"monitor", [&] { PatchWord(gph, 8, 0), PatchWord(gph, 0, 0x2000); }, 0,
         "\nGraph generation will not be continued because\nan infinite path monitor state has been defined\n"},
        {"no hash", [&] { PatchWord(gph, 8, 0); }, 0, "x.hsh"},
        {"no nodes file", [&] { std::remove(gph.c_str()); }, 0, "x.gph"},
        {"short nodes file", [&] { testsupport::write_file(gph, complete.substr(0, 10)); }, 0,
         "\nThe nodes file %s.gph of the graph is shorter than its header\n"},
        {"components of no node", [&] { PatchWord(gph, 1, 0); }, 1,
         "\nComputation of strongly connected components of %s is not allowed\nuntil all nodes of %s have been "
         "completely processed\nand there is at least one node in %s\n"},
        {"components unfinished", [&] { PatchWord(gph, 8, 1); }, 1,
         "\nComputation of strongly connected components of %s is not allowed\nuntil all nodes of %s have been "
         "completely processed\n"},
        {"components twice", [&] { Components(x); }, 1, "\nStrongly connected components of %s have already been computed\n"},
        {"reason", [] {}, 3, "\nIllegal reason for GphOpen: 3\n"},
        // Files that do not fit their header: refused before anything is
        // read through them.
        {"short arrows file", [&] { testsupport::write_file(aws, arrows.substr(0, arrows.size() - 1)); }, 2,
         damaged + "the arrows file is shorter than its header says\n"},
        {"short addresses file", [&] { testsupport::write_file(adr, addresses.substr(0, 4)); }, 1,
         damaged + "the addresses file is shorter than its header says\n"},
        {"nodes file short of its end", [&] { testsupport::write_file(gph, complete.substr(0, complete.size() - 1)); },
         2, damaged + "the nodes file is shorter than its header says\n"},
        {"more arrows than records", [&] { PatchWord(gph, 2, 1000); }, 2,
         damaged + "its header counts more nodes or arrows than its files hold\n"},
        {"contents longer than the file", [&] { PatchWord(gph, 16, 0xFFFFFFFFu); }, 2,
         damaged + "its header gives node contents longer than the nodes file\n"},
        {"more processed than nodes", [&] { PatchWord(gph, 8, 7); }, 2,
         damaged + "its header counts more processed nodes than it can have\n"},
        {"node addresses out of order", [&] { PatchWord(adr, 2, 84); }, 2,
         damaged + "a node address lies out of order or outside the nodes file\n"},
        {"hash beyond its slots",
         [&] { PatchWord(gph, 8, 0), PatchWord(gph, 13, 0xFFFFFFFFu), testsupport::write_file(hsh, std::string(8, '\0')); },
         0, damaged + "the hash file does not fit its header\n"},
        {"hash shorter than its slots", [&] { PatchWord(gph, 8, 0), testsupport::write_file(hsh, std::string(8, '\0')); },
         0, damaged + "the hash file does not fit its header\n"},
    };
    for (const Case& c : cases) {
        testsupport::write_file(gph, complete);
        testsupport::write_file(aws, arrows);
        testsupport::write_file(adr, addresses);
        std::remove(hsh.c_str());
        c.damage();
        std::string expected = c.message;
        for (std::size_t at; (at = expected.find("%s")) != std::string::npos;)
            expected.replace(at, 2, x);
        auto [opened, message] = Open(x, c.reason);
        EXPECT_FALSE(opened) << c.what;
        EXPECT_NE(message.find(expected), std::string::npos) << c.what << ": " << message;
        EXPECT_TRUE(testsupport::read_file(x + ".gph").size() != 0 || std::string(c.what) == "no nodes file")
            << c.what << ": a refusal creates no file";
    }
    testsupport::write_file(gph, complete);
    testsupport::write_file(aws, arrows);
    testsupport::write_file(adr, addresses);
    std::remove(hsh.c_str());
    EXPECT_TRUE(Open(x, 2).first);
}

TEST(EngineGraphFiles, QueryChecksAbort) {
    testsupport::TempDir dir;
    std::string x = dir.file("x");
    Generate(ptnet::FromTestNet(Line(2)), x, {"-i"});
    struct Case {
        const char* message;
        std::function<void(GRAPH*)> query;
    } cases[] = {
        {"\nIllegal GphFlFirst call\n",
         [](GRAPH* g) {
             unsigned long aw, succ;
             GphFlFirst(g, GphId(g, 1), &aw, &succ);
         }},
        {"\nIllegal node address for GphOrdinal: 5\n", [](GRAPH* g) { GphOrdinal(g, 5); }},
        {"\nIllegal node ordinal number for GphId: 2\n", [](GRAPH* g) { GphId(g, 2); }},
        {"\nIllegal GphFresh call\n", [](GRAPH* g) { GphFresh(g, 84, 1); }},
        {"\nIllegal GphCompNumber call\n", [](GRAPH* g) { GphCompNumber(g, 84); }},
        {"\nIllegal arrow address for GphArrow: 4000\n", [](GRAPH* g) { GphArrow(g, 4000); }},
        {"\nIllegal GphTmSgGet call\n", [](GRAPH* g) { GphTmSgGet(g); }},
    };
    for (const Case& c : cases) {
        auto run = supporttest::RunChild([&] {
            GRAPH* g = GphOpen(const_cast<char*>(x.c_str()), 2, 0);
            c.query(g);
        });
        EXPECT_EQ(run.signal, SIGABRT) << c.message;
        EXPECT_EQ(run.err, c.message);
        EXPECT_EQ(run.out, "\n");
    }
    // A member link of the start node's component that leads back to the
    // start node (its left-child word, the sixth) ends the walk instead of
    // running in circles.
    Components(x);
    std::string nodes = testsupport::read_file(x + ".gph");
    nodes.replace(84 + 4 * 5, 4, std::string("\x54\0\0\0", 4));
    testsupport::write_file(x + ".gph", nodes);
    auto run = supporttest::RunChild([&] {
        GRAPH* g = GphOpen(const_cast<char*>(x.c_str()), 2, 0);
        GphSgGet(g, GphCompNumber(g, 84));
    });
    EXPECT_EQ(run.signal, SIGABRT);
    EXPECT_NE(run.err.find("\nGphSgGet: the members of component "), std::string::npos) << run.err;
}

// The check word of depth-first graphs with an infinite-path monitor.
TEST(EngineGraphFiles, CheckBits) {
    testsupport::TempDir dir;
    std::string x = dir.file("x");
    auto run = supporttest::RunChild([&] {
        GRAPH* g = GphCreate(const_cast<char*>(x.c_str()), GF_DFS | GF_INFMON, 16, 0);
        unsigned long back = 0;
        unsigned char contents[] = "\x01";
        uint32_t node = GphPutNode(g, contents, 1, &back);
        std::fprintf(_out, "%d%d", GphFresh(g, node, 1), GphFresh(g, node, 2));
        GphConsume(g, node, 1);
        std::fprintf(_out, "%d%d", GphFresh(g, node, 1), GphFresh(g, node, 2));
        GphConsume(g, node, 3);
        std::fprintf(_out, "%d;", GphFresh(g, node, 2));
        std::fflush(_out);
        GphConsume(g, node, 2);
    });
    EXPECT_EQ(run.signal, SIGABRT);
    EXPECT_EQ(run.out, "11010;\n");
    EXPECT_EQ(run.err, "\nUseless GphConsume call\n");
}

TEST(EngineGraphFiles, Statistics) {
    testsupport::TempDir dir;
    std::string x = dir.file("x");
    Generate(ptnet::FromTestNet(Line(3)), x, {"-i"});
    EXPECT_EQ(testsupport::read_file(x + ".out"),
              "Number of nodes: 3\nNumber of arrows: 2\nNumber of terminal nodes: 1\n"
              "Number of nodes that have been completely processed: 3\n"
              "Strongly connected components have not been computed\n");
    Components(x);
    GRAPH* g = GphOpen(const_cast<char*>(x.c_str()), 2, 0);
    char* text = nullptr;
    std::size_t size = 0;
    FILE* stream = open_memstream(&text, &size);
    GphStatistics(g, stream);
    std::fclose(stream);
    EXPECT_EQ(std::string(text),
              "Number of nodes: 3\nNumber of arrows: 2\nNumber of terminal nodes: 1\n"
              "Number of nodes that have been completely processed: 3\n"
              "Number of strongly connected components: 3\n"
              "Number of nontrivial terminal strongly connected components: 0\n");
    std::free(text);
    GphClose(g);
}

// p0 -> p1 <-> p2: two components, the cycle a nontrivial terminal one.
TEST(EngineComponents, SmallGraphs) {
    struct Case {
        testsupport::TestNet net;
        std::uint32_t comps, termComps;
    };
    testsupport::TestNet cycle = Line(3);
    cycle.trans_names.push_back("back");
    cycle.pre.push_back({2});
    cycle.post.push_back({1});
    testsupport::TestNet ring = Line(2);
    ring.trans_names.push_back("back");
    ring.pre.push_back({1});
    ring.post.push_back({0});
    const Case cases[] = {{cycle, 2, 1}, {Line(1), 1, 0}, {ring, 1, 0}};
    for (const Case& c : cases) {
        testsupport::TempDir dir;
        std::string x = dir.file("x");
        Generate(ptnet::FromTestNet(c.net), x, {"-i"});
        Components(x);
        RawGraph g = ReadRaw(x);
        ASSERT_TRUE(g.ok) << g.error;
        EXPECT_EQ(g.header[3], c.comps);
        EXPECT_EQ(g.header[4], c.termComps);
        if (c.comps == 1) {
            EXPECT_EQ(g.header[5], 0xFFFFFFFFu) << "one component: no terminal chain";
        }
    }
}

// Components on random nets against mutual reachability in the explorer's
// state space: the same partition, the same successor components.
TEST(EngineComponents, RandomNetsAgainstMutualReachability) {
    for (std::uint64_t seed = 4000; seed < 4012; ++seed) {
        testsupport::TestNet net = RandomNet(seed);
        testsupport::StateSpace ss = testsupport::explore(net);
        std::size_t n = ss.states.size();
        std::vector<std::vector<bool>> reach(n, std::vector<bool>(n, false));
        for (std::size_t s = 0; s < n; ++s) {
            std::vector<std::size_t> stack = {s};
            reach[s][s] = true;
            while (!stack.empty()) {
                std::size_t u = stack.back();
                stack.pop_back();
                for (auto [t, v] : ss.succ[u])
                    if (!reach[s][v]) {
                        reach[s][v] = true;
                        stack.push_back(v);
                    }
            }
        }
        std::map<Marking, std::size_t> index;
        for (std::size_t s = 0; s < n; ++s)
            index[ss.states[s]] = s;
        SCOPED_TRACE("seed " + std::to_string(seed));
        testsupport::TempDir dir;
        std::string x = dir.file("x");
        Generate(ptnet::FromTestNet(net), x, {"-i"});
        Components(x);
        GRAPH* g = GphOpen(const_cast<char*>(x.c_str()), 2, 0);
        GphMapToMem(g, 0);
        std::vector<std::size_t> state(n);
        std::vector<uint32_t> comp(n);
        for (uint32_t o = 0; o < n; ++o) {
            uint32_t node = GphId(g, o);
            state[o] = index.at(Decode(reinterpret_cast<char*>(GphNode(g, node)), net.places()));
            comp[o] = GphCompNumber(g, node);
        }
        std::set<unsigned long> terminalComps;
        for (uint32_t a = 0; a < n; ++a)
            for (uint32_t b = 0; b < n; ++b) {
                bool together = reach[state[a]][state[b]] && reach[state[b]][state[a]];
                EXPECT_EQ(comp[a] == comp[b], together);
            }
        std::size_t nontrivialTerminal = 0;
        for (uint32_t c = 0; c < GphSgCount(g); ++c) {
            std::vector<unsigned long> members = Elements(GphSgGet(g, c));
            ASSERT_FALSE(members.empty());
            for (unsigned long m : members)
                EXPECT_EQ(GphCompNumber(g, m), c);
            // The successors: the components of the members' successors
            // outside the component.
            std::set<unsigned long> expected;
            for (unsigned long m : members) {
                std::size_t s = state[GphOrdinal(g, m)];
                for (auto [t, v] : ss.succ[s])
                    for (uint32_t o = 0; o < n; ++o)
                        if (state[o] == static_cast<std::size_t>(v) && comp[o] != c)
                            expected.insert(comp[o]);
            }
            std::vector<unsigned long> succ = Elements(GphSgSucc(g, c));
            EXPECT_EQ(std::set<unsigned long>(succ.begin(), succ.end()), expected);
            EXPECT_EQ(GphSgFlCount(g, c), expected.size());
            bool trivial = members.size() == 1 && ss.succ[state[GphOrdinal(g, members[0])]].empty();
            if (expected.empty() && !trivial)
                ++nontrivialTerminal;
        }
        if (GphSgCount(g) > 1) {
            EXPECT_EQ(GphTmSgCount(g), nontrivialTerminal);
            EXPECT_EQ(Elements(GphTmSgGet(g)).size(), nontrivialTerminal);
        }
        GphClose(g);
    }
}

struct Search {
    std::set<unsigned long> targets, blocked;
};

int Admit(void* formula, GRAPH* g, unsigned long node) {
    return static_cast<Search*>(formula)->targets.count(GphOrdinal(g, node)) != 0;
}
int Along(void* formula, GRAPH* g, unsigned long node) {
    return static_cast<Search*>(formula)->blocked.count(GphOrdinal(g, node)) == 0;
}

// Paths to the admitted nodes in order of distance, over nodes the search
// may run on; a polled stop discards the path.
TEST(EngineShortest, PathsInOrderOfDistance) {
    testsupport::TempDir dir;
    std::string x = dir.file("x");
    testsupport::TestNet net = Line(5);
    net.trans_names.push_back("short");  // p0 -> p3 directly
    net.pre.push_back({0});
    net.post.push_back({3});
    Generate(ptnet::FromTestNet(net), x, {"-i"});
    GRAPH* g = GphOpen(const_cast<char*>(x.c_str()), 2, 0);
    GphMapToMem(g, 0);
    auto length = [](PATH* p) { return p == nullptr ? -1 : static_cast<int>(LstSize(p->steps)); };
    Search search{{2, 4}, {}};
    unsigned long present = GphStart(g), head = 0, tail = 0;
    PATH* path = nullptr;
    int cont = 1;
    // Ordinals: 0 {p0}, 1 {p1}, 2 {p3} (the short cut), 3 {p2}, 4 {p4}.
    ASSERT_EQ(GphShortest(g, &present, &head, &tail, &path, &cont, &search, Along, Admit), 1);
    EXPECT_EQ(GphOrdinal(g, present), 2u);
    EXPECT_EQ(length(path), 1);
    EXPECT_EQ(path->end, present);
    PthDracsid(path);
    path = nullptr;
    present = GphStart(g);
    ASSERT_EQ(GphShortest(g, &present, &head, &tail, &path, &cont, &search, Along, Admit), 1);
    EXPECT_EQ(GphOrdinal(g, present), 2u) << "a fresh search finds the nearest again";
    ASSERT_EQ(GphShortest(g, &present, &head, &tail, &path, &cont, &search, Along, Admit), 1);
    EXPECT_EQ(GphOrdinal(g, present), 4u);
    EXPECT_EQ(length(path), 1 + 2) << "the found path joined to the path given";
    EXPECT_EQ(GphShortest(g, &present, &head, &tail, &path, &cont, &search, Along, Admit), 0);
    EXPECT_EQ(path, nullptr);
    // Blocked at {p3}: {p4} lies behind it.
    Search blocked{{4}, {2}};
    present = GphStart(g);
    EXPECT_EQ(GphShortest(g, &present, &head, &tail, &path, &cont, &blocked, Along, Admit), 0);
    cont = 0;
    present = GphStart(g);
    EXPECT_EQ(GphShortest(g, &present, &head, &tail, &path, &cont, &search, Along, Admit), 0);
    EXPECT_EQ(path, nullptr);
    GphClose(g);
}

}  // namespace
