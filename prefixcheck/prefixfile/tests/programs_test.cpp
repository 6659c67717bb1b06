// The four checkers on the same damaged ".mci" files: each takes or refuses
// exactly the files the others take or refuse, and refuses with its own
// message and exit code.  Programs that are not part of the build are left
// out.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <ctime>
#include <functional>

#include "petri_test.h"
#include "prefix_support.h"

using testsupport::Prefix;
using testsupport::RunResult;
using testsupport::shell_quote;

namespace {

const std::string kBin = VOS_BIN_DIR;

bool built(const std::string& program) { return ::access((kBin + "/" + program).c_str(), X_OK) == 0; }

// B1 (p) -> E1 (t) -> B2 (q) -> E2 (u, cut-off) -> B3 (p); one configuration.
Prefix base() {
    Prefix p;
    p.places = {"p", "q"};
    p.transitions = {"t", "u"};
    p.add_event(1);
    p.add_event(2);
    p.add_condition(1, 0, {1});
    p.add_condition(2, 1, {2});
    p.add_condition(1, 2);
    p.cutoffs = {{2, 0}};
    p.configs = {{1, 2}};
    return p;
}

struct Damage {
    const char* what;
    std::function<std::string()> bytes;
};

std::string with(const std::function<void(Prefix&)>& change) {
    Prefix p = base();
    change(p);
    return testsupport::mci_string(p);
}

const Damage kCases[] = {
    {"a valid prefix", [] { return with([](Prefix&) {}); }},
    {"no conditions", [] { return std::string(8, '\0'); }},
    {"cut-off as its own corresponding event", [] { return with([](Prefix& p) { p.cutoffs = {{2, 2}}; }); }},
    {"cut-off pair repeated", [] { return with([](Prefix& p) { p.cutoffs = {{2, 0}, {2, 0}}; }); }},
    {"condition labelled with place 0", [] { return with([](Prefix& p) { p.conds[1].place = 0; }); }},
    {"final NUL missing", [] { std::string b = with([](Prefix&) {}); b.pop_back(); return b; }},
    {"bytes after the end", [] { return with([](Prefix&) {}) + "junk"; }},
    {"cut in the middle", [] { std::string b = with([](Prefix&) {}); return b.substr(0, b.size() / 2); }},
    {"counts beyond the file", [] { std::string b = with([](Prefix&) {}); b[6] = 1; return b; }},
    {"event labelled beyond the names", [] { return with([](Prefix& p) { p.event_trans[0] = 3; }); }},
    {"pre-event beyond the events", [] { return with([](Prefix& p) { p.conds[2].pre = 3; }); }},
    {"consumer before its pre-event", [] { return with([](Prefix& p) { p.conds[1].post = {1, 2}; }); }},
    {"event without preset", [] { return with([](Prefix& p) { p.conds[1].post.clear(); }); }},
    {"condition behind a cut-off consumed", [] {
         return with([](Prefix& p) {
             p.add_event(1);
             p.conds[2].post = {3};
             p.add_condition(2, 3);
         });
     }},
    {"configuration event beyond the events", [] { return with([](Prefix& p) { p.configs = {{1, 7}}; }); }},
    {"empty place name", [] { return with([](Prefix& p) { p.places[1] = ""; }); }},
    {"place name repeated", [] { return with([](Prefix& p) { p.places[1] = "p"; }); }},
};

// Sets the modification time of a file, so that cosweep sees its derived
// files as newer than the net.
void set_mtime(const std::string& path, std::time_t t) {
    struct timespec times[2] = {{t, 0}, {t, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

class DamagedPrefix : public testing::TestWithParam<int> {
protected:
    RunResult program(const std::string& line) {
        return testsupport::run("cd " + shell_quote(dir.path()) + " && ASAN_OPTIONS=detect_leaks=0 " + line);
    }
    testsupport::TempDir dir;
};

}  // namespace

TEST_P(DamagedPrefix, EveryCheckerTakesOrRefusesItAlike) {
    const Damage& c = kCases[GetParam()];
    SCOPED_TRACE(c.what);
    const bool valid = GetParam() == 0;
    const std::string bytes = c.bytes();
    const std::string mci = dir.file("x.mci");
    ASSERT_TRUE(testsupport::write_file(mci, bytes));
    int checked = 0;

    if (built("dlbacktrack")) {
        ++checked;
        RunResult r = program(shell_quote(kBin + "/dlbacktrack") + " x.mci");
        if (valid) {
            EXPECT_EQ(r.exit_code, 0) << r.err;
            EXPECT_EQ(r.out.rfind("TRUE\n", 0), 0u) << r.out;
        } else {
            EXPECT_EQ(r.exit_code, 10) << r.out;
            EXPECT_EQ(r.err.rfind("\nFEHLER -- readMCI(): ", 0), 0u) << r.err;
        }
    }
    if (built("velcheck")) {
        ++checked;
        RunResult r = program(shell_quote(kBin + "/velcheck") + " x.mci");
        if (valid) {
            EXPECT_EQ(r.exit_code, 0) << r.err;
            EXPECT_EQ(r.out.rfind("TRUE\n", 0), 0u) << r.out;
        } else {
            EXPECT_EQ(r.exit_code, 2) << r.out;
            EXPECT_EQ(r.err, kBin + "/velcheck: Malformed prefix file: x.mci\n");
        }
    }
    if (built("vorga")) {
        ++checked;
        RunResult r = program(shell_quote(kBin + "/vorga") + " x.mci");
        if (valid) {
            EXPECT_EQ(r.exit_code, 0) << r.err;
            EXPECT_NE(r.out.find("NO\nthe system is deadlock-free\n"), std::string::npos) << r.out;
        } else {
            EXPECT_EQ(r.exit_code, 2) << r.out;
            EXPECT_EQ(r.err, "\n Error while reading a file.\n");
        }
    }
    if (built("cosweep")) {
        ++checked;
        // A net, its complement net and the derived files, all up to date,
        // so that cosweep reads them without starting the unfolder.
        const std::string net = "VOS\nPlainNet\nFORMAT_N\nPL\n\"p\"M1\n\"q\"\nTR\n\"t\"\n\"u\"\nTP\n1<2\n2<1\nPT\n1>1\n2>2\nTX\n";
        testsupport::write_file(dir.file("n.ll_net"), net);
        testsupport::write_file(dir.file("n.comp.ll_net"), net);
        testsupport::write_file(dir.file("n.comp.mci"), bytes);
        testsupport::write_file(dir.file("n.comp.bin_coco"), std::string(64, '\0'));
        testsupport::write_file(dir.file("f"), "q\n");
        const std::time_t now = std::time(nullptr);
        set_mtime(dir.file("n.ll_net"), now - 30);
        set_mtime(dir.file("n.comp.ll_net"), now - 20);
        set_mtime(dir.file("n.comp.mci"), now - 10);
        set_mtime(dir.file("n.comp.bin_coco"), now - 10);
        RunResult r = program("PATH=/nonexistent " + shell_quote(kBin + "/cosweep") + " n.ll_net f");
        if (valid) {
            EXPECT_EQ(r.exit_code, 0) << r.err;
            EXPECT_EQ(r.out, "\nYES!\n# t\n");
        } else {
            EXPECT_EQ(r.exit_code, 1) << r.out;
            EXPECT_EQ(r.err.rfind("\nFEHLER -- readMCI(): ", 0), 0u) << r.err;
        }
    }
    if (checked == 0) GTEST_SKIP() << "no checker is built";
}

// The test name of a case: the words of its description, each capitalised.
std::string case_name(const testing::TestParamInfo<int>& info) {
    std::string name;
    bool start = true;
    for (const char* c = kCases[info.param].what; *c; ++c) {
        if (!std::isalnum(static_cast<unsigned char>(*c))) {
            start = true;
            continue;
        }
        name += start ? static_cast<char>(std::toupper(static_cast<unsigned char>(*c))) : *c;
        start = false;
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedPrefix, testing::Range(0, static_cast<int>(sizeof kCases / sizeof kCases[0])),
                         case_name);
