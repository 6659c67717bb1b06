// tulc's command line, its messages and exit status, by tables of cases:
// each runs tulc on a net description in a scratch directory and looks for
// the lines it must print and the files it must write.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <set>
#include <new>

#include "driver.h"

#include "tulc_test_util.h"

using tulctest::TulcRun;
using tulctest::Workspace;

namespace {

// A case: the net, the arguments, the exit status, and texts that must
// appear on the error stream (in this order) and must not.
struct Case {
    const char* name;
    const char* net;
    const char* args;
    int code;
    std::vector<const char*> err;
    const char* absent = nullptr;
};

void RunCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Workspace w;
        TulcRun r = c.net ? w.Compile(c.net, c.args) : w.Tulc(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        std::size_t at = 0;
        for (const char* want : c.err) {
            std::size_t found = r.err.find(want, at);
            EXPECT_NE(found, std::string::npos) << "missing: " << want << "\nin:\n" << r.err;
            if (found != std::string::npos) at = found + 1;
        }
        if (c.absent) {
            EXPECT_EQ(r.err.find(c.absent), std::string::npos) << r.err;
        }
    }
}

// The preprocessor's text in _.h, without the generated part that follows
// it (from the generated header's first include on).
std::string Preprocessed(const Workspace& w) {
    const std::string h = w.Read("x.src/_.h");
    const std::size_t at = h.rfind("\n#include <stdio.h>\n#include \"absolute.h\"\n");
    return at == std::string::npos ? h : h.substr(0, at);
}

// A run that fails before the code generation writes no source file.
const char kNoSources[] = "_0000000.c";

}  // namespace

TEST(TulcCli, CommandLine) {
    const char* usage = "\nUsage:  tulc ";
    RunCases({
        {"bare name", "#place p\n", "x", 0, {}},
        {"name with .net", "#place p\n", "x.net", 0, {}},
        {"-t", "#place p\n", "-t x", 0, {}},
        {"-t value apart", "#place p\n", "-t -D -D", 2 - 1, {usage}},
        {"no name", "", "", 1, {usage}},
        {"two names", "", "x y", 1, {usage}},
        {"-t after a name", "", "x -t y", 1, {usage}},
        {"-u twice", "", "-u5 -u6 x", 1, {usage}},
        {"-u not a number", "", "-uabc x", 1, {usage}},
        {"unknown letter", "", "-q x", 1, {usage}},
        {"value missing", "", "x -D", 1, {usage}},
        {"letters missing", "", "x -", 1, {usage}},
        {"-R with -u", "", "-R -u5 x", 1, {"\ntulc: options -R and -u are mutually exclusive\n"}},
        {"letters apart", "#place p\n", "- LN x", 0, {}},
        {"definition without name", "#place p\n", "-D=3 x", 1, {"Command line definition without name:\n-D=3\n"}},
        {"erroneous definition", "#place p\n", "-D1a -UB x", 1,
         {"Erroneous command line definition:\n-D1a\n", "x.pre: 1: B: no such definition"}},
        {"missing net", nullptr, "x", 1, {"Cannot open file x.net for reading\nErrno 2: "}},
        {"argument macro", "#place p\n#trans t\nlet <.a.> <= <.1.>;\nin {p:<.a.>;}\n#endtr\n", "--let x", 0, {}, "let"},
    });
}

TEST(TulcCli, FilesOfTheRun) {
    // The program itself: the first message of a run follows an empty line.
    {
        Workspace b;
        b.Write("x.net", "#place p\n");
        TulcRun r = b.TulcBinary("-D=3 x");
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err.rfind("\nCommand line definition without name:\n-D=3\n", 0), 0u) << r.err;
    }
    Workspace w;
    TulcRun r = w.Compile("#define X 1\n#place p mk(<.X.>)\n", "-DA -DB=2 -DC= -UD x");
    EXPECT_EQ(w.Read("x.pre"), "#define A 1\n#define B 2\n#define C\n#undef D\n");
    EXPECT_NE(r.err.find("x.pre: 4: D: no such definition"), std::string::npos);
    EXPECT_EQ(w.Read("x.def"), "#define A 1\n#define B 2\n#define C \n#define X 1\n");
    // The same net under its three names; no .pre without -D/-U.
    Workspace v;
    v.Compile("#place p mk(<.3.>)\n", "x");
    const std::string dat = v.Read("x.dat");
    EXPECT_FALSE(v.Exists("x.pre"));
    for (const char* args : {"x.net", "-t x", "-tx"}) {
        v.Tulc(args);
        EXPECT_EQ(v.Read("x.dat"), dat) << args;
    }
    // ".net" is no longer than four characters: it stays the name.
    Workspace n;
    n.Write(".net.net", "#place p\n");
    testsupport::run("mkdir " + testsupport::shell_quote(n.Path(".net.src")));
    EXPECT_EQ(n.Tulc(".net").code, 0);
    EXPECT_TRUE(n.Exists(".net.dat"));
}

TEST(TulcCli, OutputsThatCannotBeWritten) {
    // No source directory.
    {
        Workspace w;
        testsupport::run("rmdir " + testsupport::shell_quote(w.Path("x.src")));
        TulcRun r = w.Compile("#place p\n");
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find("Cannot open empty file x.src/_enum.h for writing\nErrno 2: "), std::string::npos) << r.err;
    }
    // Files that take no bytes: each ends the run with status 1.
    for (const char* file : {"x.def", "x.src/_enum.h", "x.src/_.h", "x.dat", "x.pre"}) {
        SCOPED_TRACE(file);
        Workspace w;
        testsupport::run("ln -s /dev/full " + testsupport::shell_quote(w.Path(file)));
        TulcRun r = w.Compile("#define A 1\n#enum E\nint a;\n#place p mk(<.1.>)\n", "-DZ x");
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(std::string("Cannot write file ") + file), std::string::npos) << r.err;
    }
    Workspace w;
    testsupport::run("ln -s /dev/full " + testsupport::shell_quote(w.Path("x.nev")));
    TulcRun r = w.Compile("#place p\n#place q\n#verify p != empty until q != empty;\n", "-N x");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Cannot write file x.nev"), std::string::npos) << r.err;
}

// The names in the workspace that a run may leave, hidden ones included
// (the harness's own .out and .err aside).
std::set<std::string> Listing(const Workspace& w) {
    std::set<std::string> names;
    for (const char* dir : {"", "x.src"})
        for (const auto& e : std::filesystem::directory_iterator(w.Path(dir))) {
            const std::string name = (*dir ? std::string(dir) + "/" : "") + e.path().filename().string();
            if (name != ".out" && name != ".err") names.insert(name);
        }
    return names;
}

TEST(TulcCli, FailedRunsLeaveTheEarlierFiles) {
    // A missing net description is reported before any output is made.
    {
        Workspace w;
        TulcRun r = w.Tulc("nosuch");
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find("Cannot open file nosuch.net for reading\nErrno 2: "), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("_enum.h"), std::string::npos) << r.err;
        EXPECT_EQ(Listing(w), std::set<std::string>{"x.src"});
    }
    // A run that fails at its last output leaves every file of the run
    // before it as it was, and no staged file.
    Workspace w;
    const std::string net = "#place p mk(<.1.>)\n#place q\n#trans t\nin {p:<.1.>;}\nout {q:<.1.>;}\n#endtr\n"
                            "#verify p != empty until q != empty;\n";
    ASSERT_EQ(w.Compile("#define A 1\n#enum E\n" + net, "-DZ -N x").code, 0);
    const std::set<std::string> files = Listing(w);
    std::map<std::string, std::string> before;
    for (const std::string& f : files)
        if (f != "x.src" && f != "x.net" && f != "x.dat") before[f] = w.Read(f);
    EXPECT_EQ(before.size(), 7u);  // .pre, .def, .nev, _.h, _enum.h, _.sh, one source file
    testsupport::run("rm " + testsupport::shell_quote(w.Path("x.dat")) + " && mkdir " +
                     testsupport::shell_quote(w.Path("x.dat")));
    TulcRun r = w.Compile("#define B 2\n#enum F\nint b;\n" + net, "-DY -N x");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Cannot open empty file x.dat for writing"), std::string::npos) << r.err;
    EXPECT_EQ(Listing(w), files);
    for (const auto& [f, text] : before) EXPECT_EQ(w.Read(f), text) << f;
}

// No output may replace the net description, whatever names it: a symbolic
// or hard link among the outputs.
TEST(TulcCli, OutputsNamingTheInputAreRefused) {
    const std::string net = "#place p\n";
    struct Link {
        const char* out;
        const char* command;
    } links[] = {
        {"x.def", "ln -s x.net x.def"},           {"x.pre", "ln x.net x.pre"},
        {"x.src/_.h", "ln -s ../x.net x.src/_.h"}, {"x.src/_enum.h", "ln x.net x.src/_enum.h"},
        {"x.dat", "ln -s ./x.net x.dat"},         {"x.nev", "ln x.net x.nev"},
    };
    for (const Link& l : links) {
        SCOPED_TRACE(l.command);
        Workspace w;
        w.Write("x.net", net);
        testsupport::run("cd " + testsupport::shell_quote(w.Path("")) + " && " + l.command);
        TulcRun r = w.Tulc("-DZ -N x");
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(std::string("Output file ") + l.out + " would replace the input x.net"), std::string::npos)
            << r.err;
        EXPECT_EQ(w.Read("x.net"), net);
        EXPECT_EQ(Listing(w), (std::set<std::string>{"x.net", "x.src", l.out}));
    }
}

TEST(TulcCli, InputLayer) {
    RunCases({
        {"self include", "#include \"x.net\"\n", "x", 1, {"Cyclic inclusion: x.net\nis included in x.net\n"}, kNoSources},
        {"include without -I", "#include <f>\n", "x", 1, {"Cannot open file f for reading\nEmpty include_path\n"}},
        {"include not found", "#include \"f\"\n", "x", 1, {": Cannot open file f for reading\nErrno 2: "}},
        {"include not found in the directories", "#include <f>\n", "-Id1 -Id2/ x", 1,
         {": Cannot open file d1/f for reading\nErrno 2: "}},
        {"unterminated comment", "a /* c \n\n", "x", 1, {"x.net: 3: Unterminated comment starts in x.net at line 1\n"}},
        {"string at the end after a backslash", "\"abc\\", "x", 1, {"Premature end inside a string constant.\n"}},
        {"cyclic macros", "#define B A\n#define A B\n", "x", 1,
         {"x.net: 2: Cyclic definition: A\nis referred by B\nwhich is referred by A\n"}},
        {"self-referring macro", "#define A x A\n", "x", 1, {"x.net: 1: Cyclic definition: A\nis referred by A\n"}},
    });
    // Long chains of definitions: each link is checked against cycles
    // without walking the chain again, the chain expands, and a link that
    // closes a cycle through a redefined macro or at the end of the chain is
    // still found.
    {
        std::string chain = "#define A0 1\n";
        for (int i = 1; i <= 20000; ++i) chain += "#define A" + std::to_string(i) + " A" + std::to_string(i - 1) + "\n";
        Workspace c;
        TulcRun r = c.Compile(chain + "A20000\n");
        EXPECT_EQ(r.code, 0) << r.err;
        const std::string h = Preprocessed(c);
        EXPECT_EQ(h.find_first_not_of('\n'), h.rfind("1\n")) << h.substr(h.size() - std::min<std::size_t>(h.size(), 40));
        r = c.Compile(chain + "#undef A0\n#define A0 A20000\n");
        EXPECT_EQ(r.err.rfind("\nx.net: 20003: Cyclic definition: A0\nis referred by A1\nwhich is referred by A2\n", 0), 0u)
            << r.err.substr(0, 300);
        EXPECT_NE(r.err.find("which is referred by A20000\nwhich is referred by A0\n"), std::string::npos);
        RunCases({
            {"undefined referrer", "#define B A\n#undef B\n#define A B\nA\n", "x", 0, {}, "Cyclic"},
            {"redefined link", "#define B C\n#define C D\n#undef C\n#define C x B\n", "x", 1,
             {"x.net: 4: Cyclic definition: C\nis referred by B\nwhich is referred by C\n"}},
        });
    }
    // Inclusion chains, the include search and the end of included files.
    Workspace w;
    w.Write("a", "#include \"b\"\n");
    w.Write("b", "\n#include \"a\"\n");
    TulcRun r = w.Compile("#include \"a\"\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("b: 3: Cyclic inclusion: a\nis included in b\nwhich is included in a\n"), std::string::npos) << r.err;
    testsupport::run("cd " + testsupport::shell_quote(w.Path("")) + " && mkdir d1 d2 && echo one > d1/f && echo two > d2/f");
    w.Compile("#include <f>\n", "-Id1 -Id2 x");
    EXPECT_EQ(Preprocessed(w), "two\n");  // the directory given last first
    w.Write("f", "here\n");
    w.Compile("#include \"f\"\n", "-Id1 x");
    EXPECT_EQ(Preprocessed(w), "here\n");
    w.Compile("#include <f>\n", "-Id1 x");
    EXPECT_EQ(Preprocessed(w), "one\n");
    w.Write("g", "int a");
    r = w.Compile("#include \"g\"\n;\n");
    EXPECT_NE(r.err.find("g: 1: Unexpected end of file\ng: 1: Warning: Upper level input continues the incomplete line\n"
                         "(spaceless concatenation)\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Preprocessed(w), "int a;\n");
    // Carriage returns and character 26 are not part of the text.
    w.Compile("a\r\n\032b\n");
    EXPECT_EQ(Preprocessed(w), "a\nb\n");
    // The files the run writes while it reads cannot be included: the text
    // passed through to _.h and read again would grow it for ever.
    for (const char* file : {"x.src/_.h", "x.def", "x.src/_enum.h", "./x.src/../x.src/_.h"}) {
        std::string net;
        for (int i = 0; i < 2000; ++i) net += "int a" + std::to_string(i) + ";\n";
        Workspace v;
        TulcRun e = v.Compile(net + "#include \"" + file + "\"\n");
        EXPECT_EQ(e.code, 1) << file;
        EXPECT_NE(e.err.find(std::string("x.net: 2002: Cannot read file ") + file + ": it is written by this run\n"),
                  std::string::npos)
            << e.err;
        EXPECT_FALSE(v.Exists("x.dat"));
    }
    // A file that opens but cannot be read (a directory) is not an empty
    // text: the run ends, as the net file itself or as an included file.
    for (const char* net : {"", "#include \"d\"\n#place p\n"}) {
        Workspace v;
        testsupport::run("mkdir " + testsupport::shell_quote(v.Path("d")));
        if (*net)
            v.Write("x.net", net);
        else
            testsupport::run("mkdir " + testsupport::shell_quote(v.Path("x.net")));
        TulcRun e = v.Tulc("x");
        EXPECT_EQ(e.code, 1) << net;
        EXPECT_NE(e.err.find(std::string("Cannot read file ") + (*net ? "d" : "x.net") + "\nErrno 21: "), std::string::npos)
            << e.err;
        EXPECT_FALSE(v.Exists("x.dat"));
    }
}

TEST(TulcCli, TokensAndComments) {
    Workspace w;
    w.Compile("#define a A\n#define x X\n#define x1F Y\na..b x.y 0x1F\n");
    EXPECT_EQ(Preprocessed(w), "\n\n\nA..b X.y 0Y\n");
    const char* net = "a/* c */b\n";
    struct {
        const char* args;
        const char* h;
    } modes[] = {{"x", "ab\n"}, {"-A x", "a b\n"}, {"-C x", "a/* c */b\n"}, {"-A -C x", "a/* c */b\n"}};
    for (const auto& m : modes) {
        w.Compile(net, m.args);
        EXPECT_EQ(Preprocessed(w), m.h) << m.args;
    }
    // Line synchronisation: blank lines stand for control lines; -L marks
    // the net file, included files, the return from them, and _.h itself.
    w.Write("inc", "int i;\n");
    w.Compile("#define X 1\nint a = X;\n#include \"inc\"\nint b;\n", "-L x");
    EXPECT_EQ(Preprocessed(w),
              "#line 1 \"x.net\"\n\nint a = 1;\n#line 1 \"inc\"\nint i;\n#line 4 \"x.net\"\nint b;\n"
              "\n#line 10 \"x.src/_.h\"\n");
    // A few skipped lines are made up with empty lines; more than the file
    // name's length plus 40 with a line mark.
    std::string skipped50;
    for (int i = 0; i < 50; ++i) skipped50 += "z\n";
    w.Compile("a\n#if 0\n" + skipped50 + "#endif\nb\n#if 0\nz\nz\nz\n#endif\nc\n", "-L x");
    EXPECT_EQ(Preprocessed(w), "#line 1 \"x.net\"\na\n#line 54 \"x.net\"\nb\n\n\n\n\n\nc\n\n#line 13 \"x.src/_.h\"\n");
    // The bound for x.net: 45 lines behind still take empty lines, 46 a mark.
    for (int behind : {45, 46}) {
        std::string skipped;
        for (int i = 0; i < behind - 2; ++i) skipped += "z\n";
        w.Compile("a\n#if 0\n" + skipped + "#endif\nb\n", "-L x");
        const std::string h = w.Read("x.src/_.h");
        EXPECT_EQ(h.find("#line " + std::to_string(behind + 2) + " \"x.net\"\nb\n") != std::string::npos, behind == 46) << h;
        EXPECT_EQ(h.find("a\n" + std::string(behind, '\n') + "b\n") != std::string::npos, behind == 45) << h;
    }
}

TEST(TulcCli, Directives) {
    RunCases({
        {"orphans", "#else\n#endif\n", "x", 1, {"x.net: 1: Orphan #else?\n", "x.net: 2: Orphan #endif?\n"}},
        {"endless if", "\n\n\n\n#if 0\nx\n", "x", 1, {"Endless #if, starts in x.net at line 6\n"}, "Unpaired"},
        {"unpaired", "#if 1\nx\n", "x", 1, {"x.net: 3: Unpaired if starts in x.net at line 1\n"}},
        {"if without expression", "#if\nx\n#endif\n", "x", 1, {"x.net: 1: Expected integer valued expression, got nothing\n"}},
        {"if at the end", "#if 1", "x", 1, {"Expected End of line in #if,\ngot end of file\n"}},
        {"ifdef without name", "#ifdef 3\n#endif\n", "x", 1, {"x.net: 1: #ifdef: Expected name, got \"3\"\n"}},
        {"unknown control", "#pragma once\n", "x", 1, {"x.net: 1: Ignoring unknown control pragma\n"}},
        {"rest of line", "#place p\n#trans t\n#endtr junk\n", "x", 0,
         {"x.net: 3: Warning: Ignoring rest of line while looking at token \"junk\"\n"}},
        {"control line at the end", "#define X 1", "x", 1, {"Unexpected end of file\n"}},
        {"undef", "#define X 1\n#undef X y\n#undef Q\n#undef\n", "x", 1,
         {"x.net: 2: Warning: #undef: Ignoring y\n", "x.net: 3: Q: no such definition\n",
          "x.net: 4: #undef: expected name, got \"\"\n"}},
        {"undef under expansion", "#define F(a) a\nF(1\n#undef F\n)\n", "x", 1,
         {"x.net: 3: F is under expansion\nand thus cannot be undefined\n"}},
        {"define errors",
         "#define\n#define 3\n#define X 1\n#define X 2\n#define F(a,a) a\n#define G(a b) a\n#define H(a;) a\n"
         "#define K(3) x\n#define L(a\n#define M1\n",
         "x", 1,
         {"x.net: 1: #define: expected name, got nothing\n", "x.net: 2: #define: expected name, got \"3\"\n",
          "x.net: 4: X already defined\n", "x.net: 5: Definition of F: parameter a is ambiguous\n",
          "x.net: 6: Warning: Macro argument list: Missing comma inserted before b\n",
          "x.net: 7: Macro argument list: Expected \",\", got \";\"\n", "x.net: 8: Definition of K: parameter 3 is no name\n",
          "x.net: 9: Macro argument list: Premature eof.\n"}},
        {"define followed", "#define X+1\n", "x", 1,
         {"x.net: 1: Expected space or comment or opening parenthesis to follow, got\n\"+\"\n"}},
        {"macro calls", "#define F(a,b) a b\nF\nF(1)\nF(1,2,3)\nF(1)\n", "x", 1,
         {"x.net: 3: macro F:\nexpected \"(\", got \"F\"\n", "x.net: 4: macro F:\nexpected \")\", got \",\"\n",
          "x.net: 5: macro F:\nexpected 2 arguments, got 1\n"}},
        {"call at the end", "#define F(a) a\nF", "x", 1, {"macro F:\nend of file when expecting \"(\"\n"}},
        {"arguments at the end", "#define F(a,b) a\nF(1", "x", 1, {"macro F:\nend of file when expecting \",\"\n"}},
        // An expansion that would call itself for ever stops.
        {"endless expansion", "#define G(x) x(x)\nG(G)\nmore\n", "x", 1,
         {"x.net: 2: macro G:\nexpected \"(\", got \")\"\n", "macro G:\nend of file when expecting \")\"\n"}},
        // A name made anew by every expansion: no macro is cyclic, yet the
        // calls never end.
        {"expansion without end", "#define CAT(a,b) a/**/b\n#define HX(a,b) CAT(a,b)(a,b)\nHX(H,X)\nmore\n", "x", 1,
         {"x.net: 3: macro HX:\nexpansion does not end\n"}, kNoSources},
        // The newline of an argument read again does not count twice.
        {"lines after an argument", "#define ID(a) a\n#define P #place\nID(x\ny) P p foo\n#place q bar\n", "x", 1,
         {"x.net: 4: Expected mk, lo, or hi in place p,\n", "x.net: 5: Expected mk, lo, or hi in place q,\n"}},
        {"enum", "#enum A, B\n#enum A\n#enum 3\n#enum D E\n#enum\n", "x", 1,
         {"x.net: 2: #enum: A redefined\n", "x.net: 3: Expected name, got \"3\".\n", "x.net: 4: Expected \",\", got \"E\".\n",
          "x.net: 5: Expected name, got \"nothing\".\n"}},
        {"include errors", "#include\n#include 3\n#include <f\n", "x", 1,
         {"x.net: 2: #include requires a file.\n", "x.net: 3: #include: Expected <file> or \"file\", got \"3\"\n",
          "x.net: 4: #include: unexpected end-of-file.\n"}},
        {"include at the end", "#include \"inc\"", "x", 1, {"Warning: Preprocessor statement without newline.\n"}},
        {"trans in trans", "#place p\n#trans t\ncomp {\n#trans u\n#endtr\n}\n#endtr\n", "x", 1,
         {"x.net: 4: #trans follows #trans without #endtr between them\n", "Warning: skipping to next #endtr\n"}},
        {"orphan endtr", "#endtr\n", "x", 1, {"x.net: 1: Orphan #endtr\n"}},
    });
    Workspace w;
    TulcRun r = w.Compile("#define X 1\n#define F(a) a+1\n#undef X\n#enum A, B, C\nint v = A + F(2);\n#if 0\nno\n#else\nyes\n#endif\n");
    EXPECT_EQ(w.Read("x.def"), "#define X 1\n#define F(a) a+1\n#undef X\n");
    EXPECT_EQ(w.Read("x.src/_enum.h"), "#define A 0xffffffff\n#define B 0xfffffffe\n#define C 0xfffffffd\n");
    EXPECT_EQ(Preprocessed(w), "\n\n\n\nint v = 0xffffffff +  2+1;\n\n\n\nyes\n");
    // Nested collections are bounded: 256 calls inside each other's
    // arguments expand, one more ends the run, as do control lines nested in
    // statement texts.
    for (int depth : {256, 257}) {
        std::string calls = "#define F(a) a\n";
        for (int i = 0; i < depth; ++i) calls += "F(";
        calls += "1" + std::string(static_cast<std::size_t>(depth), ')') + "\n";
        TulcRun n = w.Compile(calls);
        EXPECT_EQ(n.code, depth == 257 ? 1 : 0);
        EXPECT_EQ(n.err.find("Macro calls and control lines nested more than 256 deep\n") != std::string::npos, depth == 257)
            << n.err;
        if (depth == 256) {
            EXPECT_EQ(Preprocessed(w), "\n" + std::string(256, ' ') + "1\n");
        }
    }
    std::string places;
    for (int i = 0; i < 257; ++i) places += "#place a" + std::to_string(i) + " mk(";
    TulcRun n = w.Compile(places + std::string(257, ')') + "\n");
    EXPECT_NE(n.err.find("x.net: 1: Macro calls and control lines nested more than 256 deep\n"), std::string::npos) << n.err;
    // Groups kept and skipped: #ifdef, #ifndef, #else, a conditional nested
    // in a skipped group (its #else does not end the skipping), and a
    // missing name, after which #ifdef skips and #ifndef does not.
    w.Compile("#define D\n#ifdef D\na\n#else\nb\n#endif\n#ifndef D\nc\n#else\nd\n#endif\n"
              "#if 0\n#if 1\ne\n#else\nf\n#endif\ng\n#else\nh\n#endif\n"
              "#ifdef 3\ni\n#endif\n#ifndef 3\nj\n#endif\n");
    std::string kept;
    for (char c : Preprocessed(w))
        if (c != '\n') kept += c;
    EXPECT_EQ(kept, "adhj");
    // Conditionals and definitions work inside statement texts.
    r = w.Compile("#define N 2\n#place p mk(<.N.>)\n#place q mk(<.1.> +\n#if 1\n<.2.>\n#endif\n)\n");
    EXPECT_NE(r.err.find("Expected end \")\" of mk of place q,\ngot newline"), std::string::npos) << r.err;
}

TEST(TulcCli, PlacesAndTesters) {
    RunCases({
        {"accepted", "#place p mk(<.1.>) lo(<.0.>) hi(<.3.>)\n", "x", 0, {}, "x.net"},
        {"impossible initial marking", "#place p mk(<.5.>) hi(<.3.>)\n", "x", 1,
         {"x.net: 1: place p: impossible initial marking\nTUPLE <.5.>\nhigh limit:\nTUPLE <.3.>\n"}},
        {"below the low limit", "#place p mk(<.1,9.>) lo(<.2,0.>)\n", "x", 1,
         {"x.net: 1: place p: impossible initial marking\nTUPLE <.1, 9.>\nlow limit:\nTUPLE <.2, 0.>\n"}},
        {"contradictory limits", "#place r lo(<.2,0.> + <.1,5.>) hi(<.1,7.>)\n", "x", 1,
         {"x.net: 1: Place r, contradictory limits\nlow limit:\nTUPLE <.2, 5.>\nhigh limit:\nTUPLE <.1, 7.>\n"}},
        {"place errors",
         "#place\n#place p\n#place p\n#place s mk(<.1.>) mk(<.2.>)\n#place u mk(<.1.>\n#place v foo\n#place w mk x\n"
         "#place t_e_s_t_e_r\n",
         "x", 1,
         {"x.net: 1: Expected name after \"#place\",\ngot newline\n", "x.net: 3: Place p redefined\n",
          "x.net: 4: mk redefined in place s\n", "x.net: 5: Expected end \")\" of mk of place u,\ngot newline\n",
          "x.net: 6: Expected mk, lo, or hi in place v,\ngot \"foo\"\n",
          "x.net: 7: Expected \"(\" after \"mk\" in place w,\ngot \"x\"\n"}},
        {"limits in let mode", "#place p lo(<.1.>)\n#place q foo\n", "-R x", 1,
         {"x.net: 1: lo defined in place p\nIf you want a limit in a place, run tulc without the -R option\n",
          "x.net: 2: Expected mk in place q,\ngot \"foo\"\n"}},
        {"one arity", "#place p mk(<.1.> + <.1,2.>)\n", "-a x", 1,
         {"x.net: 1: Varying arity in p (1 and 2)\nIf you want several arities in a place, run tulc without the -a option\n"}},
        {"clause at the end", "#place p mk(", "x", 1, {"Expected end \")\" of mk of place p,\ngot end of file\n"}},
        {"tester clause at the end", "#tester t reject(", "x", 1,
         {"Expected end \")\" of reject of tester \"t\",\ngot end of file\n"}},
        {"tester errors",
         "#place t mk(<.1.>)\n#tester t reject(<.1,2.>)\n#tester t foo\n#tester t reject(<.1.>) reject(<.2.>)\n"
         "#tester t deadlock x\n#tester t\n#tester t\n",
         "x", 1,
         {"x.net: 2: tester \"t\": tuples should be unary\n",
          "x.net: 3: Expected reject, deadlock, livelock, or infinite\nin tester \"t\",\ngot \"foo\"\n",
          "x.net: 4: reject redefined in tester \"t\"\n", "x.net: 5: Expected \"(\" after \"deadlock\" in tester \"t\",\ngot \"x\"\n",
          "x.net: 7: #tester is not allowed more than once\n"}},
        {"tester place of two tokens", "#place t mk(2<.1.>)\n#tester t\n", "x", 1,
         {"x.net: 2: tester \"t\": tester must have exactly\n", "x.net: 2: one unary tuple in the initial marking\n"}},
        {"tester before its place", "#tester t\n#place t mk(<.1,2.>)\n", "x", 1,
         {"x.net: 2: place t: tester must have exactly\n", "x.net: 2: one unary tuple in the initial marking\n"}},
        {"tester values and limits", "#place t mk(<.1.>) lo(<.1.>) hi(<.5.>)\n#tester t reject(<.0.>)\n#tester t deadlock(<.9.>)\n",
         "x", 1, {"x.net: 2: tester t: 0 is below low limit 1\n", "x.net: 3: tester t: 9 is above high limit 5\n"}},
        {"tester without place", "#tester t reject(<.1.>)\n", "x", 1, {"tester \"t\": no #place declares the tester\n"}},
        {"count overflow", "#place p mk(4294967295<.1.> + <.1.>)\n", "x", 1,
         {"x.net: 1: Count overflow: a multiplicity exceeds 4294967295\n"}},
    });
    // Tester values: the entries of the table in ascending order with their
    // condition bits.
    Workspace w;
    w.Compile("#tester t reject(<.2.> + <.3.>) deadlock(<.3.>) infinite(<.0-1.>)\n#place t mk(<.7.>)\n");
    tulctest::DatFile d = tulctest::ReadDat(w.Read("x.dat"));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.testerPlace, 0u);
    ASSERT_EQ(d.testerValues.size(), 3u);
    EXPECT_EQ(d.testerValues[0], std::make_pair(2u, 1u));
    EXPECT_EQ(d.testerValues[1], std::make_pair(3u, 3u));
    EXPECT_EQ(d.testerValues[2], std::make_pair(0xFFFFFFFFu, 8u));
    EXPECT_FALSE(d.hasBuchi);
    // Values recorded before the place declared its limits are checked when
    // the tables are written; a value outside them is left out.
    TulcRun r = w.Compile("#tester t reject(<.0.> + <.3.>) deadlock(<.9.>)\n#place t mk(<.1.>) lo(<.1.>) hi(<.5.>)\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("tester t: 0 is below low limit 1\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("tester t: 9 is above high limit 5\n"), std::string::npos) << r.err;
    d = tulctest::ReadDat(w.Read("x.dat"));
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.testerValues.size(), 1u);
    EXPECT_EQ(d.testerValues[0], std::make_pair(3u, 1u));
}

TEST(TulcCli, Transitions) {
    const char* pq = "#place p\n#place q\n";
    auto net = [&](const std::string& body, const std::string& head = "#trans t\n") {
        static std::vector<std::string> keep;
        keep.push_back(std::string(pq) + head + body + "#endtr\n");
        return keep.back().c_str();
    };
    RunCases({
        {"accepted", net("in { p : <.x.> + <.x.> ; }\nout { q : <.x.> ; }\n"), "x", 0, {}, "x.net"},
        {"output variable without comp", net("out { p : <.y.> ; }\n"), "x", 1,
         {"x.net: 5: Transition t: output variable y\nexists, but there is no comp block\n"}},
        {"gate on an output variable", net("in {p:<.x.>;}\nout{q:<.y.>;}\ngate y > 1;\ncomp { y = x; }\n"), "x", 1,
         {"Gate variable y of t is not an input variable\n"}},
        {"not unifiable", net("in { p : <.x+1.> ; }\n"), "x", 1, {"x.net: 5: Input variable x is not unifiable\n"}},
        {"count expression binds nothing", net("in { p : n <.x.> ; }\n"), "x", 1,
         {"Input variable n of t is not unifiable\n"}},
        {"folding variable", net("in { p : <.x.> ; }\n", "#trans t fd(y, x, x)\n"), "x", 1,
         {"x.net: 3: transition t: duplicate fd variable x\n", "Folding variable y of t is neither an input\n",
          "nor output variable\n"}},
        {"too wide", "#place p lo(<.0.>) hi(<.100.>)\n#trans t\nin { p : <.x.> ; }\n#endtr\n", "-u10 x", 1,
         {"x.net: 4: Input variable x of t has a too wide range\n", "x.net: 4: ((high limit 100) - (low limit 0) > 10)\n"}},
        {"wide enough", "#place p lo(<.0.>) hi(<.100.>)\n#trans t\nin { p : <.x.> ; }\n#endtr\n", "-u100 x", 0,
         {}, "x.net"},
        {"empty range", "#place p lo(<.5.>)\n#place q hi(<.3.>)\n#trans t\nin { p : <.x.> ; q : <.x.> ; }\n#endtr\n", "x", 1,
         {"Variable x of t has an empty range\n", "(low limit 5, high limit 3)\n"}},
        {"let without -R", net("let <.a.> <= <.1.> ;\nin { p : <.a.> ; }\n"), "x", 1,
         {"x.net: 4: Transition t: unexpected \"let\"\nIf you want to use \"let\", run tulc with the -R option\n",
          "Warning: #trans failed, skipping to next #endtr\n"}},
        {"let errors", net("let <.a,a.> <= <.1.> ;\nin { p : <.a.> ; }\n"), "-R x", 1,
         {"transition t: duplicate \"let\" variable a\n"}},
        {"let arity", net("let <.a,b.> <= <.1.> ;\nin { p : <.a,b.> ; }\n"), "-R x", 1,
         {"\"let\" of transition t: the tuple before the first \"<=\" is of arity 2\nwhereas some later tuple is of arity 1\n"}},
        {"let names", net("let <.a.> <= q ;\nin { p : <.a.> ; }\n"), "-R x", 1,
         {"Inappropriate \"q\" after the first \"<=\"\nin \"let\" of transition t\n"}},
        {"let empty", net("let <.a.> <= empty ;\nin { p : <.a.> ; }\n"), "-R x", 1,
         {"empty marking after the first \"<=\" in \"let\" of transition t\n"}},
        {"let variables", net("let <.a.> <= <.1.> ;\nin { p : <.a.> + <.b.> ; }\n"), "-R x", 1,
         {"Input variable b of t is not a \"let\" variable\n"}},
        {"let shape", net("let a <= <.1.> ;\n"), "-R x", 1, {"Expected \"<.\" after \"let\" in transition t,\ngot \"a\"\n"}},
        {"twice", net("in {p:<.x.>;}\nin {p:<.x.>;}\n"), "x", 1, {"Transition t: \"in\" allowed only once\n"}},
        {"comp twice", net("in {p:<.x.>;}\ncomp {}\ncomp {}\n"), "x", 1, {"Transition t: comp allowed only once\n"}},
        {"unknown block", net("foo\n"), "x", 1, {"Expected in, out, gate, comp, or #endtr in transition t,\ngot \"foo\"\n"}},
        {"unknown block in let mode", net("foo\n"), "-R x", 1,
         {"Expected let, in, out, gate, comp, or #endtr in transition t,\ngot \"foo\"\n"}},
        {"block errors", net("in p\n"), "x", 1, {"Expected \"{\" after \"in\" in transition t,\ngot \"p\"\n"}},
        {"entry errors", net("in { 3 }\n"), "x", 1, {"Expected place name in \"in block\" of transition t,\ngot \"3\"\n"}},
        {"colon", net("in { p <.x.> }\n"), "x", 1, {"Expected \":\" after \"p\" in \"in block\" of transition t,\ngot \"<.\"\n"}},
        {"unknown place", net("in { r : <.x.> ; }\n"), "x", 1, {"x.net: 4: Place r not defined\n"}},
        {"empty field", net("in { p : <.x,.> ; }\n"), "x", 1, {"t: an empty field in a nonempty tuple\nfrom p\n"}},
        {"range in a field", net("out { q : <.1..2.> ; }\ncomp {}\n"), "x", 1,
         {"t: \"..\" on an arc to q\nis completely meaningless\n"}},
        {"missing semicolon", net("in { p : <.x.> }\n"), "x", 0,
         {"Warning: Transition t: \"in block\" missing \";\" before end \"}\"\n"}},
        {"term separator", net("in { p : <.x.> <.y.> ; }\n"), "x", 1,
         {"Expected \"+\" or \";\" in \"in block\" of transition t,\ngot \"<.\"\n"}},
        {"count 0", net("in { p : 0 <.x.> + <.x.> ; }\n"), "x", 0,
         {"Warning: Transition t: a term of count 0 from p is dropped\n"}},
        {"count overflow", net("in { p : 4294967295 <. .> + <. .> ; }\n"), "x", 1,
         {"Transition t: count overflow from p (more than 4294967295)\n"}},
        {"name", "#trans\n#endtr\n", "x", 1, {"x.net: 1: Expected name after \"#trans\",\ngot newline\n"}},
        {"redefined", net("", "#trans t\n#endtr\n#trans t\n"), "x", 1, {"Transition t redefined\n"}},
        {"fd errors", net("", "#trans t fd x\n"), "x", 1, {"Expected \"(\" after \"fd\" in transition t,\ngot \"x\"\n"}},
        {"fd twice", net("", "#trans t fd(x) fd(y)\n"), "x", 1, {"Transition t: fd allowed only once\n"}},
        {"header word", net("", "#trans t foo\n"), "x", 1, {"Expected fd in transition t,\ngot \"foo\"\n"}},
        {"endtr expected", net("#endif\n"), "x", 1, {"Expected #endtr of transition t,\ngot \"endif\"\n"}},
        {"no endtr", "#place p\n#trans t\nin { p : <.x.> ; }\n", "x", 1, {"Transition t: unexpected end of file\n"}},
        {"no endtr when recovering", "#trans t foo\n", "x", 1,
         {"#trans failed, could not find #endtr when trying to recover\n"}},
        {"let arity one", "#place p\n#trans t\nin { p : <.x.> + <.x,y.> ; }\n#endtr\n", "-a x", 1,
         {"Varying arity in p (1 and 2)\n"}},
    });
    // Several entries for one place join one arc; terms of arity 0 merge.
    Workspace w;
    w.Compile("#place p\n#trans t\nin { p : <. .> ; p : 2 <. .> ; }\n#endtr\n");
    tulctest::DatFile d = tulctest::ReadDat(w.Read("x.dat"));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.arity[0], 0u);
    // Let sets in the number code.
    w.Compile("#place p\n#trans t\nlet <.a,b.> <= <.1,2.> + <.3,400.> ;\nin { p : <.a,b.> ; }\n#endtr\n", "-R x");
    d = tulctest::ReadDat(w.Read("x.dat"));
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.letSets[0].size(), 2u);
    EXPECT_EQ(tulctest::Hex(d.letSets[0][0]), "02 03");
    EXPECT_EQ(tulctest::Hex(d.letSets[0][1]), "04 84 11 06");  // 400 + 256 = 656 = 5 * 128 + 16
    EXPECT_EQ(d.variableNames[0], (std::vector<std::string>{"a", "b"}));
}

// The structure of the blocks of a transition: a refused block fails the
// statement, which is skipped up to its #endtr; the end of the input inside
// a block ends the run.
TEST(TulcCli, TransitionBlocks) {
    auto net = [](const std::string& body, const std::string& head = "#trans t\n") {
        static std::vector<std::string> keep;
        keep.push_back("#place p\n#place q\n" + head + body + "#endtr\n");
        return keep.back().c_str();
    };
    RunCases({
        {"fd name", net("", "#trans t fd(3)\n"), "x", 1,
         {"x.net: 3: Expected variable name in fd list of transition t,\ngot \"3\"\n", "#trans failed"}},
        {"fd separator", net("", "#trans t fd(x;\n"), "x", 1,
         {"x.net: 3: Expected \",\" or \")\" in fd list of transition t,\ngot \";\"\n"}},
        {"let twice", net("let <.a.> <= <.1.> ;\nlet <.a.> <= <.1.> ;\nin { p : <.a.> ; }\n"), "-R x", 1,
         {"x.net: 5: Transition t: \"let\" allowed only once\n", "#trans failed"}},
        {"let variable name", net("let <.3.> <= <.1.> ;\n"), "-R x", 1,
         {"x.net: 4: Expected variable name in \"let\" of transition t,\ngot \"3\"\n"}},
        {"let separator", net("let <.a;.> <= <.1.> ;\n"), "-R x", 1,
         {"Expected \",\" or \".>\" after \"a\" in \"let\" of transition t,\ngot \";\"\n"}},
        {"let after the tuple", net("let <.a.> x <= <.1.> ;\n"), "-R x", 1,
         {"Expected \"<=\" after the first \".>\" in \"let\" of transition t,\ngot \"x\"\n"}},
        {"let without <= at the end", "#place p\n#trans t\nlet <.a.>", "-R x", 1,
         {"Expected \"<=\" in \"let\" of transition t,\ngot end of file\n"}},
        {"let without ; at the end", "#place p\n#trans t\nlet <.a.> <= <.1.>", "-R x", 1,
         {"Expected \";\" in \"let\" of transition t,\ngot end of file\n"}},
        {"comp without brace", net("comp x\n"), "x", 1,
         {"x.net: 4: Expected \"{\" after \"comp\" in transition t,\ngot \"x\"\n", "#trans failed"}},
        {"comp at the end", "#place p\n#trans t\ncomp { x", "x", 1,
         {"Expected end \"}\" of comp block of transition t,\ngot end of file\n"}},
        {"gate at the end", "#place p\n#trans t\ngate x", "x", 1,
         {"Expected end \";\" of a gate of transition t,\ngot end of file\n"}},
        // A term without its tuple is abandoned; the transition stays.
        {"term without tuple", net("in { p : x ; q : <.y.> ; }\n"), "x", 1,
         {"x.net: 4: Expected \"<.\" in \"in block\" of transition t,\ngot \";\"\n"}, "#trans failed"},
        {"tuple not closed", net("in { p : <.x ; }\n"), "x", 1,
         {"x.net: 4: Expected \".>\" in \"in block\" of transition t,\ngot \";\"\n"}, "#trans failed"},
    });
}

TEST(TulcCli, VerifyAndPrecedence) {
    RunCases({
        {"true initially", "#place p mk(<.1.>)\n#verify card(p) > 0;\n", "x", 1, {}, kNoSources},
        {"constant true", "#place p\n#verify 1 > 0;\n", "x", 1, {}, kNoSources},
        {"twice", "#place p\n#verify p != empty;\n#verify p != empty;\n", "x", 1,
         {"x.net: 3: #verify is not allowed more than once\n"}},
        {"after a tester", "#place t mk(<.1.>)\n#tester t\n#verify t != empty;\n", "x", 1,
         {"x.net: 3: #verify is possible\nonly when there is no tester\n"}},
        {"tester after verify", "#place p\n#verify p != empty;\n#tester t\n", "x", 1,
         {"x.net: 3: #tester is possible\nonly when there is no #verify\n"}},
        {"reserved place", "#place t_e_s_t_e_r\n#verify t_e_s_t_e_r != empty;\n", "x", 1,
         {"x.net: 2: #verify is possible\nonly when there is no place t_e_s_t_e_r\n"}},
        {"reserved place after", "#place p\n#verify p != empty;\n#place t_e_s_t_e_r\n", "x", 1,
         {"x.net: 3: Place t_e_s_t_e_r is possible\nonly when there is no #verify\n"}},
        {"reserved transition", "#place p\n#trans d_u_m_m_y\n#endtr\n#verify p != empty;\n", "x", 1,
         {"x.net: 4: #verify is possible\nonly when there is no transition d_u_m_m_y\n"}},
        {"reserved transition after", "#place p\n#verify p != empty;\n#trans i_n_i_t_i_a_l_i_z_e\n#endtr\n", "x", 1,
         {"x.net: 3: Transition i_n_i_t_i_a_l_i_z_e is possible\nonly when there is no #verify\n"}},
        {"nothing", "#place p\n#verify ;\n", "x", 1, {"x.net: 2: Expected formula in #verify, got nothing\n"}},
        {"no semicolon", "#place p\n#verify p != empty\n", "x", 1, {"Expected \";\" in #verify,\ngot end of file\n"}},
        {"parse error", "#place p\n#verify p +;\n", "x", 1, {"parse error\nError in marking expression:\n p +\n    ^\n"}},
        {"marking", "#place p\n#verify p;\n", "x", 1, {"Expected formula, got marking\n"}},
        {"never claim refused", "#place p\n#verify card(p) > 1;\n", "-N x", 1,
         {"Some atomic formula prevents the program\nfrom printing a Buchi automaton into a text file.\n"}},
        {"prec errors", "#prec\n#prec A B\n#prec A < 3\n", "x", 1,
         {"x.net: 1: Expected name in #prec,\ngot newline\n",
          "x.net: 2: Expected \"<\", \">\", \"<<\", or \">>\" in #prec,\ngot \"B\"\n",
          "x.net: 3: Expected name in #prec,\ngot \"3\"\n"}},
        {"prec at the end", "#prec A <", "x", 1, {"Expected name in #prec,\ngot end of file\n"}},
        {"seventeen atoms", "#place a0\n#place a1\n#place a2\n#place a3\n#place a4\n#place a5\n#place a6\n#place a7\n#place a8\n#place a9\n#place a10\n#place a11\n#place a12\n#place a13\n#place a14\n#place a15\n#place a16\n#verify a0 != empty or a1 != empty or a2 != empty or a3 != empty or a4 != empty or a5 != empty or a6 != empty or a7 != empty or a8 != empty or a9 != empty or a10 != empty or a11 != empty or a12 != empty or a13 != empty or a14 != empty or a15 != empty or a16 != empty;\n", "x", 1,
         {"The formula to be verified is too large: at most 16 atomic propositions\nand 31 entries"}},
        {"closure of 32 entries", "#place a0\n#place a1\n#place a2\n#place a3\n#place a4\n#place a5\n#place a6\n#place a7\n#place a8\n#place a9\n#place a10\n#place a11\n#place a12\n#place a13\n#place a14\n#place a15\n#place a16\n#verify eventually (a0 != empty and a1 != empty and a2 != empty and a3 != empty and a4 != empty and a5 != empty and a6 != empty and a7 != empty and a8 != empty and a9 != empty and a10 != empty and a11 != empty and a12 != empty and a13 != empty and a14 != empty and a15 != empty);\n", "x", 1,
         {"The formula to be verified is too large"}},
    });
    struct Message {
        const char* net;
        const char* out;
    } decided[] = {
        {"#place p mk(<.1.>)\n#verify card(p) > 0;\n",
         "\nThe formula to be verified is true\nas can be seen from the initial marking\n"},
        {"#place p\n#verify 1 > 0;\n", "\nThe formula to be verified is equivalent to 1 and is thus true\n"},
        {"#place p\n#verify 1 < 0;\n", "\nThe formula to be verified is equivalent to 0 and is thus false\n"},
        {"#place p\n#verify p != empty or not (p != empty);\n",
         "\nThe formula to be verified is equivalent to 1 and is thus true\n"},
        // Beyond the data model: an error message only, and no tables either.
        {"#place a\n#place b\n#place c\n#place d\n#place e\n#place f\n#place g\n#place h\n#place i\n"
         "#verify card(a)>0 or card(b)>0 or card(c)>0 or card(d)>0 or card(e)>0 or card(f)>0 or card(g)>0 or "
         "card(h)>0 or card(i)>0 or card(a)>1 or card(b)>1 or card(c)>1 or card(d)>1 or card(e)>1 or card(f)>1 or "
         "card(g)>1 or card(h)>1;\n",
         ""},
    };
    for (const auto& m : decided) {
        Workspace w;
        TulcRun r = w.Compile(m.net);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, m.out);
        EXPECT_FALSE(w.Exists("x.dat"));
    }
}

TEST(TulcCli, TesterChecks) {
    const char* head = "#place t mk(<.1.>)\n#tester t reject(<.2.>)\n#place p\n";
    auto net = [&](const std::string& body) {
        static std::vector<std::string> keep;
        keep.push_back(std::string(head) + "#trans u\n" + body + "#endtr\n");
        return keep.back().c_str();
    };
    RunCases({
        {"keeps the multiplicity", net("in { t : <.x.> ; }\nout { t : <.x.> ; }\n"), "x", 0, {}, "Transition"},
        {"takes only", net("in { t : <.x.> ; }\n"), "x", 1,
         {"Transition u: attempt to change\n", "the multiplicity of the tester \"t\"\n"}},
        {"not unary", net("in { t : <.x.> ; }\nout { t : <.x, 1.> ; }\ncomp {}\n"), "x", 1,
         {"Transition u: every tuple in the tester \"t\" must be unary\n"}},
        {"strange input", net("in { t : 2<.x.> ; }\nout { t : 2<.x.> ; }\n"), "x", 1,
         {"Transition u: strange input\n", "from the tester \"t\"\n"}},
        {"potential change", net("in { p : <.n.> ; t : <.x.> ; }\nout { t : n<.x.> ; }\n"), "x", 1,
         {"Transition u: potential attempt to change\n", "the multiplicity of the tester \"t\"\n"}},
        {"two tuples", net("in { t : <.x.> + <.y.> ; }\nout { t : <.x.> + <.y.> ; }\n"), "x", 1,
         {"Transition u: strange input\n", "from the tester \"t\"\n"}},
    });
    // A refused transition is not in the tables.
    Workspace w;
    w.Compile(net("in { t : <.x.> ; }\n"));
    tulctest::DatFile d = tulctest::ReadDat(w.Read("x.dat"));
    ASSERT_TRUE(d.ok);
    EXPECT_TRUE(d.transitionNames.empty());
}

// Memory that runs out inside the containers of the compiler (a huge range
// in a marking) ends the run with the allocation failure's message and
// Abort(), not with an exception that nobody catches.
TEST(TulcCliDeathTest, FailedOperatorNewEndsTheRunWithAMessage) {
    auto fail = [] {
        tulc::InstallMemoryHandler();
        std::get_new_handler()();
    };
    EXPECT_EXIT(fail(), testing::KilledBySignal(SIGABRT), "\nOut of memory\n");
}
