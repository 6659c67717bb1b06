// The program as a user runs it: arguments, messages, exit codes, output.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>

#include "unf_text.h"

using testsupport::Prefix;
using testsupport::mci_string;
using prefixfile_test::unf_text;
using testsupport::read_file;
using testsupport::run;
using testsupport::shell_quote;
using testsupport::TempDir;
using testsupport::write_file;

namespace {

const std::string kProgram = std::string(VOS_BIN_DIR) + "/dlbacktrack";

testsupport::RunResult dlbacktrack(const std::string& args) {
    return run(shell_quote(kProgram) + " " + args);
}

// B1 is consumed by the cut-off E1 and by E2; B2 by E3 and E4.
Prefix deadlocking_prefix() {
    Prefix p;
    p.places = {"p", "q"};
    p.transitions = {"loop", "stop", "left", "right"};
    for (std::uint32_t t = 1; t <= 4; ++t) p.add_event(t);
    p.add_condition(1, 0, {1, 2});
    p.add_condition(2, 0, {3, 4});
    p.add_condition(1, 1);
    p.cutoffs = {{1, 0}};
    return p;
}

std::string usage(const std::string& program) {
    const std::string rule(76, '=');
    return rule + "\nDetermination of deadlocks (McMillan\xB4s backtracking algorithm)\n" +
           "Usage : " + program + " file1 [file2]\n" +
           "        file1 : input file containing unfolding\n"
           "                extension '.mci': binary coded format\n"
           "                extension '.unf': ASCII coded format\n"
           "        file2 : output result file\n"
           "Version 2.1.0 (11.04.1997)\n" +
           rule + "\n";
}

// "Time needed: " then blanks, digits, '.', two digits and " s\n".
bool is_time_line(const std::string& s) {
    const std::string head = "Time needed: ", tail = " s\n";
    if (s.size() < head.size() + 4 + tail.size() || s.compare(0, head.size(), head) != 0 ||
        s.compare(s.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    std::size_t i = head.size();
    const std::size_t end = s.size() - tail.size();
    while (i < end && s[i] == ' ') ++i;
    const std::size_t digits = i;
    while (i < end && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    return i > digits && end - i == 3 && s[i] == '.' && std::isdigit(static_cast<unsigned char>(s[i + 1])) &&
           std::isdigit(static_cast<unsigned char>(s[i + 2]));
}

}  // namespace

TEST(DlbacktrackCli, UsageForWrongArgumentsOrExtension) {
    for (const std::string args : {"", "a.mci b c", "net.txt", "net.mci.bak", "noextension"}) {
        auto r = dlbacktrack(args);
        EXPECT_EQ(r.exit_code, 0) << args;
        EXPECT_EQ(r.out, usage(kProgram)) << args;
        EXPECT_EQ(r.err, "") << args;
    }
}

TEST(DlbacktrackCli, DeadlockVerdictWithWitnessTimeAndResultFile) {
    TempDir dir;
    // The extension is compared in lower case.
    for (const std::string name : {"d.mci", "d.MCI", "d.unf"}) {
        std::string path = dir.file(name);
        Prefix p = deadlocking_prefix();
        write_file(path, name == "d.unf" ? unf_text(p, name) : mci_string(p));
        std::string result = dir.file("result.txt");
        auto r = dlbacktrack(shell_quote(path) + " " + shell_quote(result));
        ASSERT_EQ(r.exit_code, 0) << name << r.err;
        const std::string text = "FALSE\nE2(stop), E3(left).\n\n";
        ASSERT_EQ(r.out.substr(0, text.size()), text) << name;
        EXPECT_TRUE(is_time_line(r.out.substr(text.size()))) << r.out;
        EXPECT_EQ(read_file(result), text);
    }
}

TEST(DlbacktrackCli, NoDeadlockAndListForms) {
    TempDir dir;
    Prefix p = deadlocking_prefix();
    p.conds[0].post = {1};   // E2 never happens: the loop cannot be avoided
    p.event_trans[1] = 1;
    p.conds[1].post = {3, 4};
    p.add_condition(1, 0, {2});
    std::string path = dir.file("live.mci");
    write_file(path, mci_string(p));
    auto r = dlbacktrack(shell_quote(path));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out.substr(0, 5), "TRUE\n");
    EXPECT_TRUE(is_time_line(r.out.substr(5))) << r.out;

    // Without cut-offs: "FALSE - EVERY" without a time line, or the first
    // listed configuration.
    Prefix q = deadlocking_prefix();
    q.cutoffs.clear();
    write_file(path, mci_string(q));
    r = dlbacktrack(shell_quote(path));
    EXPECT_EQ(r.out, "FALSE - EVERY\n");
    q.configs = {{2, 4}, {1, 3}};
    write_file(path, mci_string(q));
    r = dlbacktrack(shell_quote(path));
    EXPECT_EQ(r.out, "FALSE\nE2(stop), E4(right).\n\n");
}

TEST(DlbacktrackCli, UnwritableResultFileOnlyWarns) {
    TempDir dir;
    std::string path = dir.file("d.mci");
    write_file(path, mci_string(deadlocking_prefix()));
    const std::string bad = dir.file("missing/r.txt");
    auto r = dlbacktrack(shell_quote(path) + " " + shell_quote(bad));
    EXPECT_EQ(r.exit_code, 0);
    const std::string head = "WARNING -- FPrintResult(): cannot open '" + bad + "'\nFALSE\n";
    EXPECT_EQ(r.out.substr(0, head.size()), head);
}

// A result file that names the prefix (the same name, another spelling, a
// link) is refused before the prefix is read; the prefix stays as it was.
TEST(DlbacktrackCli, ResultFileNamingThePrefixIsRefused) {
    TempDir dir;
    const std::string path = dir.file("d.mci");
    write_file(path, mci_string(deadlocking_prefix()));
    const std::string before = read_file(path);
    ASSERT_EQ(::symlink("d.mci", dir.file("link").c_str()), 0);
    for (const std::string& result : {path, dir.path() + "/./d.mci", dir.file("link")}) {
        auto r = dlbacktrack(shell_quote(path) + " " + shell_quote(result));
        EXPECT_EQ(r.exit_code, 10) << result;
        EXPECT_EQ(r.out, "") << result;
        EXPECT_EQ(r.err, "\nFEHLER -- result file '" + result + "' would replace the input '" + path + "'\n");
        EXPECT_EQ(read_file(path), before) << result;
    }
}

// The result file only repeats standard output; standard output itself
// must take the verdict.
TEST(DlbacktrackCli, UnwritableStandardOutputIsAnError) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    TempDir dir;
    std::string path = dir.file("d.mci");
    write_file(path, mci_string(deadlocking_prefix()));
    const std::string result = dir.file("r.txt");
    write_file(result, "TRUE\n");
    auto r = dlbacktrack(shell_quote(path) + " " + shell_quote(result) + " >/dev/full");
    EXPECT_EQ(r.exit_code, 10);
    EXPECT_EQ(r.err, "\nFEHLER -- cannot write the result on standard output\n");
    // A failed run leaves the result of the earlier one.
    EXPECT_EQ(read_file(result), "TRUE\n");
    r = dlbacktrack(shell_quote(path) + " " + shell_quote(result));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file(result).substr(0, 6), "FALSE\n");
}

TEST(DlbacktrackCli, ReaderFailuresExitWithCode10) {
    TempDir dir;
    const std::string missing = dir.file("none.mci");
    auto r = dlbacktrack(shell_quote(missing));
    EXPECT_EQ(r.exit_code, 10);
    EXPECT_EQ(r.err, "\nFEHLER -- readMCI(): kann Datei nicht oeffnen: '" + missing + "'\n");
    EXPECT_EQ(r.out, "");

    // A directory is no file to read.
    const std::string folder = dir.file("folder.mci");
    ASSERT_EQ(run("mkdir " + shell_quote(folder)).exit_code, 0);
    r = dlbacktrack(shell_quote(folder));
    EXPECT_EQ(r.exit_code, 10);
    EXPECT_EQ(r.err, "\nFEHLER -- readMCI(): kann Datei nicht oeffnen: '" + folder + "'\n");

    std::string bytes = mci_string(deadlocking_prefix());
    const std::string cut = dir.file("cut.mci");
    write_file(cut, bytes.substr(0, bytes.size() / 2));
    r = dlbacktrack(shell_quote(cut));
    EXPECT_EQ(r.exit_code, 10);
    EXPECT_EQ(r.err, "\nFEHLER -- readMCI(): Datei '" + cut + "' ist unvollstaendig\n");

    std::string text = unf_text(deadlocking_prefix(), "z.unf");
    text.replace(text.find("3 conditions"), 1, "0");
    const std::string zero = dir.file("z.unf");
    write_file(zero, text);
    r = dlbacktrack(shell_quote(zero));
    EXPECT_EQ(r.exit_code, 10);
    EXPECT_EQ(r.err, "ERROR: syntax error in file '" + zero +
                         "', line 8: readUNF(): Netz enthaelt keine Bedingungen.\n");
}
