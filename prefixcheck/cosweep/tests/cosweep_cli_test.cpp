// The cosweep program on small nets: usage and options, the messages and
// exit codes of every error, the verdict and firing sequence of chosen
// lines, the trelmik command lines and the reuse or renewal of the derived
// files.  trelmik is the stand-in of coco_oracle.h, which logs its command
// line and its input.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <new>

#include "coco_oracle.h"
#include "cosweep_driver.h"
#include "petri_test.h"

using testsupport::read_file;
using testsupport::RunResult;
using testsupport::shell_quote;
using testsupport::write_file;

namespace {

const char kUsage[] =
    "\ncosweep -- reachability analysis based on co-sets\n\n"
    "Usage: cosweep [-K] <ll_net> <formula_file>\n\n"
    "  -K  let trelmik compute the prefix by its component-based unfolding\n\n"
    "Version 0.1\n\n";

// p1 and p2 form a cycle (t1: p1 -> p2, t2: p2 -> p1); t3 moves the token of
// p3 to p4; p5 is never marked.
const char kNet[] =
    "VOS\nPlainNet\nFORMAT_N\nPL\n"
    "\"p1\"M1\n\"p2\"\n\"p3\"M1\n\"p4\"\n\"p5\"\n"
    "TR\n\"t1\"\n\"t2\"\n\"t3\"\n"
    "TP\n1<2\n2<1\n3<4\n"
    "PT\n1>1\n2>2\n3>3\nTX\n";

bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

struct Cli : testing::Test {
    RunResult cosweep(const std::string& args) {
        return testsupport::run("cd " + shell_quote(dir.path()) + " && " + fake.path_prefix() + "cosweep " + args);
    }
    // Runs on the net of kNet with the given lines.
    RunResult lines(const std::string& text, const std::string& option = "") {
        if (!exists(dir.file("net.ll_net"))) write_file(dir.file("net.ll_net"), kNet);
        write_file(dir.file("f"), text);
        return cosweep(option + "net.ll_net f");
    }
    int trelmik_runs() {
        std::string log = fake.log();
        int n = 0;
        for (std::size_t at = log.find("answer="); at != std::string::npos; at = log.find("answer=", at + 1)) ++n;
        return n;
    }
    // Makes the file's modification time lie `seconds` in the future.
    void touch_later(const std::string& path, int seconds) {
        testsupport::run("touch -d '+" + std::to_string(seconds) + " seconds' " + shell_quote(path));
    }
    testsupport::TempDir dir;
    cosweep_test::FakeTrelmik fake;
};

}  // namespace

TEST_F(Cli, UsageAndOptions) {
    for (const char* args : {"", "net.ll_net", "-K net.ll_net", "-Kx f"}) {
        RunResult r = cosweep(args);
        EXPECT_EQ(r.exit_code, 0) << args;
        EXPECT_EQ(r.out, kUsage) << args;
        EXPECT_EQ(r.err, "") << args;
    }
    // Only the second character of an option is looked at.
    RunResult r = cosweep("-x net.ll_net f");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "ERROR: -x ist keine Option!\n");
    EXPECT_EQ(r.out, kUsage);
    write_file(dir.file("net.ll_net"), kNet);
    write_file(dir.file("f"), "p2\n");
    r = cosweep("-Kx net.ll_net f");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(fake.log().find("-ctCK=net.comp.ll_net -m=net.comp -M=net.comp\nanswer=y\n"), std::string::npos)
        << fake.log();
    // Arguments after the formula file are ignored.
    r = cosweep("net.ll_net f whatever");
    EXPECT_EQ(r.exit_code, 0) << r.err;
}

TEST_F(Cli, VerdictsAndFiringSequences) {
    struct Case { const char* lines; const char* out; };
    for (const Case& c : {
             Case{"p2\n", "\nYES!\n# t1\n"},
             Case{"p1\n", "\nYES!\n#\n"},
             Case{"|p1 p4\n", "\nYES!\n# t1 t3\n"},
             Case{"p1 |p1\np5\n|p2 |p4\n", "\nYES!\n#\n"},
             Case{"p1 p2\np5\n", "\nNO!\n"},
             Case{"p5\np4 |p3\n", "\nYES!\n# t3\n"},      // a place without condition, then a reachable line
             Case{"p2 p2\n", "\nYES!\n# t1\n"},           // a repeated name is the same place
             Case{"", "\nNO!\n"},
             Case{"p3 |p4", "\nYES!\n#\n"},               // no line break at the end
         }) {
        RunResult r = lines(c.lines);
        EXPECT_EQ(r.exit_code, 0) << c.lines << r.err;
        // The stand-in prints nothing; cosweep's output is the verdict alone.
        EXPECT_EQ(r.out, c.out) << c.lines;
    }
    // The first reachable line ends the file: an unknown name after it is not read.
    RunResult r = lines("p2\nnowhere\n");
    EXPECT_EQ(r.out, "\nYES!\n# t1\n");
}

TEST_F(Cli, BadLinesEndTheProgram) {
    struct Case { const char* lines; const char* name; };
    for (const Case& c : {Case{"p9\n", "p9"}, Case{"p1 |p1\n\np2\n", ""}, Case{"p5  p1\n", ""},
                          Case{"p5 \n", ""}, Case{"p1\t\n", "p1\t"}, Case{"||p1\n", "||p1"}}) {
        RunResult r = lines(c.lines);
        EXPECT_EQ(r.exit_code, 1) << c.lines;
        EXPECT_EQ(r.out, "\nERROR: " + std::string(c.name) + " ist keine Stelle im Netz!\n") << c.lines;
    }
}

TEST_F(Cli, FileErrors) {
    write_file(dir.file("f"), "p1\n");
    RunResult r = cosweep("missing.ll_net f");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "ERROR (hurz!): Datei #missing.ll_net# konnte nicht geoeffnet werden!\nPWD=" + dir.path() + "\n");
    write_file(dir.file("net.ll_net"), kNet);
    r = cosweep("net.ll_net nofile");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "ERROR: Datei nofile konnte nicht geoeffnet werden!\n");
    // A file name without '.' is refused before anything is read or written.
    write_file(dir.file("plain"), kNet);
    r = cosweep("plain f");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "ERROR: Dateiname plain hat keine Endung!\n");
    // The old tagged form is not read.
    write_file(dir.file("old.ll_net"), "VOS\nPlainNet\nFORMAT_A\n");
    r = cosweep("old.ll_net f");
    EXPECT_EQ(r.exit_code, 10);
    EXPECT_EQ(r.err, "ERROR: syntax error in file 'old.ll_net', line 3: keyword 'FORMAT_N' or 'FORMAT_N2' expected.\n");
    EXPECT_EQ(trelmik_runs(), 0);
    // A verdict that cannot be written is no answer.
    if (::access("/dev/full", W_OK) == 0) {
        r = cosweep("net.ll_net f >/dev/full");
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, "ERROR: Ergebnis konnte nicht geschrieben werden!\n");
    }
}

TEST_F(Cli, RefusedNetsWriteNothing) {
    write_file(dir.file("f"), "p\n");
    write_file(dir.file("unsafe.ll_net"), "VOS\nPlainNet\nFORMAT_N\nPL\n\"p\"M2\nTR\nTP\nPT\nTX\n");
    RunResult r = cosweep("unsafe.ll_net f");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "ERROR: Netz ist nicht sicher!\n");
    EXPECT_FALSE(exists(dir.file("unsafe.comp.ll_net")));
    write_file(dir.file("twice.ll_net"), "VOS\nPlainNet\nFORMAT_N\nPL\n\"p\"\n\"|p\"M1\nTR\nTP\nPT\nTX\n");
    r = cosweep("twice.ll_net f");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "ERROR: Netz hat schon die Komplementstelle |p!\n");
    EXPECT_FALSE(exists(dir.file("twice.comp.ll_net")));
    EXPECT_EQ(trelmik_runs(), 0);
}

TEST_F(Cli, DuplicatePlaceIsReadWithAWarning) {
    write_file(dir.file("dup.ll_net"),
               "VOS\nPlainNet\nFORMAT_N\nPL\n\"p\"M1\n\"p\"\n\"q\"\nTR\n\"t\"\nTP\n1<3\nPT\n1>1\nTX\n");
    write_file(dir.file("f"), "q |p\n");
    RunResult r = cosweep("dup.ll_net f");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "WARNING: NN.fast_insert_place(): place 'p' already exists.\n");
    EXPECT_EQ(r.out, "\nYES!\n# t\n");
}

TEST_F(Cli, DerivedFilesAreReusedWhileUpToDate) {
    RunResult r = lines("p2\n");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(fake.log(), "-@@ctC -m=net.comp -M=net.comp net.comp.ll_net\nanswer=y\n");
    // A second run reuses the complement net and the prefix.
    r = lines("p4\n");
    EXPECT_EQ(r.out, "\nYES!\n# t3\n");
    EXPECT_EQ(trelmik_runs(), 1);
    // A missing matrix makes trelmik run again, the complement net stays.
    std::string comp_text = read_file(dir.file("net.comp.ll_net"));
    std::remove(dir.file("net.comp.bin_coco").c_str());
    r = lines("p4\n");
    EXPECT_EQ(r.out, "\nYES!\n# t3\n");
    EXPECT_EQ(trelmik_runs(), 2);
    // A complement net that is newer than the prefix files is unfolded again.
    touch_later(dir.file("net.comp.ll_net"), 5);
    r = lines("p4\n");
    EXPECT_EQ(trelmik_runs(), 3);
    // A net that is newer than its complement net gets a new one: here p4
    // can no longer be marked.
    write_file(dir.file("net.ll_net"), std::string(kNet).replace(std::string(kNet).find("3<4"), 3, "3<5"));
    touch_later(dir.file("net.ll_net"), 10);
    r = lines("p4\n");
    EXPECT_EQ(r.out, "\nNO!\n");
    EXPECT_EQ(trelmik_runs(), 4);
    EXPECT_NE(read_file(dir.file("net.comp.ll_net")), comp_text);
    // A complement net written without components is made again for -K.
    r = lines("p5\n", "-K ");
    EXPECT_EQ(r.out, "\nYES!\n# t3\n");
    EXPECT_EQ(trelmik_runs(), 5);
    EXPECT_NE(read_file(dir.file("net.comp.ll_net")).find("C1\n"), std::string::npos);
}

TEST_F(Cli, UnfolderFailureIsReportedNotAnsweredFromOldFiles) {
    ASSERT_EQ(lines("p2\n").exit_code, 0);
    // A trelmik that fails after the net changed: the old prefix is not used.
    testsupport::TempDir broken;
    write_file(broken.file("trelmik"), "#!/bin/sh\nexit 3\n");
    ::chmod(broken.file("trelmik").c_str(), 0755);
    touch_later(dir.file("net.ll_net"), 5);
    RunResult r = testsupport::run("cd " + shell_quote(dir.path()) + " && PATH=" + shell_quote(broken.path()) + ":" +
                                   shell_quote(cosweep_test::bin_dir()) + ":\"$PATH\" cosweep net.ll_net f");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "\nFEHLER -- readMCI(): kann Datei nicht oeffnen: 'net.comp.mci'\n");
}

TEST_F(Cli, DamagedPrefixFiles) {
    ASSERT_EQ(lines("p2\n").exit_code, 0);
    const std::string coco = dir.file("net.comp.bin_coco"), mci = dir.file("net.comp.mci");
    std::string matrix = read_file(coco);
    ASSERT_FALSE(matrix.empty());
    // A short matrix is an error, not a "NO!".
    write_file(coco, matrix.substr(0, matrix.size() - 1));
    RunResult r = lines("p2 p4\n");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "ERROR: net.comp.bin_coco ist zu kurz fuer das Praefix!\n");
    write_file(coco, matrix);
    write_file(mci, std::string(8, '\0'));
    r = lines("p2\n");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "\nFEHLER -- readMCI(): Netz enthaelt keine Bedingungen\n");
    EXPECT_EQ(trelmik_runs(), 1);
}

TEST_F(Cli, FileNamesReachTheShellQuoted) {
    const std::string name = "a b;touch PWNED;'x'.ll_net";
    write_file(dir.file(name), kNet);
    write_file(dir.file("f"), "p2 p4\n");
    for (const char* option : {"", "-K "}) {
        RunResult r = cosweep(option + shell_quote(name) + " f");
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out.substr(0, 6), "\nYES!\n") << r.out << r.err;
        EXPECT_FALSE(exists(dir.file("PWNED")));
        std::remove(dir.file("a b;touch PWNED;'x'.comp.ll_net").c_str());
    }
    EXPECT_TRUE(exists(dir.file("a b;touch PWNED;'x'.comp.mci")));
    // After -K a net file name may begin with '-'.
    write_file(dir.file("-n.ll_net"), kNet);
    RunResult r = cosweep("-K -n.ll_net f");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::remove(dir.file("-n.comp.ll_net").c_str());
    write_file(dir.file("g"), "p2\n");
    r = testsupport::run("cd " + shell_quote(dir.path()) + " && " + fake.path_prefix() + "cosweep -K ./-n.ll_net g");
    EXPECT_EQ(r.out, "\nYES!\n# t1\n") << r.err;
}

TEST_F(Cli, MoreNamesThanConditions) {
    // One condition (p); |p is never marked, so "p |p" needs two.
    write_file(dir.file("one.ll_net"), "VOS\nPlainNet\nFORMAT_N\nPL\n\"p\"M1\nTR\nTP\nPT\nTX\n");
    write_file(dir.file("f"), "p |p\n");
    RunResult r = cosweep("one.ll_net f");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "ERROR: Netz hat zu wenig Stellen!\n");
    write_file(dir.file("f"), "|p\np\n");
    r = cosweep("one.ll_net f");
    EXPECT_EQ(r.out, "\nYES!\n#\n") << r.err;
}

TEST_F(Cli, EntryAndExitPlacesKeepTheirMarking) {
    // s (entry) and r (exit) are both marked at the start; t moves s to u.
    write_file(dir.file("box.ll_net"),
               "VOS\nPetriBox\nFORMAT_N\nPL\n\"s\"eM1\n\"r\"xM1\n\"u\"\nTR\n\"t\"\nTP\n1<3\nPT\n1>1\nTX\n");
    for (const char* line : {"r\n", "s r\n", "u r\n"}) {
        write_file(dir.file("f"), line);
        RunResult r = cosweep("box.ll_net f");
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out, line[0] == 'u' ? "\nYES!\n# t\n" : "\nYES!\n#\n") << line;
    }
    const std::string comp = read_file(dir.file("box.comp.ll_net"));
    EXPECT_NE(comp.find("\"r\"0@0xM1m1\n"), std::string::npos) << comp;
    EXPECT_NE(comp.find("\"s\"0@0eM1m1\n"), std::string::npos) << comp;
}

TEST_F(Cli, NamesAreComparedWhole) {
    // a is a marked place of 100 characters, b = a + "x" is never marked;
    // t takes the token of a.
    const std::string a(100, 'a'), b = a + "x";
    write_file(dir.file("long.ll_net"), "VOS\nPlainNet\nFORMAT_N\nPL\n\"" + a + "\"M1\n\"" + b +
                                            "\"\n\"z\"\nTR\n\"t\"\nTP\n1<3\nPT\n1>1\nTX\n");
    struct Case { std::string line, out; };
    for (const Case& c : {Case{b + "\n", "\nNO!\n"}, Case{a + "\n", "\nYES!\n#\n"}, Case{"|" + a + "\n", "\nYES!\n# t\n"},
                          Case{"|" + b + " " + a + "\n", "\nYES!\n#\n"}}) {
        write_file(dir.file("f"), c.line);
        RunResult r = cosweep("long.ll_net f");
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out, c.out) << c.line;
    }
    // A name longer than every place is no place, however long it is: it is
    // read up to one character more than the longest place name ("|" + b).
    write_file(dir.file("f"), std::string(5000, 'a') + "\n");
    RunResult r = cosweep("long.ll_net f");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "\nERROR: " + std::string(103, 'a') + " ist keine Stelle im Netz!\n");
}

TEST_F(Cli, WindowsLineEndsAndEmptyLinesAtTheEnd) {
    struct Case { const char* lines; const char* out; };
    for (const Case& c : {Case{"p5\r\np2\r\n", "\nYES!\n# t1\n"}, Case{"p1 p2\n\n\n", "\nNO!\n"},
                          Case{"p1 p2\r\n\r\n", "\nNO!\n"}, Case{"p5\n\np2\n\n", ""}}) {
        RunResult r = lines(c.lines);
        if (*c.out) {
            EXPECT_EQ(r.exit_code, 0) << c.lines << r.err;
            EXPECT_EQ(r.out, c.out) << c.lines;
        } else {
            // An empty line before other lines is still an empty name.
            EXPECT_EQ(r.exit_code, 1) << c.lines;
            EXPECT_EQ(r.out, "\nERROR:  ist keine Stelle im Netz!\n") << c.lines;
        }
    }
}

TEST_F(Cli, DirectoriesAreNoInputFiles) {
    write_file(dir.file("net.ll_net"), kNet);
    ASSERT_EQ(::mkdir(dir.file("questions").c_str(), 0755), 0);
    RunResult r = cosweep("net.ll_net questions");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "ERROR: Datei questions konnte nicht geoeffnet werden!\n");
    ASSERT_EQ(::mkdir(dir.file("folder.ll_net").c_str(), 0755), 0);
    write_file(dir.file("f"), "p1\n");
    r = cosweep("folder.ll_net f");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "ERROR (hurz!): Datei #folder.ll_net# konnte nicht geoeffnet werden!\nPWD=" + dir.path() + "\n");
    EXPECT_EQ(trelmik_runs(), 0);
    // A line that never ends is read only as far as a place name could go.
    r = cosweep("net.ll_net /dev/zero");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out.rfind("\nERROR: ", 0), 0u);
    EXPECT_NE(r.out.find(" ist keine Stelle im Netz!\n"), std::string::npos);
}

// A file cosweep writes (the complement net) or has trelmik write (the
// prefix and the matrix) that names an input, by another spelling or through
// a link, is refused before anything is read or written.
TEST_F(Cli, OutputsOverInputsAreRefused) {
    const struct {
        const char* args;
        const char* link;     // a link made to the second name, or none
        const char* target;
        const char* output;   // the output named in the message
        const char* input;
    } cases[] = {
        {"n.ll_net f", "n.comp.ll_net", "n.ll_net", "n.comp.ll_net", "n.ll_net"},
        {"-K n.ll_net f", "n.comp.ll_net", "n.ll_net", "n.comp.ll_net", "n.ll_net"},
        {"n.ll_net n.comp.mci", nullptr, nullptr, "n.comp.mci", "n.comp.mci"},
        {"n.ll_net ./n.comp.bin_coco", nullptr, nullptr, "n.comp.bin_coco", "./n.comp.bin_coco"},
        {"n.ll_net f", "n.comp.ll_net", "f", "n.comp.ll_net", "f"},
        {"n.ll_net f", "n.comp.mci", "f", "n.comp.mci", "f"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        testsupport::TempDir fresh;
        auto put = [&](const std::string& name, const std::string& text) { write_file(fresh.file(name), text); };
        put("n.ll_net", kNet);
        put("f", "p1\n");
        put("n.comp.mci", "p2\n");
        put("n.comp.bin_coco", "p3\n");
        if (c.link) {
            std::remove(fresh.file(c.link).c_str());
            ASSERT_EQ(::symlink(c.target, fresh.file(c.link).c_str()), 0);
        }
        std::vector<std::string> before;
        for (const char* name : {"n.ll_net", "f", "n.comp.mci", "n.comp.bin_coco"})
            before.push_back(read_file(fresh.file(name)));
        RunResult r = testsupport::run("cd " + shell_quote(fresh.path()) + " && " + fake.path_prefix() + "cosweep " +
                                       c.args);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, std::string("ERROR: Ausgabedatei ") + c.output + " wuerde die Eingabe " + c.input +
                             " ersetzen!\n");
        std::vector<std::string> after;
        for (const char* name : {"n.ll_net", "f", "n.comp.mci", "n.comp.bin_coco"})
            after.push_back(read_file(fresh.file(name)));
        EXPECT_EQ(after, before);
        EXPECT_EQ(before[0], kNet);
    }
    EXPECT_EQ(trelmik_runs(), 0);
}

// trelmik writes the prefix and the matrix under temporary names and gives
// them their names together at the end of a successful run: when it fails
// (here the prefix cannot take its name, a directory holds it), cosweep
// finds neither file, so no half of a pair is ever reused later.
TEST_F(Cli, FailedUnfoldingLeavesNoHalfPair) {
    write_file(dir.file("net.ll_net"), kNet);
    write_file(dir.file("f"), "p4\n");
    ASSERT_EQ(::mkdir(dir.file("net.comp.mci").c_str(), 0755), 0);
    write_file(dir.file("net.comp.mci/keep"), "");
    const std::string run = "cd " + shell_quote(dir.path()) + " && " + cosweep_test::real_path_prefix() +
                            "cosweep net.ll_net f";
    RunResult r = testsupport::run(run);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out.find("YES!"), std::string::npos);
    EXPECT_NE(r.err.find("error: cannot open file 'net.comp.mci'."), std::string::npos) << r.err;
    EXPECT_FALSE(exists(dir.file("net.comp.bin_coco")));
    // Once the way is clear the next run unfolds afresh and answers.
    std::remove(dir.file("net.comp.mci/keep").c_str());
    ASSERT_EQ(::rmdir(dir.file("net.comp.mci").c_str()), 0);
    r = testsupport::run(run);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("\nYES!\n# t3\n"), std::string::npos) << r.out;
    EXPECT_TRUE(exists(dir.file("net.comp.bin_coco")));
}

namespace {
// Runs the program for its usage text, then calls the handler it installed
// for failed allocations.
void usage_then_out_of_memory() {
    char name[] = "cosweep";
    char* argv[] = {name, nullptr};
    testing::internal::CaptureStdout();
    cosweep::run(1, argv);
    std::get_new_handler()();
}
}  // namespace

TEST(CosweepMemory, ExhaustedMemoryEndsWithTheLibraryMessage) {
    EXPECT_EXIT(usage_then_out_of_memory(), testing::ExitedWithCode(3), "^ERROR: NN.Malloc\\(\\): memory overflow.\n$");
}
