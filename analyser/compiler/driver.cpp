#include "driver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "alloc.h"
#include "diag.h"
#include "exprtree.h"
#include "formula.h"
#include "gen.h"
#include "invoc.h"
#include "net.h"
#include "outfile.h"
#include "postproc.h"
#include "ppio.h"
#include "preproc.h"
#include "tables.h"

namespace tulc {

namespace {

const char kUsage[] =
    "[-A] [-a] [-C] [-Dname[=defstr]]... [-Iname]...\n[-L] [-N] [-R] [-t]name [-Uname]... [-uinteger]";

[[noreturn]] void Usage() { MsgExit(kUsage, 1); }

struct CommandLine {
    std::string netName;
    bool hasName = false;
    std::vector<std::pair<std::string, char>> definitions;  // text, 'D' or 'U'
    std::vector<std::string> includeDirs;                    // searched first to last
    bool keepComments = false, blankComments = false;
    bool lineDirectives = false, singleArity = false, letMode = false, neverClaim = false;
    bool hasWidth = false;
    std::uint32_t width = 0xFFFFFFFFu;
};

CommandLine ScanOptions(int argc, char** argv) {
    CommandLine cl;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] != '-') {
            if (cl.hasName) Usage();
            cl.netName = arg;
            cl.hasName = true;
            continue;
        }
        const char* letters = arg + 1;
        if (*letters == '\0') {
            if (++i >= argc) Usage();
            letters = argv[i];
        }
        for (const char* p = letters; *p; ++p) {
            switch (*p) {
            case 'A': cl.blankComments = true; continue;
            case 'a': cl.singleArity = true; continue;
            case 'C': cl.keepComments = true; continue;
            case 'L': cl.lineDirectives = true; continue;
            case 'N': cl.neverClaim = true; continue;
            case 'R': cl.letMode = true; continue;
            case 'D':
            case 'I':
            case 't':
            case 'U':
            case 'u': break;
            default: Usage();
            }
            const char letter = *p;
            if (letter == 't' && cl.hasName) Usage();
            if (letter == 'u' && cl.hasWidth) Usage();
            std::string value;
            if (p[1] != '\0') {
                value = p + 1;
            } else {
                if (++i >= argc) Usage();
                value = argv[i];
            }
            switch (letter) {
            case 'D':
            case 'U': cl.definitions.push_back({value, letter}); break;
            case 'I': cl.includeDirs.insert(cl.includeDirs.begin(), value); break;
            case 't':
                cl.netName = value;
                cl.hasName = true;
                break;
            default: {
                long width = 0;
                if (ReadLong(value.c_str(), &width) != 1) Usage();
                cl.width = static_cast<std::uint32_t>(static_cast<unsigned long>(width));
                cl.hasWidth = true;
                break;
            }
            }
            break;  // the value ends the argument
        }
    }
    return cl;
}

bool NameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$'; }
bool NameChar(char c) { return NameStart(c) || (c >= '0' && c <= '9'); }

std::FILE* CreateText(const std::string& name) {
    errno = 0;
    std::FILE* f = outfile::open(name, "w");
    if (!f) ReportFatal("$Cannot open empty file " + name + " for writing");
    return f;
}

// An output that cannot be written completely ends the run.
void CloseText(std::FILE* f, const std::string& name) {
    const bool failed = std::ferror(f) != 0;
    if ((std::fclose(f) != 0) | failed) ReportFatal("$Cannot write file " + name);
}

// <name>.pre: one line per command-line definition.
void WriteDefinitions(const CommandLine& cl, const std::string& file) {
    std::FILE* pre = CreateText(file);
    for (const auto& [text, kind] : cl.definitions) {
        if (kind == 'U') {
            std::fprintf(pre, "#undef %s\n", text.c_str());
            continue;
        }
        if (text.empty() || text[0] == '=') {
            ReportError("Command line definition without name:");
            ReportError("-D" + text);
            continue;
        }
        std::size_t n = 0;
        bool ok = NameStart(text[0]);
        while (ok && n < text.size() && text[n] != '=') ok = NameChar(text[n++]);
        if (!ok) {
            ReportError("Erroneous command line definition:");
            ReportError("-D" + text);
            continue;
        }
        if (n == text.size())
            std::fprintf(pre, "#define %s %s\n", text.c_str(), "1");
        else if (n + 1 == text.size())
            std::fprintf(pre, "#define %s\n", text.substr(0, n).c_str());
        else
            std::fprintf(pre, "#define %s %s\n", text.substr(0, n).c_str(), text.substr(n + 1).c_str());
    }
    CloseText(pre, file);
}

void RunFile(const std::string& file, bool lineMark) {
    ppio_push_file(file, 0);
    if (lineMark) PassLineMark();
    StatementLoop();
    ppio_pop_file();
}

std::string DoubledBackslashes(const std::string& s) {
    std::string out;
    for (char c : s) {
        out += c;
        if (c == '\\') out += c;
    }
    return out;
}

void OutOfMemory() {
    std::fputs("\n", _out);
    std::fflush(_out);
    std::fputs("\nOut of memory\n", _err);
    std::fflush(_err);
    Abort();
}

}  // namespace

void InstallMemoryHandler() { std::set_new_handler(OutOfMemory); }

void TulcMain(int argc, char** argv) {
    IoInit();
    InstallMemoryHandler();
    ClearErrno();
    exitStatus = 0;
    DiagInit();
    ForSimplifyRules() = true;
    ForFoldAtoms() = false;
    OpTablesInit();
    baseName = "tulc";
    myName = Invoc(argv[0]);
    int nargc = argc;
    char** nargv = argv;
    ExpArgs(argc, argv, &nargc, &nargv);
    ppio_init();
    NetTablesInit();
    CommandLine cl = ScanOptions(nargc, nargv);
    if (!cl.hasName) Usage();
    if (cl.hasWidth && cl.letMode) {
        std::fprintf(_err, "\n%s: options -R and -u are mutually exclusive\n", myName);
        std::fflush(_err);
        ExitProgram(1);
    }
    std::string name = cl.netName;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".net") == 0) name.resize(name.size() - 4);

    Settings& s = Net().settings;
    s.netName = name;
    s.singleArity = cl.singleArity;
    s.letMode = cl.letMode;
    s.lineDirectives = cl.lineDirectives;
    s.rangeWidthLimit = cl.width;
    s.invocationName = myName;
    ppio_set_include_dirs(cl.includeDirs);
    ppio_set_comment_mode(cl.keepComments ? CommentMode::kKeep : cl.blankComments ? CommentMode::kBlank : CommentMode::kDrop);

    const std::string netFile = name + ".net";
    const std::string preFile = name + ".pre";
    const std::string defFile = name + ".def";
    const std::string enumFile = name + ".src/_enum.h";
    const std::string headerFile = name + ".src/_.h";
    const std::string tableFile = name + ".dat";
    if (cl.neverClaim) s.neverClaimFile = name + ".nev";
    // The net description must be there before any output is made, and no
    // output may replace it (a link among the outputs could name it).
    std::fclose(ppio_open_input(netFile, 0));
    for (const std::string& out : {preFile, defFile, enumFile, headerFile, tableFile, s.neverClaimFile.value_or("")})
        if (outfile::same_file(out, netFile))
            ReportFatal("Output file " + out + " would replace the input " + netFile);

    if (!cl.definitions.empty()) WriteDefinitions(cl, preFile);
    std::FILE* def = CreateText(defFile);
    std::FILE* enumHeader = CreateText(enumFile);
    std::FILE* header = CreateText(headerFile);
    PreprocInit(def, enumHeader, header, cl.lineDirectives);
    ppio_set_output_files({defFile, enumFile, headerFile});

    if (!cl.definitions.empty()) RunFile(preFile, false);
    RunFile(netFile, true);
    CloseText(def, defFile);
    CloseText(enumHeader, enumFile);
    if (cl.lineDirectives) {
        std::fprintf(header, "\n#line %lu \"%s\"\n", static_cast<unsigned long>(HeaderLineCount() + 3),
                     DoubledBackslashes(headerFile).c_str());
        AddHeaderLines(2);
    }

    const NETDESC desc = PostProcess();
    GenerateCode(header, headerFile, name + ".src/", desc);

    if (!WriteTables(tableFile)) ExitProgram(1);
    // Every output is complete: they replace the files of an earlier run
    // together.  A run that ended before this point left those untouched.
    std::string failed;
    errno = 0;
    if (!outfile::commit(&failed)) ReportFatal("$Cannot write file " + failed);
    ExitProgram(ErrorsReported() ? 1 : 0);
}

}  // namespace tulc
