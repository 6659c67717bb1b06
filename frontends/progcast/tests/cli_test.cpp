// progcast's command line: options, usage text, messages of the parser and
// exit codes; synchronise mode; options that must not change what the
// expanded net can do; the reference file.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "tools.h"

using progcast_test::progcast;
using testsupport::shell_quote;

namespace {

struct ProgcastCli : ::testing::Test {
    testsupport::TempDir dir;
    std::string file(const std::string& name) const { return dir.file(name); }
    std::string source(const std::string& text, const std::string& name = "p.b") {
        EXPECT_TRUE(testsupport::write_file(file(name), text));
        return shell_quote(file(name));
    }
};

const char* const counter = "begin\n  var x : {0..3} init 0;\n  do <'x < 3 and x' = 'x + 1>; repeat\n  [] <x = 3>; exit\n  od\nend\n";

std::string expected_usage(const std::string& program) {
    const std::string pad(program.size() + 15, ' ');
    return "\nUsage: " + program + " source [-p=fname] [-z=fname] [-y=f_name] [-Z=fname]\n" + pad +
           "[-j[=action[,action..]]] [-X[=action[,action..]]]\n" + pad +
           "[-obxsretlqnmhaigu!vfckw]\n\n"
           " z: specify resulting reference file\n"
           " p: specify resulting VOS-file\n"
           " o: disable warnings at old syntax\n"
           " b: named blocks in output\n"
           " x: phantom transitions in output\n"
           "s#: specify scale\n"
           " r: remove duplicates\n"
           " e: eliminate dead transitions\n"
           " t: use parallel termination\n"
           " l: big loop\n"
           " q: medium loop\n"
           " n: use bpn-names for communication variables\n"
           "m#: specify maximum number of transitions\n"
           " h: make VOS-file shorter\n"
           " a: allow b(pn)2-fragments\n"
           "i#: specify default number of procedure instances\n"
           " g: generally use procedure semantic\n"
           " u: use set for procedure identifiers instead of stack\n"
           " !: no scoping\n"
           " J: no disjunct idsets\n"
           "C#: specify which channel box to use\n"
           "P#: specify which procedure box to use\n\n"
           " ---ONLY IN SYNCHRONIZE MODE---\n"
           " j: enter synchronize mode with specified actions\n"
           "    (use -j to specify ALL actions)\n"
           " d: do restriction after synchronization\n"
           " Z: specify reference file for source net\n"
           " X: exclude specified actions from synchronization\n\n"
           " ---ONLY FOR DEBUGGING PURPOSES---\n"
           " y: specify directory with box templates\n"
           "v#: specify maximum number of variables in an arc label\n"
           " f: free memory explicitly\n"
           " c: check resulting net\n"
           " k: check for conflicting variable names\n"
           " w: warn if different sets are intersected\n\n";
}

TEST_F(ProgcastCli, UsageTextForBadCommandLines) {
    const std::string prog = std::string(VOS_BIN_DIR) + "/progcast";
    const std::string src = source(counter);
    for (std::string args : {std::string(), src + " " + src, src + " -p=", src + " -sx", src + " -r#", src + " -ry",
                             src + " -", src + " -i70000", src + " -m4294967296", src + " -j" + "\x7f",
                             src + " '-r e'"}) {
        SCOPED_TRACE(args);
        auto r = progcast(args);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, expected_usage(prog));
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(ProgcastCli, OptionWords) {
    const std::string src = source(counter);
    struct Case {
        std::string args;
        std::vector<std::string> out;  // in the standard output
    } cases[] = {
        {"-rec", {"dead transition(s) eliminated", "Removing duplicates: ", "Checking consistency of resulting net: OK !"}},
        {"-s12x -p=" + shell_quote(file("s.hl_net")), {"Writing in file " + file("s.hl_net")}},
        {"-p=" + shell_quote(file("a.hl_net")) + "x", {"Writing in file " + file("a.hl_net") + "x"}},
        {"-m4294967295 -i65535 -v65535 -nogfu -C", {"Creation complete ("}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        auto r = progcast(src + " " + c.args);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        for (const std::string& s : c.out) EXPECT_NE(r.out.find(s), std::string::npos) << r.out;
    }
    // -s12 scales the written positions.
    std::string net = testsupport::read_file(file("s.hl_net"));
    EXPECT_NE(net.find(" 3240@360e"), std::string::npos) << net;
    // Without -p nothing is written.
    auto r = progcast(src);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out.find("Writing"), std::string::npos);
    EXPECT_EQ(r.out.substr(0, 24), "\nParsing program " + file("p.b").substr(0, 7));
}

TEST_F(ProgcastCli, ProgramRun) {
    const std::string src = source(counter);
    auto r = progcast(src + " -p=" + shell_quote(file("p.hl_net")));
    EXPECT_EQ(r.exit_code, 0);
    const std::string expected_start = "\nParsing program " + file("p.b") +
                                       " ...\nParse complete.\nProgram without procedures.\n\nCreating resulting net ...\n"
                                       "Writing in file " + file("p.hl_net") + " ...\nCreation complete (";
    EXPECT_EQ(r.out.substr(0, expected_start.size()), expected_start);
    EXPECT_EQ(r.out.substr(r.out.size() - 8), " sec).\n\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(ProgcastCli, ExitCodesOfTheRun) {
    const std::string src = source(counter);
    // A source that is missing, or a directory (which opens but cannot be
    // read), is not parsed as an empty program.
    testsupport::RunResult r;
    for (const std::string& unreadable : {file("missing.b"), dir.path()}) {
        r = progcast(shell_quote(unreadable));
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_EQ(r.err, "\nError: Could not open file " + unreadable + " !\n\n");
        EXPECT_EQ(r.out, "");
    }
    r = progcast(src + " -p=" + shell_quote(file("no/such/dir.hl_net")));
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_NE(r.err.find("Error: Could not open file " + file("no/such/dir.hl_net") + " !"), std::string::npos);
    r = progcast(src + " -m5");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("fatal  : Maximum number of transitions exceeded !"), std::string::npos) << r.err;
    // The template set: an unset VOSHOME, a missing template, another variant.
    r = testsupport::run("ASAN_OPTIONS=\"${ASAN_OPTIONS}:detect_leaks=0\" env -u VOSHOME " +
                         shell_quote(std::string(VOS_BIN_DIR) + "/progcast") + " " + src);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("fatal  : Environment variable $VOSHOME must be set !\n"), std::string::npos) << r.err;
    r = progcast(src + " -y=" + shell_quote(dir.path()));
    EXPECT_EQ(r.exit_code, 4);
    EXPECT_NE(r.err.find("could not open file '" + dir.path() + "/initvar_box.hl_net'"), std::string::npos) << r.err;
    const std::string chan = source("begin var c : chan 2 of {0..1}; <c! = 1> end\n", "c.b");
    r = progcast(chan + " -Cs");
    EXPECT_EQ(r.exit_code, 4);
    EXPECT_NE(r.err.find("/chan_box_s.hl_net'"), std::string::npos) << r.err;
    EXPECT_EQ(progcast(chan + " -C").exit_code, 0);
}

TEST_F(ProgcastCli, ExplicitFreeingLeavesNothing) {
    const std::string src = source(
        "begin var x : {0..3} init 0; var c : chan 2 of {0..1};\n"
        "  proc P(val a : {0..3}, ref b : {0..3}) begin <b' = a> end;\n"
        "  P(x, x); <c! = 1>\nend\n");
    auto r = testsupport::run("VOSHOME=" + shell_quote(progcast_test::voshome()) + " " +
                              shell_quote(std::string(VOS_BIN_DIR) + "/progcast") + " " + src + " -f -p=" +
                              shell_quote(file("f.hl_net")) + " -z=" + shell_quote(file("f.bpn2_hl_ref")));
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

// The driver hands the parse result on as the exit code; fatal reports of
// the scanner end the run.  (The messages themselves: parser_test.cpp.)
TEST_F(ProgcastCli, ParseResultsAsExitCodes) {
    struct Case {
        const char* program;
        int exit;
        std::string err;
    } cases[] = {
        {"begin var x : {0..1}; <y' = 1> end", 1, "[line   1] error   1   (before or at '''): undeclared identifier y"},
        {"begin var x : {0..32764}; <x' = 1> end", 1, "fatal   (before or at '32764'): Constant out of range !\n\n"},
        {"begin var x : {-10001..1}; <x' = 1> end", 1, "fatal   (before or at '10001'): Constant out of range !\n\n"},
        {"begin var x : {0..1}; <x' = 1>", 2, "[line   2] error   0  : parse error"},
        {"var x : {0..1}; <x' = 1>", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        auto r = progcast(source(std::string(c.program) + "\n") + (c.exit == 0 ? " -a" : ""));
        EXPECT_EQ(r.exit_code, c.exit) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
}

TEST_F(ProgcastCli, FragmentWithOuterProcedureGroup) {
    // Wrapped with -a, the declarations in front of a procedure group at the
    // outermost level stay with the program.
    const std::string src = source(
        "var x : {0..1} init 0;\nprocgrp proc P begin <x' = 1>; Q end; proc Q begin <x' = 0> end; endgrp;\nP\n");
    auto r = progcast(src + " -a -p=" + shell_quote(file("g.hl_net")));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    r = testsupport::run(progcast_test::program("flatnet") + " " + shell_quote(file("g.hl_net")));
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(testsupport::read_file(file("g.ll_net")).find("b\"x=(1,dot)\""), std::string::npos);
}

TEST_F(ProgcastCli, DeepAndLongPrograms) {
    // Long chains are read and translated without deep recursion; nesting
    // beyond the parser's stack ends the parse.
    std::string chain = "begin var x : {0..1} init 0;\n";
    for (int k = 0; k < 3000; ++k) chain += k % 2 ? "<x' = 0>;\n" : "<x' = 1> ||\n";
    chain += "<x' = 1>\nend\n";
    auto r = progcast(source(chain) + " -p=" + shell_quote(file("chain.hl_net")));
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::string nested;
    for (int k = 0; k < 300; ++k) nested += "begin ";
    nested += "<true>";
    for (int k = 0; k < 300; ++k) nested += " end";
    r = progcast(source(nested + "\n"));
    EXPECT_EQ(r.exit_code, 0) << r.err;
    struct Deep {
        const char* head;
        const char* repeated;
    } deep_cases[] = {
        {"", "begin "},
        {"begin var x : {0..1}; <x' = ", "("},
        {"begin var x : {0..1};\n", "procgrp "},
    };
    for (const Deep& c : deep_cases) {
        SCOPED_TRACE(c.repeated);
        std::string deep = c.head;
        for (int k = 0; k < 20000; ++k) deep += c.repeated;
        r = progcast(source(deep + "\n"));
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_NE(r.err.find("parser stack overflow"), std::string::npos) << r.err.substr(0, 300);
    }
}

// ---------------------------------------------------------------------------
// Synchronise mode.

const char* const two_actions =
    "VOS\nHLNet\nFORMAT_N\nPL\n1 30@30 e Z\"{dot}\"\n2 30@150 x Z\"{dot}\"\n3 90@30 e Z\"{dot}\"\n4 90@150 x Z\"{dot}\"\n"
    "TR\n1 30@90 i\"a(x)\" g\"x {0..2} : tt\"\n2 90@90 i\"^a(y)\" g\"y {1..3} : tt\"\nTP\n1<2 p\"dot\"\n2<4 p\"dot\"\n"
    "PT\n1>1 p\"dot\"\n3>2 p\"dot\"\n";

std::size_t transitions_in(const std::string& net) {
    std::size_t tr = net.find("\nTR\n"), tp = net.find("\nTP\n");
    std::size_t n = 0;
    for (std::size_t i = tr + 4; i <= tp; ++i) n += net[i] == '\n';
    return n;
}

TEST_F(ProgcastCli, SynchroniseMode) {
    ASSERT_TRUE(testsupport::write_file(file("two.hl_net"), two_actions));
    const std::string in = shell_quote(file("two.hl_net")), out = " -p=" + shell_quote(file("out.hl_net"));
    struct Case {
        std::string options;
        std::size_t transitions;
    } cases[] = {{"-j=a(v)", 3},         {"-j=a(v) -d", 1},     {"-j -X=a(v)", 2},    {"-j", 3},
                 {"-j=a(v),b -X=b", 3}, {"-j=b", 2},           {"-j=a(v),^a(w)", 3}, {"-j=a(1),^a(v),a(2)", 3},
                 {"-j -d", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        std::string options;
        std::istringstream words(c.options);
        for (std::string w; words >> w;) options += " " + shell_quote(w);
        auto r = progcast(in + options + out);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(transitions_in(testsupport::read_file(file("out.hl_net"))), c.transitions);
    }
    auto r = progcast(in + " -j" + out);
    EXPECT_NE(r.out.find("\nReading source net " + file("two.hl_net") + " ...\nChecking consistency of source net: OK !\n\n"
                         "Creating resulting net ...\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(progcast(shell_quote(file("none.hl_net")) + " -j").exit_code, 4);
    EXPECT_EQ(progcast(in + " -j -Z=" + shell_quote(file("none.bpn2_hl_ref"))).exit_code, 4);
    ASSERT_TRUE(testsupport::write_file(file("bad.hl_net"), "VOS\nHLNet\nFORMAT_X\n"));
    r = progcast(shell_quote(file("bad.hl_net")) + " -j");
    EXPECT_EQ(r.exit_code, 10);
    EXPECT_NE(r.err.find("keyword 'FORMAT_N' or 'FORMAT_N2' expected"), std::string::npos);
}

TEST_F(ProgcastCli, SynchroniseModeKeepsTheLiveJoinInEveryOrder) {
    // Transitions 1 and 2 hold ^a(0), 1 under a restriction of a variable
    // to the empty set; 3 holds a(0) and has the arcs.  The joins 1*3 and
    // 2*3 differ only in that restriction: both are kept, and the expanded
    // net has the one low-level transition of 2*3 whatever the order.
    const char* head = "VOS\nHLNet\nFORMAT_N\nPL\n1 30@30 e Z\"{dot}\"\n2 30@150 x Z\"{dot}\"\nTR\n";
    const char* restricted = " 90@90 i\"^a(0)\" g\"w{} : tt\"\n";
    const char* plain = " 150@90 i\"^a(0)\"\n";
    const std::string tail = "3 30@90 i\"a(0)\"\nTP\n3<2 p\"dot\"\nPT\n1>3 p\"dot\"\n";
    for (bool swapped : {false, true}) {
        SCOPED_TRACE(swapped ? "plain first" : "restricted first");
        const std::string net = std::string(head) + "1" + (swapped ? plain : restricted) + "2" +
                                (swapped ? restricted : plain) + tail;
        ASSERT_TRUE(testsupport::write_file(file("r.hl_net"), net));
        for (const char* list : {"-j=a(p)", "-j"}) {
            auto r = progcast(shell_quote(file("r.hl_net")) + " " + shell_quote(list) + " -d -p=" +
                              shell_quote(file("out.hl_net")));
            ASSERT_EQ(r.exit_code, 0) << r.err;
            EXPECT_EQ(transitions_in(testsupport::read_file(file("out.hl_net"))), 2u) << list;
            r = testsupport::run(progcast_test::program("flatnet") + " " + shell_quote(file("out.hl_net")));
            ASSERT_EQ(r.exit_code, 0) << r.err;
            EXPECT_EQ(progcast_test::read_low_net(file("out.ll_net")).net.transitions(), 1) << list;
        }
    }
}

// The text without its "x@y" positions.
std::string without_positions(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t j = i;
        while (j < text.size() && (std::isdigit(static_cast<unsigned char>(text[j])) || text[j] == '-')) ++j;
        if (j > i && j < text.size() && text[j] == '@') {
            std::size_t k = j + 1;
            while (k < text.size() && (std::isdigit(static_cast<unsigned char>(text[k])) || text[k] == '-')) ++k;
            out += "@";
            i = k;
        } else {
            out.append(text, i, j > i ? j - i : 1);
            i = j > i ? j : i + 1;
        }
    }
    return out;
}

TEST_F(ProgcastCli, ReadBackWithoutSynchronisingGivesTheSameNet) {
    // A program's net and reference file, read in synchronise mode with -!
    // and written again: the net and the references come out the same, and
    // a second round changes nothing at all.
    const std::string src = source(
        "begin var x : {0..2} init 0; var c : chan 1 of {0..2};\n"
        "  <c! = 1>; <x' = c? and c?? = true>\nend\n");
    auto r = progcast(src + " -p=" + shell_quote(file("a.hl_net")) + " -z=" + shell_quote(file("a.bpn2_hl_ref")));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    r = progcast(shell_quote(file("a.hl_net")) + " -j -! -Z=" + shell_quote(file("a.bpn2_hl_ref")) + " -p=" +
                 shell_quote(file("b.hl_net")) + " -z=" + shell_quote(file("b.bpn2_hl_ref")));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    r = progcast(shell_quote(file("b.hl_net")) + " -j -! -Z=" + shell_quote(file("b.bpn2_hl_ref")) + " -p=" +
                 shell_quote(file("c.hl_net")) + " -z=" + shell_quote(file("c.bpn2_hl_ref")));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(testsupport::read_file(file("b.hl_net")), testsupport::read_file(file("c.hl_net")));
    EXPECT_EQ(testsupport::read_file(file("b.bpn2_hl_ref")), testsupport::read_file(file("c.bpn2_hl_ref")));
    // The expanded nets of a and b are the same net.
    for (const char* n : {"a", "b"}) {
        r = testsupport::run(progcast_test::program("flatnet") + " " + shell_quote(file(std::string(n) + ".hl_net")));
        ASSERT_EQ(r.exit_code, 0) << r.err;
    }
    // (The net read back lies at the drawing origin exactly; the elements
    // keep their distances.)
    EXPECT_EQ(without_positions(testsupport::read_file(file("a.ll_net"))),
              without_positions(testsupport::read_file(file("b.ll_net"))));
}

// ---------------------------------------------------------------------------
// Options that only change the form of the net.

// A canonical form of a reachability graph up to renaming of states: the
// colours of a few rounds of refinement by successor colours.
std::vector<std::string> graph_colours(const testsupport::StateSpace& ss) {
    std::vector<std::string> colour(ss.states.size(), "s");
    for (int round = 0; round < 6; ++round) {
        std::vector<std::string> next(colour.size());
        for (std::size_t s = 0; s < colour.size(); ++s) {
            std::vector<std::string> succ;
            for (const auto& e : ss.succ[s]) succ.push_back(colour[static_cast<std::size_t>(e.second)]);
            std::sort(succ.begin(), succ.end());
            std::string c = colour[s] + "(";
            for (const std::string& x : succ) c += x + ",";
            next[s] = std::to_string(std::hash<std::string>()(c + ")"));
        }
        colour = next;
    }
    std::vector<std::string> sorted = colour;
    std::sort(sorted.begin(), sorted.end());
    sorted.push_back(colour[0]);  // the initial state's colour
    return sorted;
}

TEST_F(ProgcastCli, FormOptionsKeepTheReachabilityGraph) {
    const std::string src = source(
        "begin var x : {0..2} init 0; var c : chan 0 of {0..2};\n"
        "  begin <c! = 2> || <x' = c?> end;\n"
        "  do <'x > 0 and x' = 'x - 1>; repeat [] <x = 0>; exit od\nend\n");
    std::vector<std::vector<std::string>> colours;
    for (const char* opts : {"", "-r -e -h -b -x -s5"}) {
        SCOPED_TRACE(opts);
        auto r = progcast(src + " " + opts + " -p=" + shell_quote(file("f.hl_net")) + " -z=" + shell_quote(file("f.bpn2_hl_ref")));
        ASSERT_EQ(r.exit_code, 0) << r.err;
        r = testsupport::run(progcast_test::program("flatnet") + " " + shell_quote(file("f.hl_net")));
        ASSERT_EQ(r.exit_code, 0) << r.err;
        auto net = testsupport::read_vos(file("f.ll_net"));
        ASSERT_TRUE(net);
        colours.push_back(graph_colours(testsupport::explore(*net)));
    }
    EXPECT_EQ(colours[0], colours[1]);
}

TEST_F(ProgcastCli, DefinitionTextsAreSourceSlices) {
    const std::string text =
        "begin\n  var x : {0..2} init 0;\n  var c : chan 1 of {0..2};\n  proc P(val a : {0..2}) begin <x' = a> end;\n"
        "  L : <c! = 1>;\n  P(c?)\nend\n";
    const std::string src = source(text);
    auto r = progcast(src + " -p=" + shell_quote(file("d.hl_net")) + " -z=" + shell_quote(file("d.bpn2_hl_ref")));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    std::istringstream refs(testsupport::read_file(file("d.bpn2_hl_ref")));
    std::string line, all;
    int defs = 0;
    for (std::string l; std::getline(refs, l);) all += l + "\n";
    // Entries: number R"(l1,c1;l2,c2)" kind texts b"source" — b texts may span lines.
    std::size_t at = all.find("DEF\n") + 4, end = all.find("\nPL\n");
    while (at < end) {
        unsigned l1, c1, l2, c2;
        std::size_t r0 = all.find("R\"(", at);
        ASSERT_EQ(std::sscanf(all.c_str() + r0, "R\"(%u,%u;%u,%u)", &l1, &c1, &l2, &c2), 4);
        std::size_t b = all.find("b\"", r0);
        std::size_t close = all.find('"', b + 2);
        const std::string text_b = all.substr(b + 2, close - b - 2);
        std::string slice;
        if (l1 == l2) {
            slice = lines[l1 - 1].substr(c1 - 1, c2 - c1);
        } else {
            slice = lines[l1 - 1].substr(c1 - 1) + "\n";
            for (unsigned k = l1 + 1; k < l2; ++k) slice += lines[k - 1] + "\n";
            slice += lines[l2 - 1].substr(0, c2 - 1);
        }
        EXPECT_EQ(text_b, slice);
        ++defs;
        at = all.find('\n', close) + 1;
    }
    EXPECT_GE(defs, 7);  // block, x, c, P, its body, a, L, the actions and the call
    EXPECT_NE(all.find("\"(2,7;2,8)\"V\"{0..2}\"b\"x\""), std::string::npos) << all;
    EXPECT_NE(all.find("C\"{1}{0..2}\"b\"c\""), std::string::npos) << all;
}


// The names in a directory, hidden ones included.
std::set<std::string> listing(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

// No output may replace an input, whatever its spelling; the refusal comes
// before anything is written.
TEST_F(ProgcastCli, OutputsNamingAnInputAreRefused) {
    const std::string src = source(counter);
    auto r = progcast(src + " -p=" + shell_quote(file("made.hl_net")) + " -z=" + shell_quote(file("made.ref")));
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::filesystem::create_symlink(file("p.b"), file("link.b"));
    std::filesystem::create_symlink(file("made.ref"), file("link.ref"));
    const std::string net = shell_quote(file("made.hl_net")), ref = shell_quote(file("made.ref"));
    const std::string net_text = testsupport::read_file(file("made.hl_net"));
    const std::string ref_text = testsupport::read_file(file("made.ref"));
    struct Case {
        std::string args;
        std::string named;  // the output named in the message
    } cases[] = {
        {src + " -p=" + src, file("p.b")},
        {src + " -p=" + shell_quote(dir.path() + "/./p.b"), dir.path() + "/./p.b"},
        {src + " -z=" + shell_quote(file("link.b")), file("link.b")},
        {src + " -p=" + shell_quote(file("new.hl_net")) + " -z=" + src, file("p.b")},
        {net + " -j -p=" + net, file("made.hl_net")},
        {net + " -j -Z=" + ref + " -p=" + shell_quote(file("new.hl_net")) + " -z=" + shell_quote(file("link.ref")),
         file("link.ref")},
    };
    const auto before = listing(dir.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        r = progcast(c.args);
        EXPECT_EQ(r.exit_code, 3);
        EXPECT_EQ(r.err, "\nError: output file " + c.named + " would replace the input !\n\n");
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(testsupport::read_file(file("p.b")), counter);
        EXPECT_EQ(testsupport::read_file(file("made.hl_net")), net_text);
        EXPECT_EQ(testsupport::read_file(file("made.ref")), ref_text);
        EXPECT_EQ(listing(dir.path()), before);
    }
}

// A run that fails at its second output leaves neither a new first output
// nor a changed earlier one, and no staged file.
TEST_F(ProgcastCli, AFailedRunLeavesTheEarlierOutputs) {
    const std::string src = source(counter);
    const std::string net = shell_quote(file("x.hl_net")), bad_ref = shell_quote(file("nodir/x.ref"));
    auto r = progcast(src + " -p=" + net + " -z=" + bad_ref);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_NE(r.err.find("Error: Could not open file " + file("nodir/x.ref") + " !"), std::string::npos) << r.err;
    EXPECT_EQ(listing(dir.path()), std::set<std::string>{"p.b"});
    ASSERT_TRUE(testsupport::write_file(file("x.hl_net"), "earlier net"));
    EXPECT_EQ(progcast(src + " -p=" + net + " -z=" + bad_ref).exit_code, 3);
    EXPECT_EQ(testsupport::read_file(file("x.hl_net")), "earlier net");
    EXPECT_EQ(listing(dir.path()), (std::set<std::string>{"p.b", "x.hl_net"}));
    // A successful run replaces it.
    EXPECT_EQ(progcast(src + " -p=" + net).exit_code, 0);
    EXPECT_EQ(testsupport::read_file(file("x.hl_net")).substr(0, 10), "VOS\nHLNet\n");
    EXPECT_EQ(listing(dir.path()), (std::set<std::string>{"p.b", "x.hl_net"}));
}

}  // namespace
