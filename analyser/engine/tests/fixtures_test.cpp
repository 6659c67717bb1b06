// Small nets whose graphs and outputs are known by hand: the cycle of the
// net compiler's tables with its net and LTS files, labels of large
// transition numbers, precedence classes, and the four ends of a chain of
// forced invisible steps.
#include <gtest/gtest.h>

#include <set>

#include "alloc.h"
#include "enginetest.h"
#include "inst.h"
#include "invoc.h"
#include "plainnet.h"

using namespace enginetest;

namespace {

// p1 <-> p2 in the net compiler's language: places of arity 1, one token
// <.0.> moving around.
const char kCycleNet[] = R"(#place p1 mk(<.0.>)
#place p2
#trans a
in{p1:<.x.>;}
out{p2:<.x.>;}
#endtr
#trans b
in{p2:<.x.>;}
out{p1:<.x.>;}
#endtr
)";

ptnet::Net CycleInstances() {
    ptnet::Net net;
    net.places = {{"p1", 1, {{0, 1}}}, {"p2", 1, {}}};
    net.transitions = {{"a", {{0, 1, 0}}, {{1, 1, 0}}, true, 0, {0}}, {"b", {{1, 1, 0}}, {{0, 1, 0}}, true, 0, {0}}};
    return net;
}

std::string Blanks(std::size_t n) { return std::string(n, ' '); }

TEST(EngineFixtures, CycleOfTheCompilersTables) {
    testsupport::TempDir dir;
    ASSERT_EQ(Tulc(dir.path(), "x", kCycleNet), 0);
    ASSERT_FALSE(testsupport::read_file(dir.file("x.dat")).empty());
    Generate(CycleInstances(), dir.file("x"), {"-i", "-n", "-z"}, false);
    RawGraph g = ReadRaw(dir.file("x"));
    ASSERT_TRUE(g.ok) << g.error;
    EXPECT_EQ(g.header[1], 2u);
    EXPECT_EQ(g.header[2], 2u);
    EXPECT_EQ(g.header[6], 0u);
    EXPECT_EQ(testsupport::read_file(dir.file("x.ll_net")),
              "VOS\nPetriBox\nFORMAT_N\nPL\n"
              "1\"p1.0\"0@0M1m1k-1\n2\"p2.0\"0@0M0m0k-1\n"
              "TR\n1\"a.x.0\"0@0\n2\"b.x.0\"0@0\n"
              "TP\n2<1w1\n1<2w1\n"
              "PT\n1>1w1\n2>2w1\n");
    // The header lines overwrite the room of two blank lines of 59 bytes.
    std::string head = "LTS |B|\nROOT |0|\nNODE_COUNT |2|\nARC_COUNT |2|\nSYMBOL_COUNT |3|";
    EXPECT_EQ(testsupport::read_file(dir.file("x.lts")),
              head + Blanks(119 - head.size()) + "\n" +
                  "HISTORY |created by ptanalyser|\nEND_HEADER\nSYMBOLS\n0 i\n1 a$x$0\n2 b$x$0\nEND_SYMBOLS\nARCS\n"
                  "0 1 1\n1 0 2\nEND_ARCS\nNODES\nEND_NODES\nEND_LTS\n");
    // The net file reads back as the net of the instances.
    std::string error;
    auto back = testsupport::read_vos(dir.file("x.ll_net"), &error);
    ASSERT_TRUE(back.has_value()) << error;
    EXPECT_EQ(back->place_names, (std::vector<std::string>{"p1.0", "p2.0"}));
    EXPECT_EQ(back->m0, (std::vector<int>{1, 0}));
    EXPECT_EQ(back->pre, (std::vector<std::vector<int>>{{0}, {1}}));
    EXPECT_EQ(back->post, (std::vector<std::vector<int>>{{1}, {0}}));
}

// Transition numbers 127 and 128: one byte 128, and the lead byte 132 with
// two groups.  Only visible arrows, labels without their NUL in the file.
TEST(EngineFixtures, LabelsOfLargeTransitionNumbers) {
    testsupport::TestNet tn;
    tn.place_names = {"p0", "p1"};
    tn.m0 = {1, 0};
    for (int t = 0; t < 130; ++t) {
        tn.trans_names.push_back("t" + std::to_string(t));
        tn.pre.push_back({0});
        tn.post.push_back({1});
    }
    testsupport::TempDir dir;
    Generate(ptnet::FromTestNet(tn), dir.file("x"), {"-i"});
    RawGraph g = ReadRaw(dir.file("x"));
    ASSERT_TRUE(g.ok) << g.error;
    ASSERT_EQ(g.nodes[0].arrows.size(), 130u);
    EXPECT_EQ(Hex(g.nodes[0].arrows[0].label), "01");
    EXPECT_EQ(Hex(g.nodes[0].arrows[127].label), "80");
    EXPECT_EQ(Hex(g.nodes[0].arrows[128].label), "84 01 02");
    EXPECT_EQ(Hex(g.nodes[0].arrows[129].label), "84 02 02");
    for (std::size_t k = 0; k < 130; ++k)
        EXPECT_EQ(g.nodes[0].arrows[k].ordinal(), k);
}

// Class 1 takes precedence over class 0: ta fires only where tb is not
// enabled.
TEST(EngineFixtures, PrecedenceClasses) {
    ptnet::Net net;
    net.places = {{"p1", 0, {{0, 1}}}, {"q1", 0, {}}, {"p2", 0, {{0, 1}}}, {"q2", 0, {}}};
    net.transitions = {{"ta", {{0, 1}}, {{1, 1}}, true, 0, {}}, {"tb", {{2, 1}}, {{3, 1}}, true, 1, {}}};
    net.classes = 2;
    struct Case {
        bool prec;
        std::uint32_t nodes, arrows;
    } cases[] = {{true, 3, 2}, {false, 4, 4}};
    for (const Case& c : cases) {
        net.prec.clear();
        if (c.prec)
            net.prec.push_back({0, 1});
        testsupport::TempDir dir;
        Generate(net, dir.file("x"), {"-i"});
        RawGraph g = ReadRaw(dir.file("x"));
        ASSERT_TRUE(g.ok) << g.error;
        EXPECT_EQ(g.header[1], c.nodes) << "precedence " << c.prec;
        EXPECT_EQ(g.header[2], c.arrows) << "precedence " << c.prec;
        EXPECT_EQ(g.header[6], 1u);
    }
}

struct ChainCase {
    const char* name;
    // places, transitions: a (visible) from p0 to p1, then the others
    std::vector<ptnet::Transition> rest;
    std::vector<std::string> graph;  // per node: "contents: target/label ..."
    std::vector<std::uint32_t> terminal;
};

std::string Describe(const RawGraph& g, std::size_t node) {
    std::string text = Hex(g.nodes[node].contents) + ":";
    for (const RawArrow& a : g.nodes[node].arrows)
        text += " " + std::to_string(g.byAddress.at(a.target)) + "/" + Hex(a.label);
    return text;
}

// After the visible a from p0 to p1: b (invisible) from p1 to p2 and then
// c from p2 either branches (case E), is absent (deadlock, case D), returns
// to the start node (an old node, case O) or closes an invisible cycle back
// to p1 (the chain's own node).  Contents "01" is p0, "02" p1, "03" p2,
// "04" p3; the arrows of a node are chained, newest first.
TEST(EngineFixtures, ChainsOfForcedInvisibleSteps) {
    ptnet::Transition b{"b", {{1, 1}}, {{2, 1}}, false, 0, {}};
    const ChainCase cases[] = {
        {"branch", {b, {"c", {{2, 1}}, {{3, 1}}, false, 0, {}}, {"d", {{2, 1}}, {{3, 1}}, true, 0, {}}},
         {"01: 1/01 02", "03: 2/04 2/03", "04:"}, {2}},
        {"deadlock", {b}, {"01: 1/01 02", "03:"}, {1}},
        {"old node", {b, {"c", {{2, 1}}, {{0, 1}}, false, 0, {}}}, {"01: 0/01 02 03"}, {}},
        {"cycle", {b, {"c", {{2, 1}}, {{1, 1}}, false, 0, {}}}, {"01: 1/01", "02: 1/02 03"}, {}},
    };
    for (const ChainCase& c : cases) {
        ptnet::Net net;
        net.places = {{"p0", 0, {{0, 1}}}, {"p1", 0, {}}, {"p2", 0, {}}, {"p3", 0, {}}};
        net.transitions = {{"a", {{0, 1}}, {{1, 1}}, true, 0, {}}};
        net.transitions.insert(net.transitions.end(), c.rest.begin(), c.rest.end());
        testsupport::TempDir dir;
        Generate(net, dir.file("x"), {"-e", "-z"});
        RawGraph g = ReadRaw(dir.file("x"));
        ASSERT_TRUE(g.ok) << c.name << ": " << g.error;
        std::vector<std::string> graph;
        for (std::size_t n = 0; n < g.nodes.size(); ++n)
            graph.push_back(Describe(g, n));
        EXPECT_EQ(graph, c.graph) << c.name;
        EXPECT_EQ(g.terminal, c.terminal) << c.name;
        EXPECT_EQ(g.header[8], g.header[1]) << c.name;
        // The ZEL lines name the nodes the arrows finally reach.
        std::string lts = testsupport::read_file(dir.file("x.lts"));
        std::string arcs = lts.substr(lts.find("ARCS\n") + 5);
        arcs = arcs.substr(0, arcs.find("END_ARCS"));
        std::multiset<std::string> expected, lines;
        for (std::size_t n = 0; n < g.nodes.size(); ++n)
            for (const RawArrow& a : g.nodes[n].arrows)
                expected.insert(std::to_string(n) + " " + std::to_string(g.byAddress.at(a.target)) + " " +
                                (a.visible() ? std::to_string(LabelValues(a.label)[0] + 1) : "0"));
        // The self-loop of a cycle is stored without a ZEL line of its own.
        if (std::string(c.name) == "cycle")
            expected = {"0 1 1"};
        for (std::size_t at = 0, end; (end = arcs.find('\n', at)) != std::string::npos; at = end + 1)
            lines.insert(arcs.substr(at, end - at));
        EXPECT_EQ(lines, expected) << c.name;
    }
}

// An LTS whose symbol lines the engine main wrote while it named the
// actions, and whose arcs went to a file of their own.
TEST(EngineFixtures, LtsWithSeparateArcs) {
    testsupport::TempDir dir;
    std::string name = dir.file("x");
    myName = "prog";
    LTSBegin(name.data(), 1);
    _zelTree = BalTrCreate(&strBalTools);
    for (const char* action : {"a", "b"})
        BalTrInsert(_zelTree, StrCp(action), action, TRUE);
    std::fputs("1 a\n2 b\n", _zelFile);
    std::fputs("0 1 1\n1 0 2\n", _zelArcFile);
    LTSEnd();
    std::string head = "LTS |B|\nROOT |0|\nNODE_COUNT |0|\nARC_COUNT |0|\nSYMBOL_COUNT |3|";
    EXPECT_EQ(testsupport::read_file(name + ".lts"),
              head + Blanks(119 - head.size()) + "\n" +
                  "HISTORY |created by prog|\nEND_HEADER\nSYMBOLS\n0 i\n1 a\n2 b\nEND_SYMBOLS\nARCS\n0 1 1\n1 0 2\n"
                  "END_ARCS\nNODES\nEND_NODES\nEND_LTS\n");
    EXPECT_FALSE(testsupport::read_file(name + ".arc").size() > 0) << "the arc file is deleted";
    EXPECT_EQ(_zelTree, nullptr);
}

// The Buchi section, driven without the engine main: in the start node only
// the initialisation transition fires (the scan stops at it); elsewhere the
// stuttering transition fires when nothing else is enabled, in every state,
// not only in the first; each step is tried for the automaton states that
// may follow, and the current state's place keeps its token.
TEST(EngineFixtures, BuchiSectionInPlainMode) {
    testsupport::TempDir dir;
    InsAlloc(3, 3);
    PtLTSInit();
    _onTheFly = FLY_BUCHI;
    TUPLE* empty = TupCons(0);
    auto place = [&](unsigned p) {
        TupEncode(static_cast<int>(p), empty, &_engBuffer, &_engBfSize);
        return GetPlc(_engBuffer);
    };
    auto transition = [&](int t, unsigned flag) {
        InsEncode(t, 0, nullptr, &_engBuffer, &_engBfSize);
        TRN* trn = GetTrn(0, _engBuffer, &_new);
        trn->_flag |= flag;
        return trn;
    };
    place(0)->_count = 1;
    place(1);
    PLC* state = place(2);
    state->_count = 1;
    state->_flag |= PLC_BUCHI;
    state->_lp._next = LstCreate(&plcTools);
    LstInsLast(state->_lp._next, state);
    TRN* init = transition(0, TRN_INITIAL);
    PutInArc(init, 1, 0, empty);
    PutOutArc(init, 1, 1, empty);
    TrnReform(init);
    TRN* also = transition(1, TRN_INITIAL);  // after the first: never reached
    PutInArc(also, 1, 0, empty);
    TrnReform(also);
    transition(2, TRN_DUMMY);
    TupDiscard(empty);
    PlcFill();
    TrnFill();
    std::string name = dir.file("x");
    _graph[0] = GphCreate(name.data(), 0, 64, 0);
    unsigned length = PlcEncode(_tblPlc, &_engBuffer, &_engBfSize);
    uint32_t start = GphPutNode(_graph[0], _engBuffer, length, &_back);
    _path[0] = PthCreate(start);
    _path[3] = _path[0];
    buPlc = state;
    _buchiOK = [] { return TRUE; };
    for (uint32_t ordinal = 0; ordinal < 2; ++ordinal) {
        ASSERT_LT(ordinal, GphNdCount(_graph[0]));
        uint32_t node = GphId(_graph[0], ordinal);
        PlcDecode(GphNode(_graph[0], node));
        _path[0]->end = node;
        PtFollowers();
        EXPECT_EQ(state->_count, 1u) << "node " << ordinal;
    }
    GphClose(_graph[0]);
    PthDracsid(_path[0]);
    _path[0] = _path[3] = nullptr;
    PtRelease();
    _onTheFly = 0;
    _buchiOK = nullptr;
    RawGraph g = ReadRaw(name);
    ASSERT_TRUE(g.ok) << g.error;
    ASSERT_EQ(g.nodes.size(), 2u);
    ASSERT_EQ(g.nodes[0].arrows.size(), 1u);
    EXPECT_EQ(Hex(g.nodes[0].arrows[0].label), "01") << "only the first initialisation transition";
    ASSERT_EQ(g.nodes[1].arrows.size(), 1u) << "the stuttering transition fires in the second state too";
    EXPECT_EQ(Hex(g.nodes[1].arrows[0].label), "03");
    EXPECT_EQ(g.nodes[1].arrows[0].target, g.nodes[1].address);
}

}  // namespace
