// Analysers built from net descriptions: tulc writes the C code, tulmbuild
// compiles and links it with the engine, the analyser generates the graph,
// and the graph files are read back and compared with hand counts and with
// the explicit explorer.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "enginetest.h"
#include "inst.h"
#include "mark.h"

using namespace enginetest;

namespace {

struct Built {
    testsupport::RunResult build, run;
    RawGraph graph;
};

std::string Quote(const std::string& s) { return testsupport::shell_quote(s); }

// Writes base.net into dir, builds its analyser with tulmbuild (tulc
// options before the name) and runs it with the given options.
Built BuildAndRun(const std::string& dir, const std::string& base, const std::string& net,
                  const std::string& tulcArgs = "", const std::string& runArgs = "") {
    Built b;
    testsupport::write_file(dir + "/" + base + ".net", net);
    const std::string env = "TULMPATH=" + Quote(TULM_SOURCE_PATH) + " ASAN_OPTIONS=detect_leaks=0 ";
    b.build = testsupport::run("cd " + Quote(dir) + " && " + env + Quote(std::string(VOS_BIN_DIR) + "/tulmbuild") + " " +
                               tulcArgs + " " + base);
    if (b.build.exit_code != 0) return b;
    b.run = testsupport::run("cd " + Quote(dir) + " && " + env + "./" + base + " " + runArgs + " " + base);
    if (b.run.exit_code == 0) b.graph = ReadRaw(dir + "/" + base);
    return b;
}

std::size_t Arrows(const RawGraph& g) {
    std::size_t n = 0;
    for (const RawNode& node : g.nodes) n += node.arrows.size();
    return n;
}

std::size_t Lines(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

// A place/transition net as a net description: every token is <.0.>, the
// weights of the arcs between a place and a transition added up.
std::string Description(const testsupport::TestNet& net) {
    std::string text;
    for (int p = 0; p < net.places(); ++p) {
        text += "#place " + net.place_names[p];
        if (net.m0[p] != 0) text += " mk(" + std::to_string(net.m0[p]) + "<.0.>)";
        text += "\n";
    }
    for (int t = 0; t < net.transitions(); ++t) {
        text += "#trans " + net.trans_names[t] + "\n";
        for (int side = 0; side < 2; ++side) {
            std::map<int, int> w;
            const auto& places = side == 0 ? net.pre[t] : net.post[t];
            for (std::size_t i = 0; i < places.size(); ++i) w[places[i]] += side == 0 ? net.pre_w(t, i) : net.post_w(t, i);
            if (w.empty()) continue;
            text += side == 0 ? "in {" : "out {";
            for (const auto& [p, n] : w) text += " " + net.place_names[p] + " : " + std::to_string(n) + "<.0.> ;";
            text += " }\n";
        }
        text += "#endtr\n";
    }
    return text;
}

// A node of the generated successor function as a marking: the state
// string decoded by the engine's own decoder with every place of arity 1;
// a place's count is the sum of its entries, which must all be <.0.>.
testsupport::Marking StateMarking(const std::string& contents, int places) {
    std::vector<std::uint32_t> profile(static_cast<std::size_t>(places), 1);
    const std::uint32_t savedPlaces = _magNofPlaces;
    std::uint32_t* savedProfile = _magProfile;
    _magNofPlaces = static_cast<std::uint32_t>(places);
    _magProfile = profile.data();
    std::vector<MARKING*> state(static_cast<std::size_t>(places), nullptr);
    std::string bytes = contents + '\0';
    StaDecode(reinterpret_cast<unsigned char*>(&bytes[0]), state.data());
    testsupport::Marking m(static_cast<std::size_t>(places), 0);
    for (int p = 0; p < places; ++p) {
        for (LISTNODE* c = state[p] ? state[p]->_first : nullptr; c != nullptr; c = c->_next) {
            const MULTUP* mt = static_cast<const MULTUP*>(c->_node);
            if (mt->_tuple->_arity == 1 && mt->_tuple->_array[0] == 0) m[p] += static_cast<int>(mt->_count);
            else m[p] = -1000000;
        }
        if (state[p]) LstDestroy(state[p], TRUE);
    }
    _magNofPlaces = savedPlaces;
    _magProfile = savedProfile;
    return m;
}

}  // namespace

// Random place/transition nets (weights, test arcs, double arcs): the
// generated analyser stores exactly the explorer's reachable markings with
// one arrow per enabled transition, and its counts equal those of the same
// analyser run through PtFollowers (-i).
TEST(TulmNet, RandomNetsAgainstTheExplorer) {
    for (std::uint64_t seed : {3u, 17u, 29u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const testsupport::TestNet net = RandomNet(seed, 6, 6, 150);
        const testsupport::StateSpace ss = testsupport::explore(net);
        ASSERT_TRUE(ss.complete);
        testsupport::TempDir dir;
        Built b = BuildAndRun(dir.path(), "x", Description(net));
        ASSERT_EQ(b.build.exit_code, 0) << b.build.err << Description(net);
        ASSERT_EQ(b.run.exit_code, 0) << b.run.err;
        ASSERT_TRUE(b.graph.ok) << b.graph.error;
        std::set<testsupport::Marking> stored;
        for (const RawNode& n : b.graph.nodes) stored.insert(StateMarking(n.contents, net.places()));
        EXPECT_EQ(stored, std::set<testsupport::Marking>(ss.states.begin(), ss.states.end()));
        EXPECT_EQ(b.graph.nodes.size(), ss.states.size());
        std::size_t arrows = 0;
        for (const auto& s : ss.succ) arrows += s.size();
        EXPECT_EQ(Arrows(b.graph), arrows);
        EXPECT_EQ(b.graph.terminal.size(), testsupport::dead_states(ss).size());
        // Every arrow leads to the successor of its source under its label.
        for (const RawNode& n : b.graph.nodes)
            for (const RawArrow& a : n.arrows) {
                const auto label = LabelValues(a.label);
                ASSERT_FALSE(label.empty());
                const auto from = StateMarking(n.contents, net.places());
                ASSERT_TRUE(testsupport::enabled(net, from, static_cast<int>(label[0])));
                EXPECT_EQ(StateMarking(b.graph.nodes[b.graph.byAddress.at(a.target)].contents, net.places()),
                          testsupport::fire(net, from, static_cast<int>(label[0])));
            }
        auto inst = testsupport::run("cd " + Quote(dir.path()) + " && TULMPATH=" + Quote(TULM_SOURCE_PATH) +
                                     " ASAN_OPTIONS=detect_leaks=0 ./x -i x");
        ASSERT_EQ(inst.exit_code, 0) << inst.err;
        RawGraph g = ReadRaw(dir.file("x"));
        ASSERT_TRUE(g.ok) << g.error;
        EXPECT_EQ(g.nodes.size(), b.graph.nodes.size());
        EXPECT_EQ(Arrows(g), Arrows(b.graph));
        EXPECT_EQ(g.terminal.size(), b.graph.terminal.size());
    }
}

// The smallest net end to end: one source file, three script lines.
TEST(TulmNet, RingOfTwoPlaces) {
    testsupport::TempDir dir;
    Built b = BuildAndRun(dir.path(), "ring",
                          "#place p mk(<.0.>)\n#place q\n#trans t\nin { p : <.0.> ; }\nout { q : <.0.> ; }\n#endtr\n"
                          "#trans u\nin { q : <.0.> ; }\nout { p : <.0.> ; }\n#endtr\n");
    ASSERT_EQ(b.build.exit_code, 0) << b.build.err;
    ASSERT_EQ(b.run.exit_code, 0) << b.run.err;
    ASSERT_TRUE(b.graph.ok) << b.graph.error;
    EXPECT_EQ(b.graph.nodes.size(), 2u);
    EXPECT_EQ(Arrows(b.graph), 2u);
    EXPECT_TRUE(b.graph.terminal.empty());
    const std::string sh = testsupport::read_file(dir.file("ring.src/_.sh"));
    EXPECT_EQ(sh, "${COMPILE} _0000000.c || exit\n${LIBFIRST} ${LIBRARY} _0000000${O} || exit\n"
                  "${DELETE} _0000000${O} || exit\n");
    EXPECT_EQ(Lines(sh), 3u);
    auto files = Files(dir.file("ring.src"));
    EXPECT_EQ(files.count("_0000000.c"), 1u);
    EXPECT_EQ(files.count("_0000001.c"), 0u);
}

// Hand counts of nodes, arrows and terminal nodes (three test entries:
// every net is compiled and linked).
struct HandCase {
    const char* name;
    std::string net;
    std::size_t nodes, arrows, terminal;
    std::string args = "";
};

std::vector<HandCase> HandCases() {
    const std::string pair = "#trans t\nin { p : <.x.> + <.y.> ; }\nout { q : <.x,y.> ; }\n#endtr\n";
    auto comp = [](const std::string& block) {
        return "#place p mk(<.0.>) lo(<.0.>) hi(<.1.>)\n#place q\n#trans t\nin { p : <.x.> ; }\nout { q : <.y.> ; }\ncomp { " +
               block + " }\n#endtr\n";
    };
    auto prec = [](const std::string& classes) {
        std::string net = classes + "#place p1 mk(<.0.>)\n#place q1\n#place p2 mk(<.0.>)\n#place q2\n";
        for (const char* t : {"a", "b"}) {
            const std::string i = t[0] == 'a' ? "1" : "2";
            net += std::string("#trans t") + t + "\nin { p" + i + " : <.0.> ; }\nout { q" + i + " : <.0.> ; }\ncomp { Precedence(" +
                   (t[0] == 'a' ? "A" : "B") + "); Accept(); }\n#endtr\n";
        }
        return net;
    };
    return {
        {"counter between its bounds", "#place c mk(<.0.>) lo(<.0.>) hi(<.3.>)\n"
         "#trans inc\nin { c : <.x.> ; }\nout { c : <.x+1.> ; }\n#endtr\n"
         "#trans dec\nin { c : <.x.> ; }\nout { c : <.x-1.> ; }\n#endtr\n", 4, 6, 0},
        {"two tokens paired", "#place p mk(<.1.>+<.2.>) lo(<.0.>) hi(<.3.>)\n#place q\n" + pair, 3, 2, 2},
        {"one token twice", "#place p mk(2<.1.>) lo(<.0.>) hi(<.3.>)\n#place q\n" + pair, 2, 1, 1},
        {"one token alone", "#place p mk(<.1.>) lo(<.0.>) hi(<.3.>)\n#place q\n" + pair, 1, 0, 1},
        {"comp accepting one value twice", comp("y = 3; Accept(); Accept();"), 2, 1, 1},
        {"comp accepting two values", comp("y = 1; Accept(); y = 2; Accept();"), 3, 2, 2},
        {"a lower class switched off", prec("#prec A < B\n"), 3, 2, 1},
        {"two independent classes", prec("#prec A\n#prec B\n"), 4, 4, 1},
        {"let mode: the let set and a gate", "#place p mk(<.1,2.>+<.3,4.>+<.5,6.>)\n#place q\n#trans t\nin { p : <.a,b.> ; }\n"
         "let <.b,a.> <= <.2,1.> + <.6,5.> + <.4,3.> ;\nout { q : <.b.> ; }\ngate b != 4 ;\n#endtr\n", 4, 4, 1, "-R"},
        {"let mode, the let variables behind an output variable (their values pass through _w)",
         "#place p mk(<.1,2.>+<.3,4.>+<.5,6.>)\n#place q\n#trans t\nout { q : <.y.> ; }\nin { p : <.a,b.> ; }\n"
         "let <.b,a.> <= <.2,1.> + <.6,5.> + <.4,3.> ;\ngate b != 4 ;\ncomp { y = a + b; Accept(); }\n#endtr\n", 4, 4, 1, "-R"},
        {"three switches", "#place s mk(<.0,0.>+<.1,0.>+<.2,0.>) lo(<.0,0.>) hi(<.2,1.>)\n"
         "#trans flip\nin { s : <.i,b.> ; }\nout { s : <.i,1-b.> ; }\n#endtr\n", 8, 24, 0},
    };
}

void RunHandCases(std::size_t from, std::size_t to) {
    const std::vector<HandCase> cases = HandCases();
    for (std::size_t i = from; i < to && i < cases.size(); ++i) {
        const HandCase& c = cases[i];
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        Built b = BuildAndRun(dir.path(), "x", c.net, c.args);
        ASSERT_EQ(b.build.exit_code, 0) << b.build.err;
        ASSERT_EQ(b.run.exit_code, 0) << b.run.err;
        ASSERT_TRUE(b.graph.ok) << b.graph.error;
        EXPECT_EQ(b.graph.nodes.size(), c.nodes);
        EXPECT_EQ(Arrows(b.graph), c.arrows);
        EXPECT_EQ(b.graph.terminal.size(), c.terminal);
    }
}

TEST(TulmNet, HandCountsFirstPart) { RunHandCases(0, 4); }
TEST(TulmNet, HandCountsSecondPart) { RunHandCases(4, 8); }
TEST(TulmNet, HandCountsThirdPart) { RunHandCases(8, 100); }

// The kind table of the classes: the default class, then A (a higher class
// above it) and B (a lower class below it).
TEST(TulmNet, ClassKinds) {
    testsupport::TempDir dir;
    testsupport::write_file(dir.file("x.net"), "#prec A < B\n#place p\n#trans t\nin { p : <.0.> ; }\n#endtr\n");
    ASSERT_EQ(Tulc(dir.path(), "x", testsupport::read_file(dir.file("x.net"))), 0);
    const std::string code = testsupport::read_file(dir.file("x.src/_0000000.c"));
    EXPECT_NE(code.find("\nunsigned _kind[3] = {0,2,1};\nunsigned _class;\n"), std::string::npos) << code;
    const std::string header = testsupport::read_file(dir.file("x.src/_.h"));
    EXPECT_NE(header.find("#define _CL_MEDIUM 2\n"), std::string::npos);
    EXPECT_NE(header.find("extern unsigned _kind[3];\nextern unsigned _class;\n"), std::string::npos);
}

// The analyser that CMake built from a net description at build time.
TEST(TulmNet, BuiltByCMake) {
    testsupport::TempDir dir;
    const std::string from = TULM_COUNTER;
    const std::string tables = from.substr(0, from.rfind('/')) + "/counter.dat";
    testsupport::write_file(dir.file("counter.dat"), testsupport::read_file(tables));
    auto run = testsupport::run("cd " + Quote(dir.path()) + " && ASAN_OPTIONS=detect_leaks=0 " + Quote(from) + " counter");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    RawGraph g = ReadRaw(dir.file("counter"));
    ASSERT_TRUE(g.ok) << g.error;
    EXPECT_EQ(g.nodes.size(), 4u);
    EXPECT_EQ(Arrows(g), 6u);
}

// Fragments of the generated code for cases that decide how it looks.
TEST(TulmNet, GeneratedFragments) {
    struct Case {
        const char* name;
        std::string net;
        std::vector<std::string> present, absent;
    };
    const Case cases[] = {
        {"two terms on one place: labels, saved position, range test against the output place",
         "#place p lo(<.0.>) hi(<.9.>)\n#place q lo(<.0.>) hi(<.5.>)\n#trans t\nin { p : <.x.> + 2<.y.> ; }\nout { q : <.x.> ; }\n#endtr\n",
         {"    /*x*/_v[0] = MultupGField(/*1st mtuple from p*/_t0_0, (unsigned) 0);\n    if (/*x*/_v[0] > (DOMAIN) 5)\n"
          "        goto _c0_0;\n    MultupDFreeCount(/*1st mtuple from p*/_t0_0, (unsigned long) 1);\n    _u0_0 = MarGet(_marking);\n",
          "    if (MultupGFreeCount(/*2nd mtuple from p*/_t0_1) < (unsigned long) 2)\n",
          "#define _t0_0 (_t[0])\n#define _t0_1 (_t[1])\n#define _u0_0 (_u[0])\n",
          "\n#undef _t0_0\n#undef _t0_1\n#undef _u0_0\n", "    MarSet(_marking, _u0_0);\n"},
         {"(DOMAIN) 0)", "_u0_1", "_class"}},
        {"output place wider than the input place: no range test",
         "#place p lo(<.0.>) hi(<.9.>)\n#place q lo(<.0.>) hi(<.20.>)\n#trans t\nin { p : <.x.> ; }\nout { q : <.x.> ; }\n#endtr\n",
         {"    /*x*/_v[0] = MultupGField(/*mtuple from p*/_t0_0, (unsigned) 0);\n    MultupDFreeCount("},
         {"_u0_0", "> (DOMAIN) 20", "VOID *_u["}},
        {"an output field bound tested once its variable is bound",
         "#place p lo(<.0.>) hi(<.9.>)\n#place q lo(<.0.>) hi(<.9.>)\n#trans t\nin { p : <.x.> ; }\nout { q : <.x+1.> ; }\n#endtr\n",
         {"    if (((DOMAIN) 9) < (DOMAIN) (/*x*/_v[0]+1))\n        goto _c0_0;\n"}, {"((DOMAIN) 0) >"}},
        {"a transition without variables",
         "#place p mk(<.0.>)\n#trans t\nin { p : <.0.> ; }\n#endtr\n",
         {"    (void) InsEncode((unsigned) 0, (unsigned) 0, (DOMAIN *) NULL, EngABuffer(), EngABufSize());\n",
          "FE0(void, _I0)/*t*/\n{\n    _E0();\n}\n", "TUPLE *_w;\n", "    _w = TupCons((unsigned) 1);\n"},
         {"DOMAIN _v[", "TupDiscard(_w)", "_tuple"}},
        {"one class, no #verify: no class, Buchi or expression globals; _BuchiOK true, _CompPrec empty",
         "#place p mk(<.0.>)\n#trans t\nin { p : <.0.> ; }\n#endtr\n",
         {"FE0(BOOL, _BuchiOK)\n{\n    return(TRUE);\n}\n", "FE0(void, _CompPrec)\n{\n}\n", "FE0(void, _CompInst)\n{\n    ClBlocked();\n"},
         {"_y_", "_someEnb", "XPRVAL", "_xprDom", "_i_", "_class", "_bundle", "_CL_", "_kind", "_P1"}},
        {"#verify: flags of the initial and stuttering transitions, the label masks, the expression stack",
         "#place p mk(<.0.>) lo(<.0.>) hi(<.3.>)\n#trans inc\nin { p : <.x.> ; }\nout { p : <.x+1.> ; }\n#endtr\n"
         "#verify henceforth (card(p : (field[0] > 2)) == 0);\n",
         {"extern DOMAIN *_y_;\nextern BOOL _someEnb;\n", "extern XPRVAL _xprVal[", "    TrnSInitial(_trn);\n", "    TrnSDummy(_trn);\n",
          "    if ((_z_[_i_] & (unsigned long) 2) != 0L) {\n        _xprTuple = NULL;\n",
          "    if (((_z_[_i_] & (unsigned long) 1) == 0L) != (_xprDom == (DOMAIN) 0L))\n        return(FALSE);\n",
          "    _visible = 1;\n", "    for (_y_ = _x_["},
         {"PtDefVis"}},
        {"a gate without variables tested at the start of _F and _I",
         "#place p lo(<.0.>) hi(<.3.>)\n#trans t\nin { p : <.x.> ; }\ngate 1 > 2 ;\n#endtr\n",
         {"FE0(void, _F0)/*t*/\n{\n    if (!( 1 > 2 ))\n        return;\n", "FE0(void, _I0)/*t*/\n{\n    if (!( 1 > 2 ))\n        return;\n"},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        ASSERT_EQ(Tulc(dir.path(), "x", c.net), 0);
        const std::string code = testsupport::read_file(dir.file("x.src/_.h")) + testsupport::read_file(dir.file("x.src/_0000000.c"));
        for (const std::string& want : c.present) EXPECT_NE(code.find(want), std::string::npos) << want << "\nin\n" << code;
        for (const std::string& not_ : c.absent) EXPECT_EQ(code.find(not_), std::string::npos) << not_;
    }
}

// Many transitions: a new file after 800 lines, never inside a function;
// file 10 is _000000a.c; the script gets three lines per file and a second
// run appends to it.
TEST(TulmNet, SourceFilesAndScript) {
    testsupport::TempDir dir;
    auto loops = [](int n) {
        std::string net = "#place p mk(<.0.>) lo(<.0.>) hi(<.0.>)\n";
        for (int i = 0; i < n; ++i) net += "#trans t" + std::to_string(i) + "\nin { p : <.x.> ; }\nout { p : <.x.> ; }\n#endtr\n";
        return net;
    };
    const std::string net = loops(100);
    ASSERT_EQ(Tulc(dir.path(), "x", net), 0);
    auto files = Files(dir.file("x.src"));
    ASSERT_EQ(files.count("_000000a.c"), 1u);
    std::size_t sources = 0;
    for (const auto& [name, text] : files) {
        if (name.size() != 10 || name[0] != '_' || name.substr(8) != ".c") continue;
        ++sources;
        EXPECT_EQ(text.rfind("#include \"_.h\"\n\n", 0), 0u) << name;
        // A file ends with a whole function and holds at most 799 lines
        // before its last function.
        const std::size_t last = text.rfind("\nFE");
        ASSERT_NE(last, std::string::npos) << name;
        EXPECT_LE(Lines(text.substr(0, last)), 800u) << name;
        EXPECT_EQ(text.substr(text.size() - 2), "}\n") << name;
    }
    const std::string sh = testsupport::read_file(dir.file("x.src/_.sh"));
    EXPECT_EQ(Lines(sh), 3 * sources);
    EXPECT_NE(sh.find("${COMPILE} _000000a.c || exit\n${LIBNEXT} ${LIBRARY} _000000a${O} || exit\n"
                      "${DELETE} _000000a${O} || exit\n"), std::string::npos);
    EXPECT_EQ(sh.rfind("${COMPILE} _0000000.c || exit\n${LIBFIRST} ${LIBRARY} _0000000${O} || exit\n", 0), 0u);
    ASSERT_EQ(Tulc(dir.path(), "x", net), 0);
    EXPECT_EQ(testsupport::read_file(dir.file("x.src/_.sh")), sh + sh);
    // Built and run: the code of several files compiles and links.
    testsupport::TempDir small;
    Built b = BuildAndRun(small.path(), "x", loops(20));
    ASSERT_EQ(b.build.exit_code, 0) << b.build.err;
    ASSERT_EQ(b.run.exit_code, 0) << b.run.err;
    EXPECT_TRUE(Files(small.file("x.src")).count("_0000001.c"));
    EXPECT_EQ(b.graph.nodes.size(), 1u);
    EXPECT_EQ(Arrows(b.graph), 20u);
}

// A source file or script that cannot be written ends tulc with a message
// and status 1.
TEST(TulmNet, OutputsThatCannotBeWritten) {
    const std::string net = "#place p mk(<.0.>)\n#trans t\nin { p : <.0.> ; }\n#endtr\n";
    struct Case {
        const char* blocked;
        const char* message;
    } cases[] = {
        {"x.src/_0000000.c", "Cannot open empty file x.src/_0000000.c for writing\nErrno "},
        {"x.src/_.sh", "Cannot open file x.src/_.sh for appending\nErrno "},
    };
    for (const Case& c : cases) {
        testsupport::TempDir dir;
        testsupport::run("mkdir -p " + Quote(dir.file(c.blocked)));
        testsupport::write_file(dir.file("x.net"), net);
        auto r = testsupport::run("cd " + Quote(dir.path()) + " && TULMPATH=" + Quote(TULM_SOURCE_PATH) +
                                  " ASAN_OPTIONS=detect_leaks=0 " + Quote(std::string(VOS_BIN_DIR) + "/tulc") + " x");
        EXPECT_EQ(r.exit_code, 1) << c.blocked;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    // A full device: the source file cannot be written completely.
    if (testsupport::run("test -w /dev/full").exit_code == 0) {
        testsupport::TempDir dir;
        testsupport::run("mkdir -p " + Quote(dir.file("x.src")) + " && ln -s /dev/full " + Quote(dir.file("x.src/_0000000.c")));
        testsupport::write_file(dir.file("x.net"), net);
        auto r = testsupport::run("cd " + Quote(dir.path()) + " && TULMPATH=" + Quote(TULM_SOURCE_PATH) +
                                  " ASAN_OPTIONS=detect_leaks=0 " + Quote(std::string(VOS_BIN_DIR) + "/tulc") + " x");
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find("Cannot write file x.src/_0000000.c"), std::string::npos) << r.err;
    }
}

// tulmbuild on a net that is missing leaves nothing; a tulc that fails
// leaves the earlier build; a build that fails after tulc leaves no
// program that does not fit the new tables.
TEST(TulmNet, FailedBuildsLeaveNoMisfits) {
    testsupport::TempDir dir;
    Built b = BuildAndRun(dir.path(), "x", "#place p mk(<.0.>)\n");
    ASSERT_EQ(b.build.exit_code, 0) << b.build.err;
    const std::string env = "TULMPATH=" + Quote(TULM_SOURCE_PATH) + " ASAN_OPTIONS=detect_leaks=0 ";
    auto tulmbuild = [&](const std::string& name) {
        return testsupport::run("cd " + Quote(dir.path()) + " && " + env + Quote(std::string(VOS_BIN_DIR) + "/tulmbuild") +
                                " " + name);
    };
    const auto before = Files(dir.path());
    auto r = tulmbuild("nosuch");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("Cannot open file nosuch.net for reading"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("_enum.h"), std::string::npos) << r.err;
    EXPECT_EQ(Files(dir.path()), before);
    EXPECT_FALSE(testsupport::run("test -e " + Quote(dir.file("nosuch.src"))).exit_code == 0);

    testsupport::write_file(dir.file("x.net"), "#include \"none.h\"\n#place p mk(<.1.>)\n");
    EXPECT_EQ(tulmbuild("x").exit_code, 1);
    EXPECT_EQ(testsupport::read_file(dir.file("x.dat")), before.at("x.dat"));
    EXPECT_EQ(testsupport::read_file(dir.file("x")), before.at("x"));

    testsupport::write_file(dir.file("x.net"), "this is no C;\n#place p mk(<.1.>)\n");
    EXPECT_EQ(tulmbuild("x").exit_code, 2);
    EXPECT_NE(testsupport::read_file(dir.file("x.dat")), before.at("x.dat"));
    EXPECT_FALSE(testsupport::run("test -e " + Quote(dir.file("x"))).exit_code == 0);
}

namespace {

// Random integer expressions over a constant place q (tuples 1, 2 and 5
// twice) with their values computed here: 32-bit words, unsigned
// comparisons, shift counts mod 32, divisors made odd.
struct RandomExpr {
    std::mt19937 rng;
    explicit RandomExpr(unsigned seed) : rng(seed) {}
    unsigned Pick(unsigned n) { return static_cast<unsigned>(rng() % n); }

    // A small value: a constant or card(q).
    std::pair<std::string, std::uint32_t> Small() {
        if (Pick(3) == 0) return {"card(q)", 4u};
        const std::uint32_t c = Pick(7);
        return {std::to_string(c), c};
    }
    std::pair<std::string, std::uint32_t> Leaf() {
        switch (Pick(7)) {
        case 0: return {"card(q)", 4u};
        case 1: {
            const std::uint32_t k = Pick(6);
            const std::uint32_t n = (1 > k) + (2 > k) + 2 * (5 > k);
            return {"card(q : (field[0] > " + std::to_string(k) + "))", n};
        }
        case 2: {
            auto a = Small(), b = Small();
            return {"card(<.(" + a.first + ")..(" + b.first + ").>)", a.second <= b.second ? b.second - a.second + 1 : 0};
        }
        case 3: {
            auto a = Small(), b = Small(), c = Small(), d = Small();
            const std::uint32_t n1 = a.second <= b.second ? b.second - a.second + 1 : 0;
            const std::uint32_t n2 = c.second <= d.second ? d.second - c.second + 1 : 0;
            return {"card(<.(" + a.first + ")..(" + b.first + "), (" + c.first + ")..(" + d.first + ").>)", n1 * n2};
        }
        case 4: {
            auto a = Small(), b = Small(), c = Small(), d = Small();
            std::uint32_t n = 0;
            for (std::uint32_t x = a.second; x <= b.second; ++x)
                if (x > c.second && x < d.second) ++n;
            return {"card((<.(" + a.first + ")..(" + b.first + ").> : (field[0] > (" + c.first + "))) : (field[0] < (" + d.first + ")))",
                    n};
        }
        case 5: return {"4294967295", 0xFFFFFFFFu};
        default: {
            const std::uint32_t c = Pick(40);
            return {std::to_string(c), c};
        }
        }
    }
    std::pair<std::string, std::uint32_t> Expr(int depth) {
        if (depth == 0 || Pick(4) == 0) return Leaf();
        const unsigned kind = Pick(20);
        if (kind < 3) {
            auto a = Expr(depth - 1);
            const char* ops[] = {"-", "!", "~"};
            const std::uint32_t v = kind == 0 ? 0u - a.second : kind == 1 ? (a.second == 0) : ~a.second;
            return {std::string(ops[kind]) + "(" + a.first + ")", v};
        }
        if (kind == 3) {
            auto a = Expr(depth - 1), b = Expr(depth - 1), c = Expr(depth - 1);
            return {"((" + a.first + ") ? (" + b.first + ") : (" + c.first + "))", a.second ? b.second : c.second};
        }
        auto a = Expr(depth - 1), b = Expr(depth - 1);
        const char* ops[] = {"+", "-", "*", "/", "%", "<<", ">>", "&", "|", "^", "<", "<=", "==", "!=", "&&", "||"};
        const unsigned op = Pick(16);
        std::string right = "(" + b.first + ")";
        std::uint32_t x = a.second, y = b.second, v = 0;
        if (op == 3 || op == 4) {
            right = "((" + b.first + ") | 1)";
            y |= 1u;
        }
        switch (op) {
        case 0: v = x + y; break;
        case 1: v = x - y; break;
        case 2: v = x * y; break;
        case 3: v = x / y; break;
        case 4: v = x % y; break;
        case 5: v = x << (y & 31u); break;
        case 6: v = x >> (y & 31u); break;
        case 7: v = x & y; break;
        case 8: v = x | y; break;
        case 9: v = x ^ y; break;
        case 10: v = x < y; break;
        case 11: v = x <= y; break;
        case 12: v = x == y; break;
        case 13: v = x != y; break;
        case 14: v = x != 0 && y != 0; break;
        default: v = x != 0 || y != 0; break;
        }
        return {"((" + a.first + ") " + ops[op] + " " + right + ")", v};
    }
};

}  // namespace

// #verify propositions: the generated _BuchiOK evaluates random expressions
// (folded in part at compile time) to the values computed here.  The net
// toggles between two states with q unchanged, so "henceforth" holds
// exactly when every value is right; a value off by one (or'ed with a
// condition that fails in one of the states) yields the illegal infinite
// path.
void CheckPropositions(unsigned seed, bool control) {
    const std::string net =
        "#place q mk(<.1.>+<.2.>+2<.5.>)\n#place p mk(<.0.>)\n#place r\n"
        "#trans a\nin { p : <.0.> ; }\nout { r : <.0.> ; }\n#endtr\n#trans b\nin { r : <.0.> ; }\nout { p : <.0.> ; }\n#endtr\n";
    {
        RandomExpr gen(seed);
        std::string all, first;
        for (int i = 0; i < 12; ++i) {
            auto e = gen.Expr(3);
            const std::string atom = "((" + e.first + ") == " + std::to_string(e.second) + ")";
            all += (i ? " && " : "") + atom;
            // Off by one, or p marked: false in the state with p empty.
            if (i == 0) first = "(((" + e.first + ") == " + std::to_string(e.second + 1) + ") || (card(p) == 1))";
        }
        SCOPED_TRACE(all);
        testsupport::TempDir dir;
        Built ok = BuildAndRun(dir.path(), "x", net + "#verify henceforth (" + all + ");\n");
        ASSERT_EQ(ok.build.exit_code, 0) << ok.build.err;
        EXPECT_EQ(ok.run.exit_code, 0) << ok.run.out << ok.run.err;
        if (!control) return;
        testsupport::TempDir wrong;
        Built off = BuildAndRun(wrong.path(), "x", net + "#verify henceforth (" + first + ");\n");
        ASSERT_EQ(off.build.exit_code, 0) << off.build.err;
        EXPECT_EQ(off.run.exit_code, 1) << off.run.out << off.run.err;
        EXPECT_NE(off.run.out.find("Illegal infinite path found"), std::string::npos) << off.run.out;
    }
}

TEST(TulmNet, VerifyPropositionsFirstSeed) { CheckPropositions(1, true); }
TEST(TulmNet, VerifyPropositionsSecondSeed) { CheckPropositions(2, false); }
TEST(TulmNet, VerifyPropositionsThirdSeed) { CheckPropositions(3, false); }

// A #verify net whose property fails: the path that breaks it is reported.
TEST(TulmNet, VerifyVerdicts) {
    const std::string net = "#place p mk(<.0.>) lo(<.0.>) hi(<.3.>)\n#trans inc\nin { p : <.x.> ; }\nout { p : <.x+1.> ; }\n#endtr\n"
                            "#trans reset\nin { p : <.3.> ; }\nout { p : <.0.> ; }\n#endtr\n";
    struct Case {
        const char* formula;
        int exit;
    } cases[] = {
        {"henceforth (card(p : (field[0] > 3)) == 0)", 0},
        {"henceforth (card(p : (field[0] > 2)) == 0)", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.formula);
        testsupport::TempDir dir;
        Built b = BuildAndRun(dir.path(), "x", net + "#verify " + c.formula + ";\n");
        ASSERT_EQ(b.build.exit_code, 0) << b.build.err;
        EXPECT_EQ(b.run.exit_code, c.exit) << b.run.out << b.run.err;
    }
}

namespace {

// A small coloured net: places of arity 1 holding values 0..2, each
// transition taking as many tokens as it gives (so the net stays finite),
// fields of variables, constants and expressions; v + 1 may leave the
// places' range, which then disables the binding.
struct ColouredNet {
    struct Field {
        int var = -1;  // 0 x, 1 y, or -1 for a constant
        int value = 0;
        int kind = 0;  // output: 0 the value, 1 (v+1)%3, 2 2-v, 3 v+1
    };
    struct Term {
        int place;
        Field field;
    };
    struct Trans {
        std::vector<Term> in, out;
    };
    int places = 0;
    std::vector<std::vector<int>> m0;  // per place, per value
    std::vector<Trans> trans;

    static ColouredNet Random(unsigned seed) {
        std::mt19937 rng(seed);
        auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        ColouredNet net;
        net.places = 2 + pick(2);
        for (int p = 0; p < net.places; ++p) net.m0.push_back({pick(2), pick(2), pick(2)});
        const int transitions = 2 + pick(2);
        for (int t = 0; t < transitions; ++t) {
            Trans tr;
            const int terms = 1 + pick(2);
            for (int k = 0; k < terms; ++k) {
                Field f;
                if (pick(4) == 0) f.value = pick(3);
                else f.var = k;
                tr.in.push_back({pick(net.places), f});
            }
            for (int k = 0; k < terms; ++k) {
                Field f;
                int v = -1;
                for (const Term& i : tr.in)
                    if (i.field.var >= 0 && pick(2) == 0) v = i.field.var;
                if (v < 0) f.value = pick(3);
                else {
                    f.var = v;
                    f.kind = pick(4);
                }
                tr.out.push_back({pick(net.places), f});
            }
            net.trans.push_back(tr);
        }
        return net;
    }

    std::string Text() const {
        std::string text;
        for (int p = 0; p < places; ++p) {
            std::string mk;
            for (int v = 0; v < 3; ++v)
                if (m0[p][v]) mk += std::string(mk.empty() ? "" : "+") + std::to_string(m0[p][v]) + "<." + std::to_string(v) + ".>";
            text += "#place c" + std::to_string(p) + (mk.empty() ? "" : " mk(" + mk + ")") + " lo(<.0.>) hi(<.2.>)\n";
        }
        const char* names[] = {"x", "y"};
        for (std::size_t t = 0; t < trans.size(); ++t) {
            text += "#trans t" + std::to_string(t) + "\n";
            for (int side = 0; side < 2; ++side) {
                const auto& terms = side == 0 ? trans[t].in : trans[t].out;
                text += side == 0 ? "in {" : "out {";
                std::map<int, std::string> arcs;
                for (const Term& term : terms) {
                    std::string f;
                    const Field& fd = term.field;
                    if (fd.var < 0) f = std::to_string(fd.value);
                    else {
                        const std::string v = names[fd.var];
                        const char* forms[] = {"%", "(%+1)%3", "2-%", "%+1"};
                        for (const char* c = forms[side == 0 ? 0 : fd.kind]; *c; ++c) f += *c == '%' && c[1] != '3' ? v : std::string(1, *c);
                    }
                    std::string& arc = arcs[term.place];
                    arc += (arc.empty() ? "" : " + ") + std::string("<.") + f + ".>";
                }
                for (const auto& [p, a] : arcs) text += " c" + std::to_string(p) + " : " + a + " ;";
                text += " }\n";
            }
            text += "#endtr\n";
        }
        return text;
    }

    static int Out(const Field& f, const int* vals) {
        if (f.var < 0) return f.value;
        const int v = vals[f.var];
        switch (f.kind) {
        case 1: return (v + 1) % 3;
        case 2: return 2 - v;
        case 3: return v + 1;
        default: return v;
        }
    }

    // The place/transition net of every binding whose outputs stay in 0..2:
    // place p*3+v for value v on place p.
    testsupport::TestNet Unfold() const {
        testsupport::TestNet tn;
        for (int p = 0; p < places; ++p)
            for (int v = 0; v < 3; ++v) {
                tn.place_names.push_back("c" + std::to_string(p) + "_" + std::to_string(v));
                tn.m0.push_back(m0[p][v]);
            }
        for (std::size_t t = 0; t < trans.size(); ++t)
            for (int x = 0; x < 3; ++x)
                for (int y = 0; y < 3; ++y) {
                    const int vals[2] = {x, y};
                    bool used[2] = {false, false};
                    for (const Term& term : trans[t].in)
                        if (term.field.var >= 0) used[term.field.var] = true;
                    if ((!used[0] && x) || (!used[1] && y)) continue;
                    std::map<int, int> pre, post;
                    bool ok = true;
                    for (const Term& term : trans[t].in)
                        ++pre[term.place * 3 + (term.field.var < 0 ? term.field.value : vals[term.field.var])];
                    for (const Term& term : trans[t].out) {
                        const int v = Out(term.field, vals);
                        if (v < 0 || v > 2) ok = false;
                        else ++post[term.place * 3 + v];
                    }
                    if (!ok) continue;
                    tn.trans_names.push_back("t" + std::to_string(t) + "_" + std::to_string(x) + std::to_string(y));
                    tn.pre.emplace_back();
                    tn.pre_weight.emplace_back();
                    tn.post.emplace_back();
                    tn.post_weight.emplace_back();
                    for (const auto& [p, w] : pre) tn.pre.back().push_back(p), tn.pre_weight.back().push_back(w);
                    for (const auto& [p, w] : post) tn.post.back().push_back(p), tn.post_weight.back().push_back(w);
                }
        return tn;
    }
};

// A state of the generated analyser as a marking of the unfolded places.
testsupport::Marking ColouredMarking(const std::string& contents, int places) {
    std::vector<std::uint32_t> profile(static_cast<std::size_t>(places), 1);
    const std::uint32_t savedPlaces = _magNofPlaces;
    std::uint32_t* savedProfile = _magProfile;
    _magNofPlaces = static_cast<std::uint32_t>(places);
    _magProfile = profile.data();
    std::vector<MARKING*> state(static_cast<std::size_t>(places), nullptr);
    std::string bytes = contents + '\0';
    StaDecode(reinterpret_cast<unsigned char*>(&bytes[0]), state.data());
    testsupport::Marking m(static_cast<std::size_t>(3 * places), 0);
    for (int p = 0; p < places; ++p) {
        for (LISTNODE* c = state[p] ? state[p]->_first : nullptr; c != nullptr; c = c->_next) {
            const MULTUP* mt = static_cast<const MULTUP*>(c->_node);
            if (mt->_tuple->_arity == 1 && mt->_tuple->_array[0] < 3) m[3 * p + mt->_tuple->_array[0]] += static_cast<int>(mt->_count);
            else m[0] = -1000000;
        }
        if (state[p]) LstDestroy(state[p], TRUE);
    }
    _magNofPlaces = savedPlaces;
    _magProfile = savedProfile;
    return m;
}

}  // namespace

// Small random coloured nets against the explicit explorer of the nets that
// the test unfolds itself: the stored states are the reachable markings,
// with one arrow per enabled binding and the same dead markings.
TEST(TulmNet, RandomColouredNetsAgainstTheirUnfolding) {
    for (unsigned seed : {5u, 6u, 7u, 8u}) {
        const ColouredNet net = ColouredNet::Random(seed);
        SCOPED_TRACE(net.Text());
        const testsupport::TestNet tn = net.Unfold();
        const testsupport::StateSpace ss = testsupport::explore(tn);
        ASSERT_TRUE(ss.complete);
        testsupport::TempDir dir;
        Built b = BuildAndRun(dir.path(), "x", net.Text());
        ASSERT_EQ(b.build.exit_code, 0) << b.build.err;
        ASSERT_EQ(b.run.exit_code, 0) << b.run.err;
        ASSERT_TRUE(b.graph.ok) << b.graph.error;
        std::set<testsupport::Marking> stored;
        for (const RawNode& n : b.graph.nodes) stored.insert(ColouredMarking(n.contents, net.places));
        EXPECT_EQ(stored, std::set<testsupport::Marking>(ss.states.begin(), ss.states.end()));
        EXPECT_EQ(b.graph.nodes.size(), ss.states.size());
        std::size_t arrows = 0;
        for (const auto& s : ss.succ) arrows += s.size();
        EXPECT_EQ(Arrows(b.graph), arrows);
        EXPECT_EQ(b.graph.terminal.size(), testsupport::dead_states(ss).size());
    }
}
