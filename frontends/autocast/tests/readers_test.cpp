// The command line and the two file readers of autocast: option letters and
// file words, the project file's VAR text and file list, the automaton
// file's states, arcs, declarations and annotations, and their errors.
#include <gtest/gtest.h>

#include <vector>

#include "automaton_file.h"
#include "failure.h"
#include "options.h"
#include "project.h"

using namespace autocast;

namespace {

Settings parse(std::vector<std::string> words) {
    words.insert(words.begin(), "autocast");
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());
    return parse_command_line(static_cast<int>(argv.size()), argv.data());
}

// The message of the failure the words cause, "" when they are accepted.
std::string refusal(const std::vector<std::string>& words) {
    try {
        parse(words);
    } catch (const Failure& f) {
        EXPECT_EQ(f.status(), 1);
        return f.what();
    }
    return "";
}

TEST(AutocastOptions, LettersAndFileWords) {
    Settings s = parse({"-bpiS", "-s12", "p.prj", "-o", "n.hl_net", "-r", "n.pfa_hl_ref"});
    EXPECT_TRUE(s.blocks && s.phantoms && s.omit_init_term && s.no_scoping);
    EXPECT_EQ(s.scale, 12);
    EXPECT_EQ(s.project_file, "p.prj");
    EXPECT_EQ(s.net_file, "n.hl_net");
    EXPECT_EQ(s.ref_file, "n.pfa_hl_ref");
    EXPECT_FALSE(s.procedure_semantics);
    EXPECT_EQ(s.box_mode, BOX_NONE);

    // -s without digits is scale 0 and the word goes on; -P ends the word.
    s = parse({"-sb", "-Pproc q(val x:{1})b", "p.prj"});
    EXPECT_EQ(s.scale, 0);
    EXPECT_TRUE(s.blocks);
    EXPECT_EQ(*s.process_declaration, "proc q(val x:{1})b");
    // After a file option's word the next plain word is the project file again.
    s = parse({"a.prj", "-o", "out", "b.prj"});
    EXPECT_EQ(s.project_file, "b.prj");
    EXPECT_EQ(s.net_file, "out");
}

TEST(AutocastOptions, ProcedureSemantics) {
    Settings s = parse({"-g", "p"});
    EXPECT_TRUE(s.procedure_semantics);
    EXPECT_FALSE(s.has_id_range());
    s = parse({"-g1..4b", "p"});
    EXPECT_EQ(s.id_lo, 1);
    EXPECT_EQ(s.id_hi, 4);
    EXPECT_TRUE(s.blocks);
    s = parse({"-g7--32763", "p"});
    EXPECT_EQ(s.id_lo, 7);
    EXPECT_EQ(s.id_hi, 32763);
    for (auto [word, mode] : std::vector<std::pair<std::string, int>>{{"-u", BOX_SET}, {"-u1", BOX_SET}, {"-u2", BOX_STACK}}) {
        s = parse({word, "p"});
        EXPECT_TRUE(s.procedure_semantics) << word;
        EXPECT_EQ(s.box_mode, mode) << word;
    }
}

TEST(AutocastOptions, Refusals) {
    const std::string usage = usage_text("autocast");
    struct Case {
        std::vector<std::string> words;
        std::string message;
    } cases[] = {
        {{}, usage},
        {{"-b"}, usage},
        {{"a.prj", "b.prj"}, usage},
        {{"-x", "p"}, "unknown flag: 'x'\n"},
        {{"-u0", "p"}, "unknown flag: '0'\n"},
        {{"-u3", "p"}, "unknown flag: '3'\n"},
        {{"-bg1..2q", "p"}, "unknown flag: 'q'\n"},
        // Identifier ranges: 1 <= lo <= hi <= 32763, two separators, two numbers.
        {{"-g5", "p"}, usage},
        {{"-g5.", "p"}, usage},
        {{"-g5..", "p"}, usage},
        {{"-g5..x", "p"}, usage},
        {{"-g0..3", "p"}, usage},
        {{"-g4..3", "p"}, usage},
        {{"-g1..32764", "p"}, usage},
        {{"-g1..99999999999999999999", "p"}, usage},
    };
    for (const Case& c : cases) EXPECT_EQ(refusal(c.words), c.message) << ::testing::PrintToString(c.words);
}

TEST(AutocastOptions, UsageTextAndDefaultDeclaration) {
    const std::string u = usage_text("ac");
    EXPECT_EQ(u.find("\nac -- translate a set of finite automata into an M-Net\n\n"), 0u);
    EXPECT_NE(u.find("Usage: ac [options] <prjfile> -o <outfile> [-r <reffile>]\n\n     Options:\n"), std::string::npos);
    EXPECT_NE(u.find("      -u[0,1,2] use either no procedure box, a stack, or a set\n\n"), std::string::npos);
    EXPECT_EQ(u.substr(u.size() - 30), "\n\nVersion 0.9.5 (27.04.1998)\n\n");

    EXPECT_EQ(default_process_declaration("proj.prj"), "proc proj");
    EXPECT_EQ(default_process_declaration("dir/a.b.prj"), "proc a_b");
    EXPECT_EQ(default_process_declaration("d.x/proj"), "proc proj");
    EXPECT_EQ(default_process_declaration("plain"), "proc plain");
}

// ---------------------------------------------------------------------------
// Project files.

int project_error_line(const std::string& text) {
    try {
        parse_project(text);
    } catch (const FormatError& e) {
        return e.line;
    }
    return 0;
}

TEST(AutocastProjectFile, VarTextAndNames) {
    Project p = parse_project(
        "% made by hand\nVOS\nPROJECT_vosPFA\nVAR\n\n  var x : {0..3} init 0;\n% between\nvar y : {0..1};\n"
        "\n% before FA\n  FA  % the automata\n\na.pfa\n% a comment\nsub dir/b.pfa  \n");
    EXPECT_EQ(p.var_text, "var x : {0..3} init 0;\n% between\nvar y : {0..1};\n");
    EXPECT_EQ(p.automata, (std::vector<std::string>{"a.pfa", "sub dir/b.pfa  ", ""}));

    p = parse_project("VOS\nPROJECT_vosPFA\nVAR\nFA\na.pfa");
    EXPECT_EQ(p.var_text, "");
    EXPECT_EQ(p.automata, (std::vector<std::string>{"a.pfa"}));
    p = parse_project("VOS\nPROJECT_vosPFA\nVAR\nFA\n");
    EXPECT_EQ(p.automata, (std::vector<std::string>{""}));
}

TEST(AutocastProjectFile, Errors) {
    EXPECT_EQ(project_error_line("VOSX\nPROJECT_vosPFA\nVAR\nFA\n"), 1);
    EXPECT_EQ(project_error_line("VOS\nPROJECT_vosPFA x\nVAR\nFA\n"), 2);
    EXPECT_EQ(project_error_line("VOS\nPROJECT_vosPFA\n\nVARS\nFA\n"), 4);
    EXPECT_EQ(project_error_line("VOS\nPROJECT_vosPFA\nVAR\nvar x : {0..1};\n"), 5);
    EXPECT_EQ(project_error_line("VOS\nPROJECT_vosPFA\nVAR\nFA b.pfa\n"), 4);
    EXPECT_EQ(project_error_line(""), 1);
}

// ---------------------------------------------------------------------------
// Automaton files.

const char* const HEADER = "VOS\nFiniteAutomaton\nFORMAT_N2\n";

AutomatonText read_body(const std::string& text) { return AutomatonFileReader(text).read_body(); }

int automaton_error_line(const std::string& text) {
    try {
        AutomatonFileReader r(text);
        r.read_body();
        r.read_annotations();
    } catch (const FormatError& e) {
        return e.line;
    }
    return 0;
}

TEST(AutocastAutomatonFile, StatesArcsAndDeclarations) {
    const std::string text = std::string(HEADER) +
                             "DPL\n\"defaults\"\nDAR\n\"x\"\n"
                             "PL\n3 120@80 1 \"idle\"\n4\t10@20\t2\t\"busy\"\n3 0@0 3\"again\"\n"
                             "AR\n7 3>4 180@80 0@0 \"<x' = 'x + 1>\"\n8 4>3 1@2 3@4 \"<true>\"  % back\n"
                             "TX\n\"B(PN)2 fragments\"\n\"var x : {0..3};\"\n"
                             "\"note\" 10@10 \"text\"\n";
    AutomatonText a = read_body(text);
    EXPECT_FALSE(a.old_format);
    ASSERT_EQ(a.states.size(), 3u);
    EXPECT_EQ(a.states[0].number, 3);
    EXPECT_EQ(a.states[0].x, 120);
    EXPECT_EQ(a.states[0].y, 80);
    EXPECT_EQ(a.states[0].kind, '1');
    EXPECT_EQ(a.states[0].name, "idle");
    EXPECT_EQ(a.states[1].name, "busy");
    EXPECT_EQ(a.states[2].kind, '3');
    ASSERT_EQ(a.arcs.size(), 2u);
    EXPECT_EQ(a.arcs[0].number, 7);
    // State 3 is the first state of that number.
    EXPECT_EQ(a.arcs[0].from, 0u);
    EXPECT_EQ(a.arcs[0].to, 1u);
    EXPECT_EQ(a.arcs[0].label, "<x' = 'x + 1>");
    EXPECT_EQ(a.arcs[1].x, 1);
    EXPECT_EQ(a.arcs[1].to, 0u);
    EXPECT_EQ(a.declarations, "var x : {0..3};");
    EXPECT_EQ(automaton_error_line(text), 0);

    a = read_body("VOS\nFiniteAutomaton\nFORMAT_N\nPL\n1 0@0 1 \"a\"\nAR\n1>1 0@0 0@0 \"<true>\"\nTX\n\"Struct\"\n\"\"\n");
    EXPECT_TRUE(a.old_format);
    EXPECT_EQ(a.arcs[0].number, 1);
}

TEST(AutocastAutomatonFile, Errors) {
    const std::string pl = std::string(HEADER) + "PL\n1 0@0 1 \"a\"\n";
    const std::string tx = "TX\n\"B(PN)2\"\n\"\"\n";
    struct Case {
        std::string text;
        int line;
    } cases[] = {
        {"VOS\nFiniteAutomatonX\n", 2},
        {"VOS\nFiniteAutomaton\nFORMAT_N3\n", 3},
        {pl + "AR\n1 1>2 0@0 0@0 \"<true>\"\n" + tx, 7},       // no state 2
        {pl + "AR\n1 0>1 0@0 0@0 \"<true>\"\n" + tx, 7},       // no state 0 (no place 1)
        {std::string(HEADER) + "PL\n12x 0@0 1 \"a\"\nAR\n" + tx, 5},
        {std::string(HEADER) + "PL\n65536 0@0 1 \"a\"\nAR\n" + tx, 5},
        {std::string(HEADER) + "PL\n1 0@\n0 1 \"a\"\nAR\n" + tx, 5},  // a pair never crosses a line
        {std::string(HEADER) + "PL\n1 0@0 4 \"a\"\nAR\n" + tx, 5},
        {std::string(HEADER) + "PL\n1 0@0 1 \"a\nAR\n", 7},          // open quote, its newlines counted
        {std::string(HEADER) + "PL\n1 0@0 1 \"a\" b\nAR\n" + tx, 5},
        {std::string(HEADER) + "PL\n1 0@0 1 \"a\"\n", 6},
        {pl + "AR\n1 1>1 0@0 0@0\"<true>\"\n" + tx, 7},         // blank after a pair
        {pl + "AR\nTX\n\"Pascal\"\n\"\"\n", 8},
        {pl + "AR\n" + tx + "\"a\" 1@1\n", 10},
        {pl + "AR\n" + tx + "\"a\" 1@1 \"b\" c\n", 10},
    };
    for (const Case& c : cases) EXPECT_EQ(automaton_error_line(c.text), c.line) << c.text;
}

}  // namespace
