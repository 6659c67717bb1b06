// The velcheck program through its command line: usage, files, exit codes,
// verdicts, printing and the formula language.
#include "petri_test.h"
#include "prefix_support.h"
#include "velcheck.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <new>
#include <string>
#include <vector>

namespace {

using testsupport::run;
using testsupport::shell_quote;
using testsupport::TempDir;

const std::string velcheck = std::string(VOS_BIN_DIR) + "/velcheck";

std::string cmd(const std::string& args) { return shell_quote(velcheck) + " " + args; }

bool write_bytes(const std::string& path, const std::vector<unsigned char>& b) {
    return testsupport::write_file(path, std::string(b.begin(), b.end()));
}

testsupport::TestNet make_net(std::vector<std::string> places, std::vector<int> m0,
                              std::vector<std::pair<std::vector<int>, std::vector<int>>> trans) {
    testsupport::TestNet n;
    n.place_names = std::move(places);
    n.m0 = std::move(m0);
    for (std::size_t i = 0; i < trans.size(); ++i) {
        n.trans_names.push_back("t" + std::to_string(i + 1));
        n.pre.push_back(trans[i].first);
        n.post.push_back(trans[i].second);
    }
    return n;
}

std::string write_prefix(const TempDir& d, const std::string& name, const testsupport::TestNet& net) {
    const std::string path = d.file(name);
    EXPECT_TRUE(write_bytes(path, testsupport::mci_bytes(testsupport::unfold_prefix(net))));
    return path;
}

// p1 -> t1 -> p2 -> t2 -> p1 and t3: p1 -> p3 (p3 is dead end).
testsupport::TestNet cycle_with_exit() {
    return make_net({"p1", "p2", "p3"}, {1, 0, 0}, {{{0}, {1}}, {{1}, {0}}, {{0}, {2}}});
}

// The time line: "\nTime needed:      S.mmm\n" with three millisecond digits.
bool has_time_line(const std::string& out) {
    const std::string head = "\nTime needed:      ";
    const std::size_t at = out.find(head);
    if (at == std::string::npos) return false;
    std::size_t i = at + head.size();
    const std::size_t digits = i;
    while (i < out.size() && std::isdigit(static_cast<unsigned char>(out[i]))) ++i;
    if (i == digits || i >= out.size() || out[i] != '.') return false;
    for (int k = 1; k <= 3; ++k)
        if (i + k >= out.size() || !std::isdigit(static_cast<unsigned char>(out[i + k]))) return false;
    return i + 4 < out.size() && out[i + 4] == '\n';
}

TEST(VelcheckUsage, UsageErrorsPrintTheUsageText) {
    TempDir d;
    const std::string mci = write_prefix(d, "x.mci", cycle_with_exit());
    const std::vector<std::string> lines = {
        "-O4 " + mci, "-f=phi -D " + mci, "-D -f=phi " + mci, mci + " b.out c", "", "-x " + mci, "-O " + mci,
        "-vv " + mci};
    for (const std::string& args : lines) {
        const auto r = run(cmd(args));
        EXPECT_EQ(r.exit_code, 1) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(r.err.rfind(std::string(76, '=') + "\nSafe net model checker (Veltra reachability translation)\n"
                              "Usage: " + velcheck + " [OPTION]... file1 [file2]\n\nOptions:\n", 0),
                  0u)
            << args << "\n" << r.err;
    }
    const auto r = run(cmd("-O4 " + mci));
    EXPECT_NE(r.err.find("        -O4      : Do expensive optimizations (much slower than O3)\n"
                         "        -n       : Use veltra with no lookahead (fast for easy examples)\n"),
              std::string::npos);
    EXPECT_NE(r.err.find("\n        file1 : input file containing unfolding\n"
                         "                extension '.mci': binary coded format\n"
                         "        file2 : output result file\n\n"),
              std::string::npos);
    // Options may follow the file names; the last -O counts.
    EXPECT_EQ(run(cmd(mci + " -O4")).exit_code, 1);
    EXPECT_EQ(run(cmd(mci + " -O0 -n -O2")).exit_code, 0);
}

TEST(VelcheckFiles, OpenErrorsAndTheirOrder) {
    TempDir d;
    const std::string mci = write_prefix(d, "x.mci", cycle_with_exit());
    auto r = run(cmd(shell_quote(d.file("missing.mci"))));
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, velcheck + ": No such prefix file: " + d.file("missing.mci") + "\n");
    // The prefix file is checked before the formula file.
    r = run(cmd("-f=" + d.file("nophi") + " " + d.file("missing.mci")));
    EXPECT_EQ(r.exit_code, 2);
    r = run(cmd(mci + " " + d.file("no/such/dir/out")));
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, velcheck + ": Could not open output file: " + d.file("no/such/dir/out") + " \n");
    r = run(cmd("-f=" + d.file("nophi") + " " + mci + " " + d.file("out")));
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.err, velcheck + ": No such formula file: " + d.file("nophi") + "\n");
    EXPECT_TRUE(testsupport::read_file(d.file("out")).empty());
}

// A directory is no file to read, neither as prefix nor as formula file.
TEST(VelcheckFiles, DirectoriesAreNoInputFiles) {
    TempDir d;
    const std::string mci = write_prefix(d, "x.mci", cycle_with_exit());
    auto r = run(cmd(shell_quote(d.path())));
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, velcheck + ": No such prefix file: " + d.path() + "\n");
    r = run(cmd("-f=" + d.path() + " " + mci));
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.err, velcheck + ": No such formula file: " + d.path() + "\n");
    EXPECT_EQ(r.out, "");
}

TEST(VelcheckFiles, OutputFileTakesEverythingButErrors) {
    TempDir d;
    const std::string mci = write_prefix(d, "x.mci", cycle_with_exit());
    const auto r = run(cmd("-v " + mci + " " + d.file("out")));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "");
    const std::string out = testsupport::read_file(d.file("out"));
    EXPECT_EQ(out.rfind("FALSE\n", 0), 0u) << out;
    EXPECT_TRUE(has_time_line(out)) << out;
    EXPECT_NE(out.find("\nVeltra statistics:\n\nDuration: "), std::string::npos);
}

// An output that names an input (the prefix or the formula file, by the same
// name, another spelling or a link) is refused; the inputs stay as they were.
TEST(VelcheckFiles, OutputThatIsAnInputIsRefused) {
    TempDir d;
    const std::string mci = write_prefix(d, "x.mci", cycle_with_exit());
    const std::string before = testsupport::read_file(mci);
    testsupport::write_file(d.file("phi"), "^p3");
    ASSERT_EQ(::symlink("x.mci", d.file("link").c_str()), 0);
    for (const std::string& args : {mci + " " + mci, mci + " " + d.path() + "/./x.mci", mci + " " + d.file("link"),
                                    "-f=" + d.file("phi") + " " + mci + " " + d.file("phi"),
                                    "-f=" + d.file("phi") + " " + mci + " " + d.path() + "//phi"}) {
        auto r = run(cmd(args));
        EXPECT_EQ(r.exit_code, 2) << args;
        EXPECT_NE(r.err.find("Output file is the same as an input file"), std::string::npos) << args;
        EXPECT_EQ(testsupport::read_file(mci), before) << args;
        EXPECT_EQ(testsupport::read_file(d.file("phi")), "^p3") << args;
    }
}

// A run that fails leaves the output of an earlier run as it was, and
// creates none where there was none.
TEST(VelcheckFiles, FailedRunLeavesTheEarlierOutput) {
    TempDir d;
    const std::string mci = write_prefix(d, "x.mci", cycle_with_exit());
    testsupport::write_file(d.file("bad"), "^(p3");
    testsupport::write_file(d.file("out"), "earlier\n");
    for (const std::string& args : {"-f=" + d.file("bad") + " " + mci, "-f=" + d.file("nophi") + " " + mci,
                                    "-O4 " + mci}) {
        auto r = run(cmd(args + " " + d.file("out")));
        EXPECT_NE(r.exit_code, 0) << args;
        EXPECT_EQ(testsupport::read_file(d.file("out")), "earlier\n") << args;
        r = run(cmd(args + " " + d.file("new")));
        EXPECT_NE(::access(d.file("new").c_str(), F_OK), 0) << args << ": a failed run created its output";
    }
    auto r = run(cmd(mci + " " + d.file("out")));
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(testsupport::read_file(d.file("out")).rfind("FALSE\n", 0), 0u);
}

TEST(VelcheckFiles, WriteErrorOnOutputExits2) {
    TempDir d;
    const std::string mci = write_prefix(d, "x.mci", cycle_with_exit());
    const auto r = run(cmd(mci + " /dev/full"));
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("Could not write output file: /dev/full"), std::string::npos);
}

TEST(VelcheckFiles, MalformedPrefixFiles) {
    TempDir d;
    const testsupport::TestNet net = cycle_with_exit();
    const std::vector<unsigned char> good = testsupport::mci_bytes(testsupport::unfold_prefix(net));
    std::vector<std::vector<unsigned char>> bad;
    bad.emplace_back();                                                    // empty
    bad.emplace_back(good.begin(), good.begin() + 6);                      // cut in the counts
    bad.emplace_back(good.begin(), good.begin() + static_cast<long>(good.size() / 2));  // cut in the middle
    bad.emplace_back(good.begin(), good.end() - 8);                        // names cut
    {
        std::vector<unsigned char> b;  // huge counts
        testsupport::put_word(b, 0x7fffffff);
        testsupport::put_word(b, 0x7fffffff);
        bad.push_back(b);
    }
    {
        std::vector<unsigned char> b = good;  // first event labelled with transition 99
        b[8] = 99;
        bad.push_back(b);
    }
    {
        std::vector<unsigned char> b = good;  // first condition labelled with place 0
        const std::size_t at = 8 + 4 * (b[4] | b[5] << 8);
        b[at] = 0;
        bad.push_back(b);
    }
    for (std::size_t i = 0; i < bad.size(); ++i) {
        const std::string path = d.file("bad" + std::to_string(i) + ".mci");
        ASSERT_TRUE(write_bytes(path, bad[i]));
        const auto r = run(cmd(path));
        EXPECT_EQ(r.exit_code, 2) << i;
        EXPECT_EQ(r.err, velcheck + ": Malformed prefix file: " + path + "\n") << i;
    }
    ASSERT_TRUE(write_bytes(d.file("good.mci"), good));
    EXPECT_EQ(run(cmd(d.file("good.mci"))).exit_code, 0);
}

TEST(VelcheckDeadlock, PrefixWithoutCutoffs) {
    TempDir d;
    // p1 -> t1 -> p2: finite behaviour.
    const std::string mci = write_prefix(d, "x.mci", make_net({"p1", "p2"}, {1, 0}, {{{0}, {1}}}));
    auto r = run(cmd(mci));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out.rfind("FALSE - EVERY\n\nTime needed:      ", 0), 0u) << r.out;
    EXPECT_TRUE(has_time_line(r.out));
    r = run(cmd("-d " + mci));
    EXPECT_EQ(r.out, "no_cutoffs.\n");
    r = run(cmd("-v " + mci));
    EXPECT_NE(r.out.find("\nVeltra statistics:\n\nProgram not generated (no cutoff events)\n"), std::string::npos)
        << r.out;
}

TEST(VelcheckDeadlock, VerdictsWitnessAndStatistics) {
    TempDir d;
    const std::string dead = write_prefix(d, "dead.mci", cycle_with_exit());
    auto r = run(cmd("-v " + dead));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out.rfind("FALSE\nE", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("(t3)."), std::string::npos) << r.out;
    const char* stats[] = {"Number of choice points: ", "Number of wrong choices: ", "Number of atoms: ",
                           "Number of rules: ", "Number of picked atoms: ", "Number of forced atoms: ",
                           "Number of truth assignments: ", "Size of searchspace (removed): "};
    std::size_t at = r.out.find("\nDuration: ");
    ASSERT_NE(at, std::string::npos);
    for (const char* s : stats) {
        const std::size_t next = r.out.find(s, at);
        ASSERT_NE(next, std::string::npos) << s;
        at = next;
    }
    // A cut-off with only initial, otherwise unconsumed conditions in its
    // preset is always enabled: no deadlock, "live." is a fact.
    const std::string loop = write_prefix(d, "loop.mci", make_net({"p"}, {1}, {{{0}, {0}}}));
    for (const char* level : {"-O1", "-O2", "-O3"}) {
        r = run(cmd(std::string(level) + " " + loop));
        EXPECT_EQ(r.out.rfind("TRUE\n\nTime needed:", 0), 0u) << level << r.out;
        r = run(cmd(std::string(level) + " -d " + loop));
        EXPECT_NE(r.out.find("live.\n"), std::string::npos) << level << r.out;
        EXPECT_EQ(r.out.find("be"), std::string::npos);
    }
    r = run(cmd("-O0 -d " + loop));
    EXPECT_NE(r.out.find("live :- b1.\n"), std::string::npos) << r.out;
    r = run(cmd("-O0 -d " + dead));
    EXPECT_NE(r.out.find("e1 :- not be1.\nbe1 :- not e1.\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("compute { not conflict, not live }\n"), std::string::npos);
}

TEST(VelcheckDeadlock, ConflictRuleForms) {
    TempDir d;
    // One marked place with two and with three consumers, each consumer
    // leading into a loop back (so that cut-offs exist).
    const std::string two = write_prefix(
        d, "two.mci", make_net({"p", "q"}, {1, 0}, {{{0}, {1}}, {{0}, {1}}, {{1}, {1}}}));
    auto r = run(cmd("-d " + two));
    EXPECT_NE(r.out.find("conflict :- e1, e2.\n"), std::string::npos) << r.out;
    const std::string three = write_prefix(
        d, "three.mci", make_net({"p", "q"}, {1, 0}, {{{0}, {1}}, {{0}, {1}}, {{0}, {1}}, {{1}, {1}}}));
    r = run(cmd("-d " + three));
    EXPECT_NE(r.out.find("conflict :- 2 { e1, e2, e3 }.\n"), std::string::npos) << r.out;
    // Equal choice bodies share one rule from -O2 on.
    EXPECT_NE(r.out.find("{ e1, e2, e3 }.\n"), std::string::npos) << r.out;
    r = run(cmd("-O1 -d " + three));
    EXPECT_NE(r.out.find("{ e1 }.\n{ e2 }.\n{ e3 }.\n"), std::string::npos) << r.out;
}

struct FormulaCase {
    const char* formula;
    int exit_code;
    const char* out_start;  // verdict and witness
    const char* err;
};

TEST(VelcheckFormula, CasesOfTheFormulaLanguage) {
    TempDir d;
    // p1 marked; t1: p1 -> p2; t2: p1 -> p3; t3: p2 -> p1; p4 is in no prefix condition.
    const testsupport::TestNet net = make_net({"p1", "p2", "p3", "p4", std::string(79, 'x') + "y",
                                               std::string(79, 'x') + "z"},
                                              {1, 0, 0, 0, 0, 1}, {{{0}, {1}}, {{0}, {2}}, {{1}, {0}}});
    const std::string mci = write_prefix(d, "f.mci", net);
    const std::string long_y = std::string(79, 'x') + "y";
    const std::string long_z = std::string(79, 'x') + "z";
    const std::vector<FormulaCase> cases = {
        {"^p1", 0, "TRUE\n\n", ""},
        {"^p1 .", 0, "TRUE\n\n", ""},
        {"-^p4", 0, "TRUE\n", ""},
        {"^p4", 0, "FALSE\n", ""},
        {"p2 * ^p3", 0, "FALSE\n", ""},
        {"^(p2 * p3)", 0, "FALSE\n", ""},
        {"^(p2 + p3)", 0, "TRUE\nE1(t1).\n", ""},
        {"^(-p1 * -p2)", 0, "TRUE\nE2(t2).\n", ""},
        {"#-p3", 0, "FALSE\nE2(t2).\n", ""},
        {"-^p3", 0, "FALSE\nE2(t2).\n", ""},
        {"% comment\n^ ( p2 ) % more\n", 0, "TRUE\nE1(t1).\n", ""},
        {"^[p2 * {p1 + p2}]", 0, "TRUE\nE1(t1).\n", ""},
        {"\xb7p3", 0, "TRUE\nE2(t2).\n", ""},
        {"^p1 => ^p2", 1, "", "Formula is not simple reachability, aborting!\n"},
        {"^p1 + ^p2", 1, "", "Formula is not simple reachability, aborting!\n"},
        {"#p1 * ^p2", 1, "", "Formula is not simple reachability, aborting!\n"},
        {"!p1", 1, "", "\nPARSING-ERROR (parse error)!!!\n\n"},
        {"^(p1", 1, "", "\nPARSING-ERROR (parse error)!!!\n\n"},
        {"^(p1]", 1, "", "\nPARSING-ERROR (parse error)!!!\n\n"},
        {"^p1 = p2", 1, "", "\nPARSING-ERROR (parse error)!!!\n\n"},
        {"", 1, "", "\nPARSING-ERROR (parse error)!!!\n\n"},
        {"^p1.", 1, "", "Scanner(): Placename: \"p1.\" Unknown !\n"},
        {"^nowhere", 1, "", "Scanner(): Placename: \"nowhere\" Unknown !\n"},
    };
    for (const FormulaCase& c : cases) {
        testsupport::write_file(d.file("phi"), c.formula);
        const auto r = run(cmd("-f=" + d.file("phi") + " " + mci));
        EXPECT_EQ(r.exit_code, c.exit_code) << c.formula << "\n" << r.err;
        EXPECT_EQ(r.out.rfind(c.out_start, 0), 0u) << c.formula << "\n" << r.out;
        EXPECT_EQ(r.err, c.err) << c.formula;
        if (c.exit_code == 0) {
            EXPECT_TRUE(has_time_line(r.out)) << c.formula;
        }
    }
    // Long names are looked up whole: the 79 common characters match neither.
    testsupport::write_file(d.file("phi"), "^" + long_y);
    EXPECT_EQ(run(cmd("-f=" + d.file("phi") + " " + mci)).out.rfind("FALSE\n", 0), 0u);
    testsupport::write_file(d.file("phi"), "^" + long_z);
    EXPECT_EQ(run(cmd("-f=" + d.file("phi") + " " + mci)).out.rfind("TRUE\n\n", 0), 0u);
    testsupport::write_file(d.file("phi"), "^" + std::string(79, 'x'));
    EXPECT_EQ(run(cmd("-f=" + d.file("phi") + " " + mci)).exit_code, 1);
}

TEST(VelcheckFormula, NestingLimitAndLongFormulas) {
    TempDir d;
    const std::string mci = write_prefix(d, "f.mci", cycle_with_exit());
    testsupport::write_file(d.file("deep"), "^" + std::string(20000, '(') + "p3" + std::string(20000, ')'));
    auto r = run(cmd("-f=" + d.file("deep") + " " + mci));
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "\nPARSING-ERROR (parser stack overflow)!!!\n\n");
    testsupport::write_file(d.file("ok"), "^" + std::string(5000, '(') + "p3" + std::string(5000, ')'));
    r = run(cmd("-f=" + d.file("ok") + " " + mci));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out.rfind("TRUE\n", 0), 0u);
    // A long left-associated chain makes a deep tree without a deep parser stack.
    std::string chain = "^(p2";
    for (int i = 0; i < 100000; ++i) chain += " * p1";
    chain += ")";
    testsupport::write_file(d.file("chain"), chain);
    r = run(cmd("-f=" + d.file("chain") + " " + mci));
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("FALSE\n", 0), 0u);
    // Nested equivalences would double the tree at every level.
    std::string eq = "^(p1";
    for (int i = 0; i < 40; ++i) eq += " <=> p2";
    eq += ")";
    testsupport::write_file(d.file("eq"), eq);
    r = run(cmd("-f=" + d.file("eq") + " " + mci));
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "\nPARSING-ERROR (formula too large)!!!\n\n");
}

TEST(VelcheckFormula, PrintedReachabilityProgram) {
    TempDir d;
    const std::string mci = write_prefix(d, "f.mci", cycle_with_exit());
    testsupport::write_file(d.file("phi"), "^(p2 + -p3)");
    const auto r = run(cmd("-d -f=" + d.file("phi") + " " + mci));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("f1 :- 1 { s2, not s3 }.\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("diamond :- f1.\nformula :- diamond.\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("compute { not conflict, diamond }\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Time needed"), std::string::npos);
}

}  // namespace

namespace {
// Runs the program for its usage text, then calls the handler it installed
// for failed allocations.
void usage_then_out_of_memory() {
    char name[] = "velcheck";
    char* argv[] = {name, nullptr};
    velcheck::run(1, argv);
    std::get_new_handler()();
}
}  // namespace

TEST(VelcheckMemory, ExhaustedMemoryEndsWithExitCode3) {
    EXPECT_EXIT(usage_then_out_of_memory(), testing::ExitedWithCode(3), "velcheck: Out of memory\n$");
}
