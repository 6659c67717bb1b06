// The command lines of cyrtal, movrane and pelwick: usage texts, messages,
// verdicts and exit statuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <new>

#include "drivers.h"
#include "output.h"
#include "petri_test.h"

using namespace testsupport;

namespace {

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

const char* const kTwoPlaces =
    "\\beginnet{two}\n\\place{p1}{\\name{p1} \\init{1}}\n\\place{p2}{\\name{p2} \\init{0}}\n"
    "\\transition{t1}{\\name{t1}}\n\\transition{t2}{\\name{t2}}\n"
    "\\arc{a1}{\\from{p1} \\to{t1}}\n\\arc{a2}{\\from{t1} \\to{p2}}\n"
    "\\arc{a3}{\\from{p2} \\to{t2}}\n\\arc{a4}{\\from{t2} \\to{p1}}\n\\endnet\n";

// FG !p1, the negation of GF p1.
const char* const kFgNotP1 =
    "\\beginba{LTL2BA}\n\\header{2 1}\n\\aps{p1}{1}\n"
    "\\node{T0_init}{\\init \\post{0 1}}\n\\node{accept_S1}{\\acc{1} \\post{1} \\apslist{-1}}\n\\endba\n";

class Cli : public testing::Test {
protected:
    std::string file(const std::string& name, const std::string& text) {
        std::string path = dir_.file(name);
        write_file(path, text);
        return path;
    }
    RunResult run(const std::string& program, const std::string& args) {
        return testsupport::run("cd " + shell_quote(dir_.path()) + " && " + shell_quote(std::string(VOS_BIN_DIR) +
                                "/" + program) + " " + args);
    }
    // n independent two-place cycles as a Büchi net without automaton.
    std::string cycles(int n) {
        std::string s = "\\beginnet{cycles}\n";
        for (int i = 0; i < n; ++i) {
            std::string k = std::to_string(i);
            s += "\\place{a" + k + "}{\\name{a" + k + "} \\init{1}}\\place{b" + k + "}{\\name{b" + k + "} \\init{0}}"
                 "\\transition{u" + k + "}{\\name{u" + k + "}}\\transition{v" + k + "}{\\name{v" + k + "}}"
                 "\\arc{w" + k + "}{\\from{a" + k + "}\\to{u" + k + "}}\\arc{x" + k + "}{\\from{u" + k + "}\\to{b" +
                 k + "}}\\arc{y" + k + "}{\\from{b" + k + "}\\to{v" + k + "}}\\arc{z" + k + "}{\\from{v" + k +
                 "}\\to{a" + k + "}}\n";
        }
        return s + "\\endnet\n";
    }
    TempDir dir_;
};

}  // namespace

TEST_F(Cli, CyrtalUsageAndFiles) {
    file("net.bn", kTwoPlaces);
    file(".bn", kTwoPlaces);
    file("net.pn", kTwoPlaces);
    const std::string usage =
        "CYRTAL Version 3.0: a simple LTL model checker for safe B\xFC" "chinets based on ZBDDs\n"
        "usage: cyrtal [-f|-b|-d] bnfile\n\t-f\tFwdCycleCheck\n\t-b\tBwdCycleCheck\n\t-d\tSymbolicDFS\n\n";
    for (const char* args : {"", "net.bn", "-f -b -d net.bn", "-q net.bn", "-f"}) {
        RunResult r = run("cyrtal", args);
        EXPECT_EQ(r.exit_code, 1) << args;
        EXPECT_EQ(r.out.substr(0, usage.size()), usage) << args;
    }
    RunResult r = run("cyrtal", "-f net.pn");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "Could not open file: net.pn\n");
    r = run("cyrtal", "-f missing.bn");
    EXPECT_EQ(r.err, "Could not open file: missing.bn\n");
    r = run("cyrtal", "-sf .bn");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    // Without a check: set-up, total time and statistics only.
    r = run("cyrtal", "-s net.bn");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out.substr(0, 24), "(NrP 2 NrT 2 NrMP 1)\n\nTo");
    EXPECT_FALSE(contains(r.out, "reachability"));
    EXPECT_TRUE(contains(r.out, "\n\nZBDD statistic:\nmax number of refs: "));
    EXPECT_TRUE(contains(r.out, "state number cache hits/miss/sum: "));
    // A reader error ends the run with its message.
    file("bad.bn", "\\beginnet{b}\\place{p}{\\init{2}}\\endnet");
    r = run("cyrtal", "-sf bad.bn");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "APNN: Only 1-bounded nets are allowed!\n-> P: p, 2, 1 at line 1\n");
}

TEST_F(Cli, CyrtalChecksInOrderAndReachabilityCounts) {
    file("net.pn", kTwoPlaces);
    file("fg.ba", kFgNotP1);
    RunResult p = run("pelwick", "-f net.pn fg.ba > f.bn");
    ASSERT_EQ(p.exit_code, 0) << p.err;
    RunResult r = run("cyrtal", "-sdbf f.bn");  // -d needs the scheduler: stops after -f and -b
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(contains(r.out, "(NrP 6 NrT 6 NrMP 2)"));
    const std::size_t rs = r.out.find("Start reachability set computation:\n");
    const std::size_t fwd = r.out.find("\nFwdCycleCheck: The Formula is true\nFwdCycleCheck computation time: real:");
    const std::size_t bwd = r.out.find("\nBwdCycleCheck: The Formula is true\nBwdCycleCheck computation time: real:");
    ASSERT_NE(rs, std::string::npos);
    ASSERT_NE(fwd, std::string::npos);
    ASSERT_NE(bwd, std::string::npos);
    EXPECT_LT(rs, fwd);
    EXPECT_LT(fwd, bwd);
    EXPECT_TRUE(contains(r.out, "\n\nNet is safe!\n\n-> reachability set: #nodes "));
    EXPECT_TRUE(contains(r.err, "SymbolicDFS needs the scheduler places"));

    p = run("pelwick", "-d net.pn fg.ba > d.bn");
    ASSERT_EQ(p.exit_code, 0);
    r = run("cyrtal", "-sd d.bn");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "(NrP 8 NrT 6 NrMP 3)"));
    EXPECT_TRUE(contains(r.out, "\n\nSymbolicDFS: The Formula is true\nSymbolicDFS computation time: "));

    file("c30.bn", cycles(30));
    file("c40.bn", cycles(40));
    r = run("cyrtal", "-b c30.bn");
    EXPECT_TRUE(contains(r.out, " #states 1073741824\n")) << r.out;
    r = run("cyrtal", "-b c40.bn");
    EXPECT_TRUE(contains(r.out, " #states 1099511627776\n")) << r.out;
    EXPECT_EQ(r.exit_code, 0);
}

// Nets that stop, or whose only moves change no proposition: the run
// stutters, and the automaton must keep accepting over the marking it
// stopped in.
TEST_F(Cli, CyrtalVerdictsOnNetsThatStop) {
    // a -> t -> p: the only run is {a}{p}{p}...
    file("to_p.pn", "\\beginnet{n}\n\\place{a}{\\name{a} \\init{1}}\n\\place{p}{\\name{p} \\init{0}}\n"
                    "\\transition{t}{\\name{t}}\n\\arc{a1}{\\from{a} \\to{t}}\n\\arc{a2}{\\from{t} \\to{p}}\n\\endnet\n");
    // a marked, q unmarked, no transition.
    file("still.pn", "\\beginnet{n}\n\\place{a}{\\name{a} \\init{1}}\n\\place{q}{\\name{q} \\init{0}}\n\\endnet\n");
    // t only reads a, which no proposition names: it fires for ever.
    file("reader.pn", "\\beginnet{n}\n\\place{a}{\\name{a} \\init{1}}\n\\place{q}{\\name{q} \\init{0}}\n"
                      "\\transition{t}{\\name{t}}\n\\arc{a1}{\\from{a} \\to{t} \\type{readarc}}\n\\endnet\n");
    // GF p && GF !p, the negation of FG p || FG !p: accepting is a change
    // from !p to p.
    file("changes.ba", "\\beginba{LTL2BA}\n\\header{3 1}\n\\aps{p}{1}\n"
                       "\\node{P}{\\init \\post{0 1} \\apslist{1}}\n\\node{N}{\\init \\post{1 2} \\apslist{-1}}\n"
                       "\\node{accept_P}{\\acc{1} \\post{0 1} \\apslist{1}}\n\\endba\n");
    // GF !q, the negation of FG q.
    const std::string notQ = "\\header{2 1}\n\\aps{q}{1}\n\\node{T0_init}{\\init \\post{0 1}}\n"
                             "\\node{accept_S1}{\\acc{1} \\post{0 1} \\apslist{-1}}\n\\endba\n";
    file("wx.ba", "\\beginba{LTL2BA_wX}\n" + notQ);
    file("ox.ba", "\\beginba{LTL2BA}\n" + notQ);
    const struct {
        const char* pelwick;
        const char* cyrtal;
        const char* verdict;
    } cases[] = {
        {"-f to_p.pn changes.ba", "-sfb", "true"},
        {"-d to_p.pn changes.ba", "-sfbd", "true"},
        {"-d still.pn wx.ba", "-sfbd", "false"},
        {"-f still.pn wx.ba", "-sfb", "false"},
        {"-d reader.pn ox.ba", "-sfbd", "false"},
        {"-d reader.pn wx.ba", "-sd", "false"},
    };
    for (const auto& c : cases) {
        RunResult p = run("pelwick", std::string(c.pelwick) + " > product.bn");
        ASSERT_EQ(p.exit_code, 0) << c.pelwick << p.err;
        RunResult r = run("cyrtal", std::string(c.cyrtal) + " product.bn");
        EXPECT_EQ(r.exit_code, 0) << c.pelwick << r.err;
        const std::string options = c.cyrtal;
        const struct {
            char option;
            const char* check;
        } checks[] = {{'f', "FwdCycleCheck"}, {'b', "BwdCycleCheck"}, {'d', "SymbolicDFS"}};
        for (const auto& k : checks) {
            if (options.find(k.option) == std::string::npos) continue;
            EXPECT_TRUE(contains(r.out, std::string("\n") + k.check + ": The Formula is " + c.verdict + "\n"))
                << c.pelwick << " " << c.cyrtal << " " << k.check << "\n" << r.out;
        }
    }
}

TEST_F(Cli, CyrtalRefusesUnsafeNets) {
    file("u.bn", "\\beginnet{u}\\place{p}{\\name{p}\\init{1}}\\place{q}{\\name{q}\\init{1}}"
                 "\\transition{t}{\\name{t}}\\arc{a}{\\from{p}\\to{t}}\\arc{b}{\\from{t}\\to{q}}\\endnet");
    RunResult r = run("cyrtal", "-sb u.bn");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(contains(r.out, "\n\nAttention: the net is not safe!\n\nTransition: t\nState: [ "));
    EXPECT_EQ(r.err, "\n\nOnly safe nets are supported!\n");
    // Without -b safety is never checked.
    r = run("cyrtal", "-sf u.bn");
    EXPECT_EQ(r.exit_code, 0);
}

TEST_F(Cli, MovraneVerdicts) {
    file("two.apnn", kTwoPlaces);
    file("two.ctl",
         "VERIFY two AGAINST BEGIN\np1;\nEX p2;\n;\nAG EF p1;\nEG TRUE;\nAX p1;\np1 p2;\nEND.\n");
    RunResult r = run("movrane", "-s two.apnn two.ctl");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 54), "MOVRANE Version 2.0\nChecking the net: \"two.apnn\"\n(NrP ");
    const char* const verdicts[] = {"p1;\n", "EX p2;\n", "AG EF p1;\n", "EG true;\n", "AX p1;\n", "p1 * p2;\n"};
    const bool truth[] = {true, true, true, true, false, false};
    for (int i = 0; i < 6; ++i) {
        const std::string n = std::to_string(i + 1);
        EXPECT_TRUE(contains(r.out, "Start checking formula " + n + ":\n" + verdicts[i])) << i;
        EXPECT_TRUE(contains(r.out, "\n-> the formula " + n + (truth[i] ? " is TRUE\nMC time: " : " is FASLE\nMC time: ")))
            << i;
    }
    EXPECT_FALSE(contains(r.out, "formula 7"));
    EXPECT_TRUE(contains(r.out, "Total MC time: "));
    EXPECT_TRUE(contains(r.out, "ZBDD statistic:\noverall number of nodes: "));
    // Only the net: as with -r.
    r = run("movrane", "-s two.apnn");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(contains(r.out, "-> reachability set: #nodes 2 #states 2\nRS computation time: "));
    EXPECT_FALSE(contains(r.out, "Start checking"));
    // Verbose: the evaluation names.
    r = run("movrane", "-sv two.apnn two.ctl");
    EXPECT_TRUE(contains(r.out, "DLEVEL 2: ID_EF\n"));
    EXPECT_TRUE(contains(r.out, "DLEVEL 2: ID_IDENT "));
}

// Long conjunctions and disjunctions need no more than a few of movrane's
// 50 external references.
TEST_F(Cli, MovraneLongChains) {
    file("two.apnn", kTwoPlaces);
    auto chain = [](const std::string& sep, const std::string& last) {
        std::string s = "p1";
        for (int i = 0; i < 80; ++i) s += sep + "p1";
        return s + sep + last;
    };
    file("long.ctl", "VERIFY two AGAINST BEGIN\n" + chain(" & ", "p1") + ";\n" + chain(" ", "p2") + ";\n" +
                         chain(" | ", "p2") + ";\nEF (" + chain(" & ", "!p1") + " | " + chain(" ", "p1") +
                         ");\nEND.\n");
    RunResult r = run("movrane", "-s two.apnn long.ctl");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const bool truth[] = {true, false, true, true};
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(contains(r.out, "\n-> the formula " + std::to_string(i + 1) + (truth[i] ? " is TRUE\n" : " is FASLE\n")))
            << i;
    // The verbose trace still names each operator before its operands,
    // the right operand first.
    file("order.ctl", "VERIFY two AGAINST BEGIN p1 & EX p2 & TRUE; END.\n");
    r = run("movrane", "-sv two.apnn order.ctl");
    EXPECT_TRUE(contains(r.out, "DLEVEL 2: ID_AND\nDLEVEL 2: ID_TRUE\nDLEVEL 2: ID_AND\nDLEVEL 2: ID_EX\n"
                                "DLEVEL 2: ID_IDENT 1\n.DLEVEL 2: ID_IDENT 0\n"))
        << r.out;
}

TEST_F(Cli, MovraneDeadNetsAndInhibitors) {
    file("dead.apnn", "\\beginnet{d}\\place{p}{\\name{p}\\init{1}}\\endnet");
    file("dead.ctl", "VERIFY d AGAINST BEGIN AX FALSE; EX TRUE; END.");
    RunResult r = run("movrane", "-s dead.apnn dead.ctl");
    EXPECT_TRUE(contains(r.out, "-> the formula 1 is TRUE"));
    EXPECT_TRUE(contains(r.out, "-> the formula 2 is FASLE"));
    // r(1) -t-> s, t inhibited by q(0): q is never touched, t still fires.
    file("inh.apnn", "\\beginnet{i}\\place{r}{\\name{r}\\init{1}}\\place{s}{\\name{s}\\init{0}}"
                     "\\place{q}{\\name{q}\\init{0}}\\transition{t}{\\name{t}}\\arc{a}{\\from{r}\\to{t}}"
                     "\\arc{b}{\\from{t}\\to{s}}\\arc{c}{\\from{q}\\to{t}\\type{inhibitor}}\\endnet");
    file("inh.ctl", "VERIFY i AGAINST BEGIN EF s; END.");
    r = run("movrane", "-s inh.apnn inh.ctl");
    EXPECT_TRUE(contains(r.out, "#states 2\n"));
    EXPECT_TRUE(contains(r.out, "-> the formula 1 is TRUE"));
    // A marked inhibitor place blocks.
    file("blk.apnn", "\\beginnet{i}\\place{r}{\\name{r}\\init{1}}\\place{s}{\\name{s}\\init{0}}"
                     "\\place{q}{\\name{q}\\init{1}}\\transition{t}{\\name{t}}\\arc{a}{\\from{r}\\to{t}}"
                     "\\arc{b}{\\from{t}\\to{s}}\\arc{c}{\\from{q}\\to{t}\\type{inhibitor}}\\endnet");
    r = run("movrane", "-s blk.apnn inh.ctl");
    EXPECT_TRUE(contains(r.out, "#states 1\n"));
    EXPECT_TRUE(contains(r.out, "-> the formula 1 is FASLE"));
}

TEST_F(Cli, MovraneErrors) {
    file("two.apnn", kTwoPlaces);
    file("zz.ctl", "VERIFY x AGAINST BEGIN\nzz; END.");
    file("u.apnn", "\\beginnet{u}\\place{p}{\\name{p}\\init{1}}\\place{q}{\\name{q}\\init{1}}"
                   "\\transition{t}{\\name{t}}\\arc{a}{\\from{p}\\to{t}}\\arc{b}{\\from{t}\\to{q}}\\endnet");
    const std::string usage = "MOVRANE Version 2.0: a simple CTL model checker for safe Petri nets based on ZBDDs\n"
                              "usage: movrane [-h][-v][-r][-s|m|l|x] netfile ctlfile\n\t-h\tprint this message\n";
    for (const char* args : {"", "-h two.apnn", "-q two.apnn", "-s"}) {
        RunResult r = run("movrane", args);
        EXPECT_EQ(r.exit_code, 1) << args;
        EXPECT_EQ(r.out.substr(0, usage.size()), usage) << args;
    }
    const struct {
        const char* args;
        const char* err;
    } cases[] = {
        {"two.apnn missing.ctl", "Could not open file: missing.ctl\n"},
        {"missing.apnn zz.ctl", "Could not open file: missing.apnn\n"},
        {"two.apnn zz.ctl", "Placename zz in line 2 is not defined!\n"},
        {"u.apnn", "Only safe nets are supported!\n"},
    };
    for (const auto& c : cases) {
        RunResult r = run("movrane", c.args);
        EXPECT_EQ(r.exit_code, 1) << c.args;
        EXPECT_EQ(r.err, c.err) << c.args;
    }
}

TEST_F(Cli, PelwickProducts) {
    file("net.pn", kTwoPlaces);
    file("fg.ba", kFgNotP1);
    const std::string usage = "PELWICK Version 2.0\nusage: pelwick [-f|-b|-d] pnfile bafile\n";
    for (const char* args : {"net.pn fg.ba", "-f -d net.pn fg.ba", "-q net.pn fg.ba", ""}) {
        RunResult r = run("pelwick", args);
        EXPECT_EQ(r.exit_code, 1) << args;
        EXPECT_TRUE(contains(r.err, usage)) << args;  // after getopt's own complaint
        EXPECT_EQ(r.out, "") << args;
    }
    RunResult r = run("pelwick", "-b net.pn fg.ba");
    ASSERT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out,
              "\\beginnet{Buechinet_oX}\n\n"
              "\\place{@N_0@}{\\name{Neg_p1} \\capacity{1} \\init{0}}\n"
              "\\place{p2}{\\name{p2} \\capacity{1} \\init{0}}\n"
              "\\place{p1}{\\name{p1} \\capacity{1} \\init{1}}\n\n"
              "\\transition{t2}{\\name{t2}}\n\\transition{t1}{\\name{t1}}\n\n"
              "\\arc{A_0}{\\from{t1} \\to{@N_0@} \\weight{1} \\type{ordinary}}\n"
              "\\arc{A_1}{\\from{@N_0@} \\to{t2} \\weight{1} \\type{ordinary}}\n"
              "\\arc{A_2}{\\from{t1} \\to{p2} \\weight{1} \\type{ordinary}}\n"
              "\\arc{A_3}{\\from{p2} \\to{t2} \\weight{1} \\type{ordinary}}\n"
              "\\arc{A_4}{\\from{t2} \\to{p1} \\weight{1} \\type{ordinary}}\n"
              "\\arc{A_5}{\\from{p1} \\to{t1} \\weight{1} \\type{ordinary}}\n\n"
              "// Begin BA\n\n// Init Place\n\n\\place{@Q_0@}{\\name{@Q_0@} \\capacity{1} \\init{1}}\n\n"
              "// New Places\n\n"
              "\\place{@P_0@}{\\name{T0_init} \\capacity{1} \\init{0}}\n"
              "\\place{@P_1@}{\\name{accept_S1} \\capacity{1} \\init{0} \\acc{1}}\n\n"
              "// Init Transitions\n\n"
              "\\transition{@T_0@}{\\name{@T_0@} \\ba{1}}\n\n"
              "\\arc{@A_0@}{\\from{@Q_0@} \\to{@T_0@} \\weight{1} \\type{ordinary}}\n"
              "\\arc{@A_1@}{\\from{@T_0@} \\to{@P_0@} \\weight{1} \\type{ordinary}}\n\n\n"
              "// New Transition\n\n\\transition{@T_1@}{\\name{@T_1@} \\ba{1}}\n\n"
              "\\arc{@A_2@}{\\from{@P_0@} \\to{@T_1@} \\weight{1} \\type{ordinary}}\n"
              "\\arc{@A_3@}{\\from{@T_1@} \\to{@P_0@} \\weight{1} \\type{ordinary}}\n\n\n"
              "// New Transition\n\n\\transition{@T_2@}{\\name{@T_2@} \\ba{1}}\n\n"
              "\\arc{@A_4@}{\\from{@P_0@} \\to{@T_2@} \\weight{1} \\type{ordinary}}\n"
              "\\arc{@A_5@}{\\from{@T_2@} \\to{@P_1@} \\weight{1} \\type{ordinary}}\n\n\n"
              "\\arc{@A_6@}{\\from{@T_2@} \\to{@N_0@} \\weight{1} \\type{ordinary}}\n"
              "\\arc{@A_7@}{\\from{@N_0@} \\to{@T_2@} \\weight{1} \\type{ordinary}}\n\n"
              "// New Transition\n\n\\transition{@T_3@}{\\name{@T_3@} \\ba{1}}\n\n"
              "\\arc{@A_8@}{\\from{@P_1@} \\to{@T_3@} \\weight{1} \\type{ordinary}}\n"
              "\\arc{@A_9@}{\\from{@T_3@} \\to{@P_1@} \\weight{1} \\type{ordinary}}\n\n\n"
              "\\arc{@A_10@}{\\from{@T_3@} \\to{@N_0@} \\weight{1} \\type{ordinary}}\n"
              "\\arc{@A_11@}{\\from{@N_0@} \\to{@T_3@} \\weight{1} \\type{ordinary}}\n\n"
              "\\endnet\n");
}

// The header's counts only bound the indices: a small automaton under huge
// counts costs no more than under tight ones and gives the same product.
TEST_F(Cli, PelwickHugeHeaderCounts) {
    file("net.pn", kTwoPlaces);
    const std::string ba = kFgNotP1;
    const std::string tight = "\\header{2 1}";
    file("tight.ba", ba);
    std::string huge = ba;
    huge.replace(huge.find(tight), tight.size(), "\\header{2147483647 2147483647}");
    file("huge.ba", huge);
    for (const char* option : {"-f", "-d"}) {
        RunResult expected = run("pelwick", std::string(option) + " net.pn tight.ba");
        RunResult r = run("pelwick", std::string(option) + " net.pn huge.ba");
        ASSERT_EQ(expected.exit_code, 0) << expected.err;
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out, expected.out) << option;
    }
}

TEST_F(Cli, PelwickSchedulerArcs) {
    // t3 moves a token between places that no proposition names.
    file("net.pn", std::string(kTwoPlaces).substr(0, std::string(kTwoPlaces).size() - 8) +
                       "\\place{r}{\\name{r}\\init{1}}\\place{s}{\\name{s}\\init{0}}\\transition{t3}{\\name{t3}}"
                       "\\arc{a5}{\\from{r}\\to{t3}}\\arc{a6}{\\from{t3}\\to{s}}\n\\endnet\n");
    const std::string ba = std::string(kFgNotP1);
    file("ox.ba", ba);
    file("wx.ba", "\\beginba{LTL2BA_wX}" + ba.substr(ba.find('\n')));
    RunResult ox = run("pelwick", "-d net.pn ox.ba");
    RunResult wx = run("pelwick", "-d net.pn wx.ba");
    ASSERT_EQ(ox.exit_code, 0) << ox.err;
    ASSERT_EQ(wx.exit_code, 0) << wx.err;
    EXPECT_TRUE(contains(ox.out, "\\place{@SC_PN@}{\\name{@SC_PN@} \\capacity{1} \\init{0}}"));
    EXPECT_TRUE(contains(ox.out, "\\place{@SC_FBA@}{\\name{@SC_FBA@} \\capacity{1} \\init{1}}"));
    EXPECT_TRUE(contains(ox.out, "\\from{t1} \\to{@SC_FBA@}"));
    EXPECT_FALSE(contains(ox.out, "\\from{t3} \\to{@SC_FBA@}"));
    EXPECT_TRUE(contains(wx.out, "\\beginnet{Buechinet_wX}"));
    EXPECT_TRUE(contains(wx.out, "\\from{t3} \\to{@SC_FBA@}"));
    EXPECT_TRUE(contains(wx.out, "\\from{@SC_PN@} \\to{t3}"));
    EXPECT_TRUE(contains(wx.out, "\\from{@SC_FBA@} \\to{@T_0@}"));
    // The product reads straight into cyrtal.
    write_file(dir_.file("wx.bn"), wx.out);
    RunResult c = run("cyrtal", "-sd wx.bn");
    EXPECT_EQ(c.exit_code, 0) << c.err;
    EXPECT_TRUE(contains(c.out, "SymbolicDFS: The Formula is true"));
}

TEST_F(Cli, PelwickAutomatonErrors) {
    file("net.pn", kTwoPlaces);
    const std::string head = "\\beginba{LTL2BA}\n\\header{2 1}\n";
    const struct {
        std::string ba;
        const char* err;
    } cases[] = {
        {head + "\\aps{zz}{1}\\endba", "net.cc: Place with name zz does not exist\n"},
        {head + "\\aps{p1}{1}\n\\node{n}{\\apslist{0}}\\endba",
         "BA: ba: Parser error in line 4, Error: Error in apslist! (near `0').\n"},
        {head + "\\aps{p1}{1}\n\\node{n}{\\post{2}}\\endba",
         "BA: ba: Parser error in line 4, Error: node index out of range (near `2').\n"},
        {head + "\\aps{p1}{1}\n\\node{n}{\\apslist{-2}}\\endba",
         "BA: ba: Parser error in line 4, Error: proposition index out of range (near `-2').\n"},
        {head + "\\aps{p1}{2}\\endba", "BA: ba: Parser error in line 3, Error: proposition index out of range (near `2').\n"},
        {head + "\\node{n}{\\apslist{1}}\\endba", "BA: ba: proposition 1 is used but has no \\aps entry\n"},
        {head + "\\node{a}{}\\node{b}{}\n\\node{c}{}\\endba",
         "BA: ba: Parser error in line 4, Error: more nodes than the header declares (near `\\node').\n"},
        {head + "\\node{a}{} $", "BA: ba: Lexical error in line 3: illegal character: $ '(0x24)\n"},
        {head + "\\node{a}{}", "BA: ba: Parser error in line 3, Error: parse error (near `').\n"},
    };
    for (const auto& c : cases) {
        file("ba", c.ba);
        RunResult r = run("pelwick", "-f net.pn ba");
        EXPECT_EQ(r.exit_code, 1) << c.ba;
        EXPECT_EQ(r.err, c.err) << c.ba;
        EXPECT_EQ(r.out, "") << c.ba;
    }
    RunResult r = run("pelwick", "-f missing.pn ba");
    EXPECT_EQ(r.err, "Could not open file: missing.pn\n");
}

// A directory opens but cannot be read: it is a file that cannot be opened,
// not an empty text with a syntax error.
TEST_F(Cli, DirectoriesAreUnreadableFiles) {
    file("net.pn", kTwoPlaces);
    file("fg.ba", kFgNotP1);
    file("two.ctl", "VERIFY two AGAINST BEGIN p1; END.\n");
    for (const char* dir : {"d.bn", "d"}) ASSERT_TRUE(std::filesystem::create_directory(dir_.file(dir)));
    const struct {
        const char* program;
        const char* args;
        const char* err;
    } cases[] = {
        {"cyrtal", "-sf d.bn", "Could not open file: d.bn\n"},
        {"movrane", "-s d two.ctl", "Could not open file: d\n"},
        {"movrane", "-s net.pn d", "Could not open file: d\n"},
        {"pelwick", "-f d fg.ba", "Could not open file: d\n"},
        {"pelwick", "-f net.pn d", "Could not open file: d\n"},
    };
    for (const auto& c : cases) {
        RunResult r = run(c.program, c.args);
        EXPECT_EQ(r.exit_code, 1) << c.program << " " << c.args;
        EXPECT_EQ(r.err, c.err) << c.program << " " << c.args;
    }
}

// A NUL byte is an illegal character like any other: the message quotes it
// and goes on with its code instead of ending at it.
TEST_F(Cli, NulBytesAreQuotedInLexicalErrors) {
    const std::string nul(1, '\0');
    const std::string illegal = "illegal character: " + nul + " '(0x0)\n";
    file("net.pn", kTwoPlaces);
    file("fg.ba", kFgNotP1);
    file("nul.bn", "\\beginnet{n}\n" + nul + "\\endnet\n");
    file("nul.ba", "\\beginba{LTL2BA}\n\\header{1 0}\n" + nul);
    file("nul.ctl", "VERIFY x AGAINST BEGIN " + nul + " END.");
    const struct {
        const char* program;
        const char* args;
        std::string err;
    } cases[] = {
        {"cyrtal", "-sf nul.bn", "APNN: Lexical error in line 2: " + illegal},
        {"movrane", "-s net.pn nul.ctl", "CTL: Lexical error in line 1: " + illegal},
        {"pelwick", "-f nul.bn fg.ba", "APNN: nul.bn: Lexical error in line 2: " + illegal},
        {"pelwick", "-f net.pn nul.ba", "BA: nul.ba: Lexical error in line 3: " + illegal},
    };
    for (const auto& c : cases) {
        RunResult r = run(c.program, c.args);
        EXPECT_EQ(r.exit_code, 1) << c.program << " " << c.args;
        EXPECT_EQ(r.err, c.err) << c.program << " " << c.args;
    }
}

// Output that cannot be written (a full device) ends the run with status 1:
// pelwick's Büchi net and the checkers' verdicts are their results.
TEST_F(Cli, UnwritableOutputFails) {
    file("net.pn", kTwoPlaces);
    file("net.bn", kTwoPlaces);
    file("fg.ba", kFgNotP1);
    file("two.ctl", "VERIFY two AGAINST BEGIN p1; END.\n");
    for (const char* command : {"pelwick -f net.pn fg.ba", "cyrtal -sf net.bn", "movrane -s net.pn two.ctl"}) {
        const std::string line(command);
        const std::string program = line.substr(0, line.find(' '));
        RunResult r = run(program, line.substr(line.find(' ') + 1) + " > /dev/full");
        EXPECT_EQ(r.exit_code, 1) << command;
        EXPECT_EQ(r.err, "Could not write to the standard output stream\n") << command;
        // The same run with a writable stream succeeds.
        EXPECT_EQ(run(program, line.substr(line.find(' ') + 1)).exit_code, 0) << command;
    }
}

// Memory the package does not manage itself ends a run like the package's
// own exhaustion: a message and status 1, never an abort.
TEST(Guard, LibraryErrorsAndExhaustedMemoryGiveStatusOne) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(zbdd::guardedMain([] { return 0; }), 0);
    EXPECT_EQ(zbdd::guardedMain([]() -> int { throw std::bad_alloc(); }), 1);
    EXPECT_EQ(zbdd::guardedMain([]() -> int { zbdd::fatal("broken %d\n", 7); }), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Out of memory\nbroken 7\n");
}
