// The vorga command line: options, messages, result output and exit codes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <new>

#include "petri_test.h"
#include "prefix_fixture.h"
#include "vorga.h"

using namespace testsupport;
using namespace vorga_test;

namespace {

TestNet make_net(std::vector<std::string> places, std::vector<std::string> trans, std::vector<std::vector<int>> pre,
                 std::vector<std::vector<int>> post, std::vector<int> m0) {
    TestNet n;
    n.place_names = std::move(places);
    n.trans_names = std::move(trans);
    n.pre = std::move(pre);
    n.post = std::move(post);
    n.m0 = std::move(m0);
    return n;
}

class CliTest : public testing::Test {
protected:
    // in (entry) -t1-> out (exit) + mid (internal); the only dead marking is {out, mid}.
    std::string box_mci() {
        return mci("box", make_net({"in", "mid", "out"}, {"t1"}, {{0}}, {{1, 2}}, {1, 0, 0}));
    }
    // p1 -> t1 -> p2 -> t2 -> p3 -> t3 -> p1 with one token: no deadlock.
    std::string cycle_mci() {
        return mci("cycle", make_net({"p1", "p2", "p3"}, {"t1", "t2", "t3"}, {{0}, {1}, {2}}, {{1}, {2}, {0}},
                                     {1, 0, 0}));
    }
    std::string mci(const std::string& name, const TestNet& net) {
        Prefix p = unfold_prefix(net);
        EXPECT_TRUE(p.complete);
        std::string path = dir_.file(name + ".mci");
        EXPECT_TRUE(write_mci(p, path));
        return path;
    }
    std::string file(const std::string& name, const std::string& text) {
        std::string path = dir_.file(name);
        write_file(path, text);
        return path;
    }
    static std::string box_net(bool petribox) {
        return std::string("VOS\n") + (petribox ? "PetriBox" : "PlainNet") +
               "\nFORMAT_N\nPL\n1\"in\"e\n2\"mid\"\n3\"out\"x\nTR\n1\"t1\"\nTP\n1<2\n1<3\nPT\n1>1\nTX\n";
    }
    TempDir dir_;
};

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

}  // namespace

TEST_F(CliTest, HelpTexts) {
    VorgaRun r = run_vorga({});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(contains(r.out, "2.01"));
    EXPECT_TRUE(contains(r.out, "\n\nUsage:\n  vorga [-h]\n  vorga [-![n]] [-M[n]] [-i] [-s] [-t] [-w]\n      [\n"));
    EXPECT_TRUE(contains(r.out, "\n\nAt most one of -d, -r, -c, -e, -m may be specified.\n"));
    const std::string tail = "\nType vorga -h for extended help\n";
    EXPECT_TRUE(r.out.size() > tail.size() && r.out.substr(r.out.size() - tail.size()) == tail);
    VorgaRun h = run_vorga({"-s", "-h", "x.mci"});
    EXPECT_EQ(h.code, 0);
    EXPECT_TRUE(contains(h.out, "\n\nIf outputfilename is omitted, then stdout is used."));
    EXPECT_TRUE(contains(h.out, "P1, 3 P5, 4 P7, EXIT_PLACE2"));
    EXPECT_FALSE(contains(h.out, "Type vorga -h"));
}

TEST_F(CliTest, OptionErrors) {
    struct Case {
        std::vector<std::string> args;
        const char* err;
    };
    const Case cases[] = {
        {{"-x", "a.mci"}, "\n Error: unrecognized option: -x\n"},
        {{"-", "a.mci"}, "\n Error: unrecognized option: -\n"},
        {{"-~", "a.mci"}, "\n Error: unrecognized option: -~\n"},
        {{"-r", "f"}, "\n Error: no data for reachability analysis!\n"},
        {{"-d"}, "\n Error: no data for deadlock checking!\n"},
        {{"-c", "f"}, "\n Error: no data for coverability analysis!\n"},
        {{"-e", "f"}, "\n Error: no data for extended reachability analysis!\n"},
        {{"-m", "f"}, "\n Error: no data for mutual exclusion checking!\n"},
        {{"-d", "n", "-m", "f", "a.mci"}, "\n Error: only one option among -d, -r, -c, -e, -m may be specified!\n"},
        {{"-m", "f", "-d", "n", "a.mci"}, "\n Error: only one option among -d, -r, -c, -e, -m may be specified.\n"},
        {{"-s", "-t"}, "\n Error: unfolding file name must be specified!\n"},
    };
    for (const Case& c : cases) {
        VorgaRun r = run_vorga(c.args);
        EXPECT_EQ(r.code, 2) << c.err;
        EXPECT_EQ(r.err, c.err);
    }
    // Further letters of an option are ignored; the options are echoed.
    VorgaRun r = run_vorga({"-sx", "-M12", "-!", "-i", "-t", cycle_mci()});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "\nThe system is supposed to be safe (-s option)\n"));
    EXPECT_TRUE(contains(r.out, "\nMemory saving mode (-M1 option)\n"));
    EXPECT_TRUE(contains(r.out, "\nBranching condition 0 is used (-!0 option)\n"));
    EXPECT_TRUE(contains(r.out, "\nDead \"internal\" tokens in a final marking are allowed according to -i option\n"));
    EXPECT_TRUE(contains(r.out, "\nLooking for a shortest trail according to -t option\n"));
}

TEST_F(CliTest, DeadlockResultsOnStdoutAndInAFile) {
    std::string m = box_mci();
    std::string out = dir_.file("result");
    VorgaRun r = run_vorga({m, out});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(read_file(out), "YES\n_SEQUENCE:\nt1\n");
    EXPECT_TRUE(contains(r.out, "\nfile: " + m + "\n|B|=      3; |E|=      1; |Ecut|=      0\n"));
    EXPECT_TRUE(contains(r.out, "\nDeadlock checking mode\n"));
    EXPECT_TRUE(contains(r.out, "YES\n_SEQUENCE:\nt1\n\npath length: 1\n\nthe system has a deadlock\n"));
    EXPECT_TRUE(contains(r.out, "\n1 compatible vectors explored\n"));

    VorgaRun n = run_vorga({cycle_mci()});
    EXPECT_EQ(n.code, 0);
    EXPECT_TRUE(contains(n.out, "NO\nthe system is deadlock-free\n"));
}

TEST_F(CliTest, TerminalMarkingIsNoDeadlock) {
    std::string m = box_mci();
    std::string net = file("box.ll_net", box_net(true));
    // The only dead marking leaves a token on the internal place mid.
    VorgaRun plain = run_vorga({"-d", net, m});
    EXPECT_EQ(plain.code, 0) << plain.err;
    EXPECT_TRUE(contains(plain.out, "the system has a deadlock"));
    for (const char* gen : {"-M0", "-M1", "-M4"}) {
        VorgaRun r = run_vorga({"-i", gen, "-d", net, m});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(contains(r.out, "NO\nthe system is deadlock-free\n")) << gen << r.out;
    }
    VorgaRun safe = run_vorga({"-i", "-s", "-M2", "-d", net, m});
    EXPECT_TRUE(contains(safe.out, "NO\nthe system is deadlock-free\n")) << safe.out;

    // A net that is not a box: the keyword error and terminal markings count as deadlocks.
    VorgaRun flat = run_vorga({"-i", "-d", file("flat.ll_net", box_net(false)), m});
    EXPECT_EQ(flat.code, 1);
    EXPECT_TRUE(contains(flat.err, "\n Error: incorrect syntax: the keyword `PetriBox' is expected\n"));
    EXPECT_TRUE(contains(flat.err, "\n Warning: failure when parsing "));
    EXPECT_TRUE(contains(flat.out, "the system has a deadlock"));

    // A box without exit places: the inequality is never violated, every dead marking counts.
    VorgaRun noexit = run_vorga(
        {"-d", file("noexit.ll_net", "VOS\nPetriBox\nFORMAT_N\nPL\n\"in\"e\n\"mid\"\n\"out\"\nTR\n\"t1\"\n"), m});
    EXPECT_EQ(noexit.code, 0) << noexit.err;
    EXPECT_TRUE(contains(noexit.out, "the system has a deadlock"));

    VorgaRun missing = run_vorga({"-d", dir_.file("none.ll_net"), m});
    EXPECT_EQ(missing.code, 2);
    EXPECT_EQ(missing.err, "\n Error: cannot open " + dir_.file("none.ll_net") + " for input\n");
    EXPECT_FALSE(contains(missing.out, "generating"));
}

TEST_F(CliTest, SubstitutedOptionsWarn) {
    std::string m = box_mci();
    VorgaRun r = run_vorga({"-M7", m});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.out, "\nDeadlock checking mode\n\n-M7 is not defined; -M4 is substituted instead\n"));
    EXPECT_TRUE(contains(r.out, "the system has a deadlock"));
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"-M2"}, "\n-M2 is defined for safe nets only; -M4 is substituted instead\n"},
        {{"-M3"}, "\n-M3 is not implemented yet; -M4 is substituted instead\n"},
        {{"-!3"}, "\n-!3 is not defined; -! is substituted instead\n"},
    };
    for (const auto& [opts, msg] : cases) {
        std::vector<std::string> a = opts;
        a.push_back(m);
        VorgaRun x = run_vorga(a);
        EXPECT_EQ(x.code, 1);
        EXPECT_TRUE(contains(x.out, msg)) << x.out;
    }
    std::string rf = file("r", "out, mid");
    const std::pair<std::vector<std::string>, const char*> reach[] = {
        {{"-M3", "-r", rf}, "\n-M3 is defined for safe nets only; -M2 is substituted instead\n"},
        {{"-M6", "-r", rf}, "\n-M6 is not defined; -M2 is substituted instead\n"},
        {{"-M2", "-c", rf}, "\n-M2 is defined for safe nets only; -M1 is substituted instead\n"},
        {{"-M3", "-c", rf}, "\n-M3 is not defined; -M1 is substituted instead\n"},
    };
    for (const auto& [opts, msg] : reach) {
        std::vector<std::string> a = opts;
        a.push_back(m);
        VorgaRun x = run_vorga(a);
        EXPECT_EQ(x.code, 1);
        EXPECT_TRUE(contains(x.out, msg)) << x.out;
        EXPECT_TRUE(contains(x.out, "YES")) << x.out;
    }
    // -! values outside deadlock mode are taken without a message.
    for (const char* b : {"-!", "-!5"}) {
        VorgaRun x = run_vorga({b, "-r", rf, m});
        EXPECT_EQ(x.code, 0);
        EXPECT_TRUE(contains(x.out, "the marking is reachable"));
    }
}

TEST_F(CliTest, ReachabilityAndCoverabilityFiles) {
    std::string m = box_mci();
    VorgaRun unsafe = run_vorga({"-s", "-r", file("two", "2 out"), m});
    EXPECT_EQ(unsafe.code, 1);
    EXPECT_EQ(unsafe.err, "\n Warning: unsafe marking is specified for a safe system\n");
    EXPECT_TRUE(contains(unsafe.out, "NO\nthe marking is unreachable\n"));
    EXPECT_FALSE(contains(unsafe.out, "system size"));
    VorgaRun searched = run_vorga({"-r", file("two", "2 out"), m});
    EXPECT_EQ(searched.code, 0);
    EXPECT_TRUE(contains(searched.out, "system size: constraints: 2;"));
    EXPECT_TRUE(contains(searched.out, "NO\nthe marking is unreachable\n"));

    VorgaRun cover = run_vorga({"-c", file("empty", ""), m});
    EXPECT_EQ(cover.code, 0);
    EXPECT_TRUE(contains(cover.out, "YES\n_SEQUENCE:\n\n\npath length: 0\n\nthe marking is coverable\n")) << cover.out;
    VorgaRun empty_r = run_vorga({"-r", file("empty", ""), m});
    EXPECT_TRUE(contains(empty_r.out, "system size: constraints: 1;"));
    EXPECT_TRUE(contains(empty_r.out, "the marking is unreachable"));  // 'in' holds a token at first

    VorgaRun ext = run_vorga({"-e", file("e", "out>0 mid+in=1"), m});
    EXPECT_TRUE(contains(ext.out, "YES\n_SEQUENCE:\nt1\n")) << ext.out;
    EXPECT_TRUE(contains(ext.out, "the marking is reachable"));

    VorgaRun bad_r = run_vorga({"-r", file("bad", "3*out"), m});
    EXPECT_EQ(bad_r.code, 2);
    EXPECT_EQ(bad_r.err, "\nError: incorrect syntax of " + dir_.file("bad") + "\n");
    EXPECT_FALSE(contains(bad_r.out, "generating"));
    VorgaRun bad_e = run_vorga({"-e", file("bad", "2 out<=2"), m});
    EXPECT_EQ(bad_e.code, 2);
    EXPECT_EQ(bad_e.err, "\n Error: incorrect syntax of " + dir_.file("bad") + "\n");
    VorgaRun none = run_vorga({"-c", dir_.file("nothing"), m});
    EXPECT_EQ(none.code, 2);
    EXPECT_EQ(none.err, "\n Error: cannot open " + dir_.file("nothing") + " for input\n");
}

TEST_F(CliTest, MutualExclusion) {
    std::string m = cycle_mci();
    VorgaRun three = run_vorga({"-m", file("all", "p1, p2, p3"), m});
    EXPECT_EQ(three.code, 0) << three.err;
    EXPECT_TRUE(contains(three.out, "\nMutual exclusion checking mode\n"));
    const char* order[] = {"\ngenerating constraints for places p1 and p2: ",
                           "\nchecking mutual exclusion of places p1 and p2: ",
                           "\ngenerating constraint for place p3: ", "\nchecking mutual exclusion of places p1 and p3: ",
                           "\nchecking mutual exclusion of places p2 and p3: ", "\ngenerating: ", "\nsolving: ",
                           "NO\nplaces are mutually exclusive\n"};
    std::size_t at = 0;
    for (const char* s : order) {
        std::size_t p = three.out.find(s, at);
        ASSERT_NE(p, std::string::npos) << s << "\n" << three.out;
        at = p;
    }
    VorgaRun safe = run_vorga({"-s", "-m", file("all", "p1, p2, p3"), m});
    EXPECT_TRUE(contains(safe.out, "system size: constraints: 1;"));
    EXPECT_TRUE(contains(safe.out, "places are mutually exclusive"));

    std::string both = mci("both", make_net({"a", "b"}, {"t"}, {{0, 1}}, {{}}, {1, 1}));
    VorgaRun yes = run_vorga({"-m", file("ab", "a, b"), both});
    EXPECT_TRUE(contains(yes.out, "YES\n_SEQUENCE:\n\n\npath length: 0\n\nplaces are not mutually exclusive\n"))
        << yes.out;

    VorgaRun one = run_vorga({"-m", file("one", "p1"), m});
    EXPECT_EQ(one.code, 2);
    EXPECT_EQ(one.err, "\n Error: at least two places must be specified in " + dir_.file("one") + "\n");
    VorgaRun rep = run_vorga({"-m", file("rep", "p1, p2, p1"), m});
    EXPECT_EQ(rep.code, 2);
    EXPECT_EQ(rep.err, "\n Error: place p1 is repeated in " + dir_.file("rep") + "\n");
    VorgaRun syn = run_vorga({"-m", file("syn", "p1 p2"), m});
    EXPECT_EQ(syn.err, "\n Error: incorrect syntax of " + dir_.file("syn") + "\n");
    VorgaRun five = run_vorga({"-!5", "-m", file("two", "p1, p2"), m});
    EXPECT_EQ(five.code, 1);
    EXPECT_TRUE(contains(five.out, "\n-!5 is not defined; -!2 is substituted instead\n"));
    VorgaRun zero = run_vorga({"-!0", "-m", file("two", "p1, p2"), m});
    EXPECT_EQ(zero.code, 0);
    EXPECT_FALSE(contains(zero.out, "is not defined"));
}

// A result file that names an input (the prefix or the data file, by the
// same name, another spelling or a link) is refused before anything is read;
// the input stays as it was.
TEST_F(CliTest, OutputOverAnInputIsRefused) {
    const std::string m = box_mci();
    const std::string before = read_file(m);
    const std::string rf = file("r", "out");
    ASSERT_EQ(::symlink("box.mci", dir_.file("link").c_str()), 0);
    const struct {
        std::vector<std::string> args;
        std::string input;   // the file named by the output
    } cases[] = {
        {{m, m}, m},
        {{m, dir_.path() + "/./box.mci"}, m},
        {{m, dir_.file("link")}, m},
        {{"-c", rf, m, rf}, rf},
        {{"-c", rf, m, dir_.path() + "/../" + dir_.path().substr(dir_.path().rfind('/') + 1) + "/r"}, rf},
    };
    for (const auto& c : cases) {
        VorgaRun r = run_vorga(c.args);
        const std::string out = c.args.back();
        EXPECT_EQ(r.code, 2) << out;
        EXPECT_EQ(r.err, "\n Error: output file " + out + " would replace the input " + c.input + "!\n");
        EXPECT_FALSE(contains(r.out, "|B|")) << out;
        EXPECT_EQ(read_file(m), before) << out;
        EXPECT_EQ(read_file(rf), "out") << out;
    }
}

// A run that gives no answer leaves the result of an earlier run; one that
// answers replaces it.
TEST_F(CliTest, FailedRunLeavesTheEarlierResultFile) {
    const std::string m = box_mci();
    const std::string result = file("result", "earlier\n");
    VorgaRun bad = run_vorga({"-c", file("bad", "P1, x"), m, result});
    EXPECT_EQ(bad.code, 2) << bad.out;
    EXPECT_EQ(read_file(result), "earlier\n");
    VorgaRun cut = run_vorga({file("cut.mci", read_file(m).substr(0, 20)), result});
    EXPECT_EQ(cut.code, 2);
    EXPECT_EQ(read_file(result), "earlier\n");
    VorgaRun good = run_vorga({m, result});
    EXPECT_EQ(good.code, 0) << good.err;
    EXPECT_EQ(read_file(result), "YES\n_SEQUENCE:\nt1\n");
}

TEST_F(CliTest, FilesThatCannotBeUsed) {
    std::string m = box_mci();
    std::string before = read_file(m);

    VorgaRun dir = run_vorga({m, dir_.path()});
    EXPECT_EQ(dir.code, 1);
    EXPECT_TRUE(contains(dir.out, "YES"));

    // A result file that takes nothing: the result is on stdout only.
    if (access("/dev/full", W_OK) == 0) {
        VorgaRun full = run_vorga({m, "/dev/full"});
        EXPECT_EQ(full.code, 1);
        EXPECT_EQ(full.err, "\n Warning: unable to write /dev/full\n");
        EXPECT_TRUE(contains(full.out, "YES\n_SEQUENCE:\nt1\n"));
    }

    VorgaRun missing = run_vorga({dir_.file("none.mci")});
    EXPECT_EQ(missing.code, 2);
    EXPECT_EQ(missing.err, " Error: cannot open " + dir_.file("none.mci") + "\n");
    EXPECT_FALSE(contains(missing.out, "|B|"));
    std::string cut = file("cut.mci", before.substr(0, before.size() - 3));
    VorgaRun truncated = run_vorga({cut});
    EXPECT_EQ(truncated.code, 2);
    EXPECT_EQ(truncated.err, "\n Error while reading a file.\n");
}

TEST_F(CliTest, PrefixOfCutoffsOnly) {
    Prefix p;
    p.event_trans = {1};
    p.conds = {{1, 0, {1}}, {1, 1, {}}};
    p.cutoffs = {{1, 0}};
    p.places = {"p"};
    p.transitions = {"loop"};
    std::string m = dir_.file("cut.mci");
    ASSERT_TRUE(write_mci(p, m));
    VorgaRun r = run_vorga({m});
    EXPECT_TRUE(contains(r.out, "|Ecut|=      1\n"));
    EXPECT_TRUE(contains(r.out, "\n0 compatible vectors explored\n"));
    EXPECT_TRUE(contains(r.out, "NO\nthe system is deadlock-free\n"));
}

TEST_F(CliTest, TheProgram) {
    std::string vorga = std::string(VOS_BIN_DIR) + "/vorga";
    std::string m = box_mci();
    RunResult r = run(shell_quote(vorga) + " -w " + shell_quote(m));
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "\nWait mode (-w option)\n"));
    EXPECT_TRUE(contains(r.out, "the system has a deadlock"));
    // The wait reads one word, however long, and ends at the white space after it.
    std::string word = file("word", std::string(1 << 20, 'x') + "\nrest\n");
    r = run(shell_quote(vorga) + " -w " + shell_quote(m) + " <" + shell_quote(word));
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "the system has a deadlock"));
    RunResult bad = run(shell_quote(vorga) + " -q");
    EXPECT_EQ(bad.exit_code, 2);
    EXPECT_EQ(bad.err, "\n Error: unrecognized option: -q\n");
    // A result on stdout that cannot be written is no answer.
    if (access("/dev/full", W_OK) == 0) {
        RunResult full = run(shell_quote(vorga) + " " + shell_quote(m) + " >/dev/full");
        EXPECT_EQ(full.exit_code, 2);
        EXPECT_EQ(full.err, "\n Error: unable to write the result on stdout\n");
    }
}

// A net found by the random checks: p2 and p5 are marked together after
// t11,t8,t12,t11.  The mode's branching condition tries t11's event first and
// t8's below it; a search that stopped branching at that depth excluded t8's
// event, with it every event after it, and called the places exclusive.
TEST_F(CliTest, MutualExclusionWitnessBehindTwoBranchings) {
    std::vector<std::vector<int>> pre = {{1, 3}, {3}, {0}, {3}, {1}, {1, 3}, {3}, {4}, {0}, {2, 3}, {5}, {2, 3}};
    std::vector<std::vector<int>> post = {{2, 5}, {3}, {0}, {4}, {0}, {0, 5}, {3}, {3}, {2}, {0, 5}, {4}, {1, 5}};
    std::string m = mci("found", make_net({"p1", "p2", "p3", "p4", "p5", "p6"},
                                          {"t1", "t2", "t3", "t4", "t5", "t6", "t7", "t8", "t9", "t10", "t11", "t12"},
                                          pre, post, {0, 0, 1, 0, 0, 1}));
    std::string places = file("m", "p2, p4, p5");
    for (auto opts : {std::vector<std::string>{"-s"}, std::vector<std::string>{}, std::vector<std::string>{"-s", "-t"},
                      std::vector<std::string>{"-t"}}) {
        opts.insert(opts.end(), {"-m", places, m});
        VorgaRun r = run_vorga(opts);
        EXPECT_TRUE(contains(r.out, "\nplaces are not mutually exclusive\n")) << r.out;
    }
}

// Paths that name no file to read: a directory, a device that never ends.
TEST_F(CliTest, DirectoriesAndDevicesAreNoInputFiles) {
    std::string m = box_mci();
    VorgaRun prefix = run_vorga({dir_.path()});
    EXPECT_EQ(prefix.code, 2);
    EXPECT_EQ(prefix.err, " Error: cannot open " + dir_.path() + "\n");
    VorgaRun zero = run_vorga({"/dev/zero"});
    EXPECT_EQ(zero.code, 2);
    EXPECT_EQ(zero.err, "\n Error while reading a file.\n");
    // A terminal-places file that never ends is no box: a warning, and the
    // check goes on.
    VorgaRun endless = run_vorga({"-d", "/dev/zero", m});
    EXPECT_EQ(endless.code, 1);
    EXPECT_TRUE(contains(endless.err, "the keyword `VOS' is expected")) << endless.err;
    EXPECT_TRUE(contains(endless.out, "\nthe system has a deadlock\n")) << endless.out;
    for (const char* mode : {"-d", "-r", "-c", "-e", "-m"}) {
        VorgaRun r = run_vorga({mode, dir_.path(), m});
        EXPECT_EQ(r.code, 2) << mode;
        EXPECT_EQ(r.err, "\n Error: cannot open " + dir_.path() + " for input\n") << mode;
        EXPECT_FALSE(contains(r.out, "NO")) << mode << r.out;
        EXPECT_FALSE(contains(r.out, "YES")) << mode << r.out;
    }
}

// A terminal-places file that fails anywhere only loses the terminal marking.
TEST_F(CliTest, UnparsableTerminalPlacesOnlyWarn) {
    std::string m = box_mci();
    for (const char* text : {"VOS\nPetriBox\nFORMAT_N\n",
                             "VOS\nPetriBox\nFORMAT_N\nPL\n1\"in\"e\n2\"mid\n3\"out\"x\nTR\n1\"t1\"\n"}) {
        const std::string net = file("bad.ll_net", text);
        VorgaRun r = run_vorga({"-i", "-d", net, m});
        EXPECT_EQ(r.code, 1) << text;
        EXPECT_TRUE(contains(r.err, "\n Warning: failure when parsing " + net +
                                        ". Terminal markings will be considered as deadlocks\n"))
            << r.err;
        EXPECT_TRUE(contains(r.out, "YES\n_SEQUENCE:\nt1\n")) << r.out;
        EXPECT_TRUE(contains(r.out, "\nthe system has a deadlock\n")) << r.out;
    }
}

TEST_F(CliTest, BoundsOfLinearConstraintsAreDecimalNumbers) {
    std::string m = box_mci();
    const std::string e = file("neg", "out>=-1\n");
    VorgaRun r = run_vorga({"-e", e, m});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "\n Error: incorrect syntax of " + e + "\n");
    EXPECT_FALSE(contains(r.out, "reachable"));
}

namespace {
// Runs the program for its help text, then calls the handler it installed
// for failed allocations.
void help_then_out_of_memory() {
    std::freopen("/dev/null", "w", stdout);
    char name[] = "vorga";
    char* argv[] = {name, nullptr};
    vorga::vorga_main(1, argv);
    std::get_new_handler()();
}
}  // namespace

TEST(VorgaMemory, ExhaustedMemoryEndsWithItsMessage) {
    EXPECT_EXIT(help_then_out_of_memory(), testing::ExitedWithCode(2), "^\n Error: memory overflow.\n$");
}
