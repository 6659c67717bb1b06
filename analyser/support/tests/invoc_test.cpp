// Program name, text files under TULMPATH, argument macros and usage text,
// against cfg files in temporary directories.  Each case runs in a child,
// which may change its environment and working directory freely.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "alloc.h"
#include "invoc.h"
#include "petri_test.h"
#include "testutil.h"

using testsupport::read_file;
using supporttest::RunChild;
using testsupport::TempDir;
using testsupport::write_file;

namespace {

std::string NotFound(const std::string& name) {
    return "\nCannot open file " + name + " for reading\nErrno 2: " + std::strerror(ENOENT) + "\n";
}

// Reads the first line of a file opened by OpenText, or "-" for none.
std::string FirstLine(FILE* file) {
    if (file == nullptr)
        return "-";
    char line[256] = "";
    if (std::fgets(line, sizeof line, file) == nullptr)
        line[0] = '\0';
    std::fclose(file);
    return line;
}

// Runs ExpArgs over the arguments in a child with the macro file text and
// prints the result, one argument a line, "<null>" for the final null entry
// of a new vector, "same" when the vector is the caller's.
std::string Expand(const std::string& macros, std::vector<std::string> args) {
    TempDir dir;
    mkdir(dir.file("cfg").c_str(), 0777);
    write_file(dir.file("cfg/prog.cfg"), macros);
    auto run = RunChild([&] {
        setenv("TULMPATH", dir.path().c_str(), 1);
        baseName = "prog";
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        int argc = 0;
        char** out = nullptr;
        ExpArgs(static_cast<int>(args.size()), argv.data(), &argc, &out);
        std::string text = std::to_string(argc) + (out == argv.data() ? " same" : "") + "\n";
        for (int i = 0; i < argc; ++i)
            text += std::string(out[i]) + "\n";
        if (out != argv.data())
            text += out[argc] == nullptr ? "<null>\n" : "<not null>\n";
        std::fputs(text.c_str(), _out);
    });
    return run.out + run.err;
}

}  // namespace

TEST(Invoc, InvocationName) {
    char* name = Invoc("/usr/local/bin/tulc");
    EXPECT_STREQ(name, "tulc");
    Deallocate(name);
    name = Invoc("tulc");
    EXPECT_STREQ(name, "tulc");
    Deallocate(name);
}

TEST(Invoc, OpenTextLooksInTheInstallationDirectory) {
    TempDir install;
    TempDir work;
    mkdir(install.file("cfg").c_str(), 0777);
    write_file(install.file("cfg/tulc.cfg"), "installed\n");
    mkdir(work.file("cfg").c_str(), 0777);
    write_file(work.file("cfg/local.cfg"), "local\n");
    write_file(install.file("cfg/local.cfg"), "installed local\n");
    write_file(work.file("cfg/only"), "");
    auto run = RunChild([&] {
        if (chdir(work.path().c_str()) != 0)
            _exit(3);
        std::string out;
        for (std::string dir : {install.path(), install.path() + "/"}) {
            setenv("TULMPATH", dir.c_str(), 1);
            out += FirstLine(OpenText("cfg", "tulc.cfg", 1, 0));
            out += FirstLine(OpenText("cfg/", "/tulc.cfg", 1, 1));
        }
        // skip 0: a file of the working directory wins.
        out += FirstLine(OpenText("cfg", "local.cfg", 0, 0));
        // skip 1 ignores it.
        out += FirstLine(OpenText("cfg", "local.cfg", 1, 0));
        // skip 0: a missing file is looked for in the installation.
        out += FirstLine(OpenText("cfg", "tulc.cfg", 0, 0));
        // skip 0: a failure other than a missing file stands ("cfg/only" is
        // not a directory).
        out += FirstLine(OpenText("cfg/only", "tulc.cfg", 0, 0));
        // Without TULMPATH: skip 0 keeps its failure; skip 1 opens the
        // name itself.
        unsetenv("TULMPATH");
        out += FirstLine(OpenText("cfg", "tulc.cfg", 0, 0));
        out += FirstLine(OpenText("cfg", "local.cfg", 1, 0));
        setenv("TULMPATH", "", 1);
        out += FirstLine(OpenText(nullptr, "nothing", 1, 0));
        // A directory of "/" and a name starting with '/' give the name.
        setenv("TULMPATH", "/", 1);
        out += FirstLine(OpenText("", "/nonexistent/x", 1, 0));
        std::fputs(out.c_str(), _out);
    });
    EXPECT_EQ(run.out,
              "installed\ninstalled\ninstalled\ninstalled\n"
              "local\ninstalled local\ninstalled\n--local\n--");
    EXPECT_EQ(run.err, "\nCannot open file cfg/only/tulc.cfg for reading\nErrno 20: " +
                           std::string(std::strerror(ENOTDIR)) + "\n" + NotFound("cfg/tulc.cfg") +
                           NotFound("nothing") + NotFound("/nonexistent/x"));

    auto noName = RunChild([] { OpenText("cfg", nullptr, 0, 0); });
    EXPECT_EQ(noName.signal, SIGABRT);
    EXPECT_EQ(noName.out, "\n");
    EXPECT_EQ(noName.err, "\nNo name in OpenText\n");
}

TEST(Invoc, ArgumentMacros) {
    const std::string macros =
        "# macros\n"
        "\n"
        "fast -x -y   # two words\n"
        "gone\n"
        "fast -z\n"
        "   \t# indented comment\n"
        "last one";  // no newline at the end
    EXPECT_EQ(Expand(macros, {"prog", "--fast", "file"}), "4\nprog\n-x\n-y\nfile\n<null>\n");
    EXPECT_EQ(Expand(macros, {"prog", "--fast", "a", "--fast", "--gone", "--last"}),
              "7\nprog\n-x\n-y\na\n-x\n-y\none\n<null>\n");
    EXPECT_EQ(Expand(macros, {"prog", "--gone"}), "1\nprog\n<null>\n");
    // Replacement words are not expanded again; nothing replaced keeps the
    // caller's vector.
    EXPECT_EQ(Expand("a --b\nb -c\n", {"prog", "--a"}), "2\nprog\n--b\n<null>\n");
    EXPECT_EQ(Expand(macros, {"prog", "-fast", "fast"}), "3 same\nprog\n-fast\nfast\n");
    EXPECT_EQ(Expand(macros, {"prog"}), "1 same\nprog\n");
}

TEST(Invoc, ArgumentMacrosWithoutTheirFile) {
    auto run = RunChild([] {
        setenv("TULMPATH", "/nonexistent", 1);
        baseName = "prog";
        char arg0[] = "prog", arg1[] = "--fast";
        char* argv[] = {arg0, arg1, nullptr};
        int argc = 0;
        char** out = nullptr;
        ExpArgs(2, argv, &argc, &out);
        std::fprintf(_out, "%d %d", argc, out == argv);
    });
    EXPECT_EQ(run.out, "2 1");
    EXPECT_EQ(run.err, NotFound("/nonexistent/cfg/prog.cfg"));
}

TEST(Invoc, UsageFromTheMessageFileOrTheBuiltInText) {
    TempDir dir;
    mkdir(dir.file("cfg").c_str(), 0777);
    write_file(dir.file("cfg/prog.msg"), "[-x] file\n\n  -x  more\n  last");
    auto run = RunChild([&] {
        setenv("TULMPATH", dir.path().c_str(), 1);
        baseName = "prog";
        myName = "p2";
        MsgExit("[-q]", 3);
    });
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.code, 3);
    EXPECT_EQ(run.err, "\nUsage:  p2 [-x] file\n\n  -x  more\n  last\n");

    auto fallback = RunChild([&] {
        setenv("TULMPATH", dir.path().c_str(), 1);
        baseName = "other";
        myName = "o";
        MsgExit("[-q]\n[-r]", 1);
    });
    EXPECT_EQ(fallback.code, 1);
    EXPECT_EQ(fallback.err, NotFound(dir.path() + "/cfg/other.msg") + "\nUsage:  o [-q]\n[-r]\n");
}

TEST(Invoc, TheInstalledTulcFilesAreFound) {
    auto run = RunChild([] {
        setenv("TULMPATH", TULM_SOURCE_PATH, 1);
        baseName = "tulc";
        myName = "tulc";
        char arg0[] = "tulc", arg1[] = "--let", arg2[] = "net";
        char* argv[] = {arg0, arg1, arg2, nullptr};
        int argc = 0;
        char** out = nullptr;
        ExpArgs(3, argv, &argc, &out);
        std::fprintf(_out, "%d %s %s\n", argc, out[1], out[2]);
        MsgExit("", 1);
    });
    EXPECT_EQ(run.out, "3 -R net\n");
    EXPECT_EQ(run.err.rfind("\nUsage:  tulc [-A] [-a] [-C] [-Dname[=defstr]]... [-Iname]...\n", 0), 0u)
        << run.err;
}
