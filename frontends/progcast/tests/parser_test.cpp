// The parser's messages, with the line, the error number and the token,
// and the result of the parse; the parse summary lines.
#include <gtest/gtest.h>

#include <cstdio>

#include "mnet_base.h"
#include "parser.h"

namespace {

struct Parse {
    int status;
    std::string err, out;
};

// Parses the program as progcast does (reports carry the source position).
Parse parse(const std::string& text, const std::string& options = "") {
    mnet::procedure_semantics = options.find("-g") != std::string::npos;
    progcast::ParseOptions o;
    o.allow_fragments = options.find("-a") != std::string::npos;
    o.no_old_warnings = options.find("-o") != std::string::npos;
    bpn2::Tree tree;
    std::FILE* messages = std::tmpfile();
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    mnet::parsing_flag = 1;
    Parse p;
    p.status = progcast::parse_program(text, messages, o, tree);
    mnet::parsing_flag = 0;
    mnet::scanner_token.clear();
    p.out = testing::internal::GetCapturedStdout();
    p.err = testing::internal::GetCapturedStderr();
    std::rewind(messages);
    for (int c; (c = std::fgetc(messages)) != EOF;) p.out += static_cast<char>(c);
    std::fclose(messages);
    tree.reset();
    bpn2::init_idents();
    mnet::procedure_semantics = false;
    return p;
}

TEST(ProgcastParser, Messages) {
    struct Case {
        const char* program;
        const char* options;
        int exit;
        std::vector<std::string> err;
    } cases[] = {
        {"begin var x : {0..1}; <y' = 1> end", "", 1,
         {"[line   1] error   1   (before or at '''): undeclared identifier y",
          "[line   1] warning (before or at 'end'): identifier x declared but not used"}},
        {"begin var x : {0..1}; var x : {0..1}; <x' = 1> end", "", 1, {"multiple declaration of identifier x"}},
        {"begin var x : {0..1}; begin var x : {0..1}; <x' = 1> end; <x' = 0> end", "", 0, {}},
        {"begin A var x : {0..1}; <x' = 1> end B", "", 1, {"error   1   (before or at 'B'): blocknames differ (BEGIN 'A', END 'B')"}},
        {"begin var x : {0..1}; <x' = 1> ; <x' = 0> end", "", 1, {"error   0   (before or at '>'): parse error"}},
        {"<x' = 1>", "", 1, {"error   2  : program is not correct block", "undeclared identifier x"}},
        {"var x : {0..1}; <x' = 1>", "", 1, {"error   1  : program is not correct block"}},
        {"var x : {0..1}; <x' = 1>", "-a", 0, {}},
        {"var x : {0..1}; begin <x' = 1> end", "", 1, {"program is not correct block"}},
        {"var x : {0..1};", "", 1, {"program is not correct block"}},
        {"var x : {0..1};", "-a", 0, {}},
        {"begin var Begin : {0..1}; BEGIN <Begin' = 1> END end", "", 0, {}},
        {"begin var x : {0..32763}; <x' = 32763> end", "", 0, {}},
        {"begin var x : {-10000..1}; <x' = 1> end", "", 0, {}},
        {"begin var x : {0..1} init 7; <x' = 1> end", "", 1, {"invalid initialization"}},
        {"begin var x : {0..1, true}; <x' = 1> end", "", 1, {"true/false and numbers were mixed in a single declaration"}},
        {"begin var c : chan -1 of {0..1}; <c! = 1> end", "", 1, {"Capacity must be positive !"}},
        {"begin var c : chan true of {0..1}; <c! = 1> end", "", 1, {"Capacity must be a number !"}},
        {"begin var c : chan 0 of {0..1}; <c?? = true> end", "", 1, {"illegal use of chan-0-identifier c"}},
        {"begin var x : {0..1}; <x?> end", "", 1, {"incorrect use of identifier x"}},
        {"begin const k = 1; const k = 2; var x : {0..1}; <x' = k> end", "", 0, {"warning (before or at 'k'): attempt at redeclaring an constant identifier"}},
        {"begin var k : {0..1}; const k = 2; <k' = 1> end", "", 1, {"identifier k already used"}},
        {"begin var x : [0, 1]; [x' = 1] end", "", 0,
         {"warning (before or at '['): old syntax in set declaration", "old syntax in atomic action"}},
        {"begin var x : [0, 1]; [x' = 1] end", "-o", 0, {}},
        {"begin var x : {0..1}; proc P(y : {0..1}) begin <y' = 1> end; P(x) end", "", 0, {"old syntax (missing keyword VAL)"}},
        {"begin var x : {0..1}; proc P(val y : {0..1}) begin <y = 1> end; P(x, x) end", "", 1, {"too many arguments"}},
        {"begin var x : {0..1}; proc P(val y : {0..1}, val z : {0..1}) begin <y = z> end; P(x) end", "", 1, {"too few arguments"}},
        {"begin var x : {0..1}; proc P(ref y : {0..1}) begin <y' = 1> end; P(x + 1) end", "", 1, {"pass by reference expected for parameter y"}},
        {"begin var x : {0..1}; proc P(res y : {0..1}) begin <y' = 1> end; P(1) end", "", 1, {"pass by result expected for parameter y"}},
        {"begin var x : {0..3}; proc P(val y : {0..1}) begin <y = 1> end; P(x) end", "", 0, {"argument x must have subset as range"}},
        {"begin var c : chan 1 of {0..1}; proc P(ref d : chan 2 of {0..1}) begin <d! = 1> end; P(c) end", "", 1, {"argument c has incompatible capacity"}},
        {"begin var c : chan 1 of {0..1}; proc P(val y : {0..1}) begin <y = 1> end; P(c) end", "", 1, {"argument c has incompatible type"}},
        {"begin proc Q begin <true> end; proc P(val y : {0..1}) begin <y = 1> end; P(Q) end", "", 1, {"incorrect use of procedure Q as argument"}},
        {"begin A proc P(val y : {0..1}) begin <y = 1> end; P(A) end A", "", 1, {"incorrect use of identifier A"}},
        {"begin var x : {0..1}; Q; <x' = 1> end", "", 1, {"undeclared identifier Q"}},
        {"begin proc P _max_ -1 begin <true> end; P end", "", 1, {"Maximum of PROC-instances must be positive !"}},
        {"begin proc P _max_ false begin <true> end; P end", "", 1, {"Maximum of PROC-instances must be a number !"}},
        {"begin var x : {0..1};\n procgrp\n proc P begin <x' = 1>; Q end;\n proc Q begin <x' = 0>; P end;\n endgrp;\n P end", "", 0, {}},
        {"begin procgrp proc P begin R end; endgrp; P end", "", 1, {"undefined procedure R"}},
        {"begin procgrp proc P begin Q(1) end; proc Q begin <true> end; endgrp; P end", "", 1, {"incorrect use of identifier Q"}},
        {"begin var x : {0..1}; <x' = 1 $> end", "", 0, {}},
        {"begin var x : {0..1}; <x' = 1> end end", "", 1, {"parse error"}},
        {"begin var x : {0..1}; <x' = 1>", "", 2, {"parse error"}},
        {"begin var x : {0..1}; <x' = 1 < 2 = 3> end", "", 1, {"parse error"}},

    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        Parse p = parse(std::string(c.program) + "\n", c.options);
        EXPECT_EQ(p.status, c.exit) << p.err;
        for (const std::string& m : c.err) EXPECT_NE(p.err.find(m), std::string::npos) << p.err;
        if (c.err.empty()) {
            EXPECT_EQ(p.err, "");
        }
    }
}

TEST(ProgcastParser, SummaryLines) {
    Parse p = parse("begin var x : [0, 1]; [x' = 1] end\n");
    EXPECT_EQ(p.out, "Parse complete.\nProgram without procedures.\nUsing old syntax 2 time(s).\n");
    p = parse("begin var x : [0, 1]; [x' = 1] end\n", "-o");
    EXPECT_EQ(p.out, "Parse complete.\nProgram without procedures.\n");
    p = parse("begin var x : {0..1}; <x' = 1 $> end\n", "-g");
    EXPECT_EQ(p.out, "$Parse complete.\nProgram with procedure(s).\n");
    p = parse("begin proc P begin <true> end; P end\n");
    EXPECT_EQ(p.out, "Parse complete.\nProgram with procedure(s).\n");
    p = parse("begin var x : {0..1}; <x' = 1>\n");
    EXPECT_EQ(p.out, "Parse aborted.\nProgram without procedures.\n");
    EXPECT_EQ(p.status, 2);
}

TEST(ProgcastParser, ClosingTheAtomicAction) {
    // ">;" closes an atomic action, and so does a '>' before end, od,
    // enter, parallel, "||" or the end of the input; any other '>' is a
    // comparison.
    for (const char* ok : {"begin var x : {0..1}; <x' = 1>; <x > 0> end", "begin var x : {0..1}; <x' = 1> || <x' = 0> end",
                           "begin var x : {0..1}; <x' = 1> PARALLEL <x' = 0> end",
                           "begin var x : {0..1}; do <x' = 1> enter <x = 1>; exit od end",
                           "begin var x : {0..1}; <x' = 1> // a comment\nend", "<true>"}) {
        SCOPED_TRACE(ok);
        EXPECT_EQ(parse(std::string(ok) + "\n", "-a").status, 0);
    }
    for (const char* bad : {"begin var x : {0..1}; <x' = 1> ; <x' = 0> end", "begin var x : {0..1}; <x' = 1> od"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(parse(std::string(bad) + "\n").status, 1);
    }
}

TEST(ProgcastParser, Precedence) {
    // Mixing the operators with their bindings: only the grouping the
    // grammar gives parses; wrong groupings are type errors of the
    // comparisons, which the grammar cannot see, so the trees are compared
    // through their parse results alone.
    for (const char* ok : {"<x' = 1 or 'x = 0 and x' = 1>", "<not 'x = 1 and x' = 1>", "<x' = -'x * 2 + 1 - 1>",
                           "<x' = 'x % 2 / 1>", "<'x >= 0 & x' <= 1 | false>"}) {
        SCOPED_TRACE(ok);
        EXPECT_EQ(parse(std::string("begin var x : {0..3};\n") + ok + "\nend\n").status, 0);
    }
    for (const char* bad : {"<x' = 1 = 2>", "<'x < 1 = true>", "<'x >= 1 <= 2>"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(parse(std::string("begin var x : {0..3};\n") + bad + "\nend\n").status, 1);
    }
}

}  // namespace
