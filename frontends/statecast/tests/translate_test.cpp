// The boxes of the translation as they stand in the written high-level net:
// without scoping (-S) the actions through which the boxes talk stay on
// the transitions, so labels, guards and texts can be read off the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pipeline.h"

namespace statecast_test {
namespace {

// The written line of the transition with this text (empty when none).
std::string transition_line(const std::string& hl, const std::string& text) {
    std::size_t at = hl.find("b\"" + text + "\"");
    if (at == std::string::npos) return {};
    std::size_t start = hl.rfind('\n', at) + 1;
    return hl.substr(start, hl.find('\n', at) - start);
}

const char* const states_spec =
    "system S;\n type t = range 0..2;\n"
    " signal a0(); signal a1(); signal a2(); signal a3(); signal a4(); signal a5(); signal a6();\n"
    " signal m(); signal n1(); signal n2();\n signal b(t, boolean);\n"
    " process P(1);\n  var x t; var y boolean;\n"
    "  state s1 #start; nextstate s2; endstate;\n"
    "  state s2; nextstate s3; endstate;\n"
    "  state s3; nextstate s5; endstate;\n"
    "  state s4 #unstable; input m(); nextstate s5; endstate;\n"
    "  state s5; input b(x, y); output a0(); if y then skip; endif nextstate s1; endstate;\n"
    "  state s6; provided x = 1; input b(x, y); nextstate s1; endstate;\n"
    "  state s7; while x < 2 do while y do task y := false; endwhile task x := x + 1; endwhile nextstate s1;"
    " endstate;\n"
    " endprocess;\nendsystem;\n";

TEST(StatecastBoxes, StateAndInputBoxes) {
    std::string err;
    std::string hl = translate(states_spec, "-S", &err);
    ASSERT_FALSE(hl.empty()) << err;
    struct Case {
        const char* text;
        std::vector<std::string> parts;  // each in the transition's line
        std::vector<std::string> absent;
    };
    const std::vector<Case> cases = {
        // state 3 to state 5: the state constants in the first box and in the nextstate box
        {"state s3", {"i\"q?(3,3,id@0),atom@get\""}, {}},
        {"nextstate s5", {"q?(3,5,id@0),atom@put"}, {}},
        // an unstable state takes no lock and gives none back
        {"state s4, input m", {"i\"q?(4,4,id@0),in?(sig@1,id@0)\"", "g\"sig@1=7\""}, {"atom@"}},
        // the decoding of b(t, boolean), first number 10
        {"state s5, input b",
         {"atom@get", "x('x@2,x@3',id@0)", "y('y@4,y@5',id@0)",
          "g\"sig@1>=10 & sig@1<=15 & x@3'=(sig@1-10)%3 & ((sig@1-10)/3=0 & y@5'=ff | (sig@1-10)/3=1 & y@5'=tt)\""},
         {}},
        // a variable the input writes is read by the provided clause as 'x,
        // its value before the input
        {"state s6, input b", {"x@3'=(sig@1-10)%3", "('x@2=1)"}, {}},
        // an output with neither via nor to has no action
        {"output a0", {"g\"tt\""}, {"i\""}},
        // an if without else still has its negated branch
        {"if/then", {"g\"y@1\""}, {}},
        {"if/else", {"g\"! (y@1)\""}, {}},
        // the loops' guards (a loop place out of arc order would have made
        // the net inconsistent, exit 5, and no file)
        {"while/do", {"g\"x@1<2\""}, {}},
        {"while/exit", {"g\"! (x@1<2)\""}, {}},
    };
    for (const auto& c : cases) {
        std::string line = transition_line(hl, c.text);
        ASSERT_FALSE(line.empty()) << c.text;
        for (const auto& part : c.parts) EXPECT_NE(line.find(part), std::string::npos) << c.text << ": " << line;
        for (const auto& part : c.absent) EXPECT_EQ(line.find(part), std::string::npos) << c.text << ": " << line;
    }
}

// The guard terms of expressions: xor, not and => as their shapes; the
// pid-to-index cast with its two fresh variables per use (the right
// operand first); an assignment reading its own variable as before.
TEST(StatecastBoxes, ExpressionTerms) {
    const std::string spec =
        "system S;\n type t = range 0..2;\n"
        " process P(1);\n  var a boolean; var b boolean; var k t; var q pid; var p pid;\n"
        "  state s #start;\n"
        "   provided a xor b; nextstate s;\n"
        "   provided not a; nextstate s;\n"
        "   provided a => b; nextstate s;\n"
        "   task k := ({integer} q) + ({integer} p); nextstate s;\n"
        "   task k := k + 1; nextstate s;\n"
        "   task q := {env} 3; nextstate s;\n"
        "  endstate;\n endprocess;\nendsystem;\n";
    std::string err;
    std::string hl = translate(spec, "-S", &err);
    ASSERT_FALSE(hl.empty()) << err;
    const std::vector<std::string> guards = {
        "b\"state s\"g\"(((a@2)#(b@1)))\"",
        "b\"state s\"g\"((! (a@1)))\"",
        "b\"state s\"g\"(((! a@2) | b@1))\"",
        "i\"k('k@1,k@2',id@0),q(q@8,q@8,id@0),p(p@5,p@5,id@0)\"b\"task k:=...\""
        "g\"e0@3{0..1,dot} & e1@4{0..1,dot} & e2@6{0..1,dot} & e3@7{0..1,dot}: "
        "e1@4=(p@5) & (e1@4=dot & e0@3=0 | e1@4=0 & e0@3=0 | e1@4>=1 & e1@4<=1 & e0@3=e1@4-1) & "
        "e3@7=(q@8) & (e3@7=dot & e2@6=0 | e3@7=0 & e2@6=0 | e3@7>=1 & e3@7<=1 & e2@6=e3@7-1) & "
        "k@2'=((e2@6)+(e0@3))\"",
        "b\"task k:=...\"g\"k@2'=('k@1+1)\"",
        "b\"task q:=...\"g\"q@2'=(0)\"",
    };
    for (const auto& g : guards) EXPECT_NE(hl.find(g), std::string::npos) << g;
}

TEST(StatecastBoxes, CreationLabelsAndForkArguments) {
    const std::string spec =
        "system S;\n type t = range 0..5;\n"
        " process P(2);\n  fpar p t, q boolean;\n  state s #start; stop; endstate;\n endprocess;\n"
        " process R(1);\n  var x pid;\n  var k t;\n  state s #start;\n   x := fork P(3, true);\n"
        "   fork P(k, k = 1);\n   stop;\n  endstate;\n endprocess;\nendsystem;\n";
    std::string err;
    std::string hl = translate(spec, "-S -DP2", &err);
    ASSERT_FALSE(hl.empty()) << err;
    // the initial instances start with the parameters' first values
    EXPECT_NE(hl.find("i\"P@create(1,0,ff)\""), std::string::npos);
    EXPECT_NE(hl.find("i\"P@create(2,0,ff)\""), std::string::npos);
    std::string fork1 = transition_line(hl, "fork P");
    EXPECT_NE(fork1.find("P@create(x@"), std::string::npos) << fork1;
    EXPECT_NE(fork1.find(",3,tt)"), std::string::npos) << fork1;
    // the second fork: a variable argument with its read access, an
    // expression as @pin1
    std::size_t second = hl.find("b\"fork P\"", hl.find("b\"fork P\"") + 1);
    ASSERT_NE(second, std::string::npos);
    std::string fork2 = hl.substr(hl.rfind('\n', second) + 1, hl.find('\n', second) - hl.rfind('\n', second) - 1);
    EXPECT_NE(fork2.find("P@create(prid@"), std::string::npos) << fork2;
    EXPECT_NE(fork2.find("k(k@"), std::string::npos) << fork2;
    EXPECT_NE(fork2.find("@pin1"), std::string::npos) << fork2;
    // the process box takes the parameters and initialises their stores
    EXPECT_NE(hl.find("^P@create(id@0,p@"), std::string::npos);
    EXPECT_NE(hl.find("p@init(id@0,p@"), std::string::npos);
}

TEST(StatecastBoxes, EnvironmentRoutesWithoutModelling) {
    const std::string spec =
        "system S;\n signal a();\n process P(1);\n  state s #start; input a(); nextstate s; endstate;\n"
        " endprocess;\n signalroute r(1) #unicast from env to P with a;\nendsystem;\n";
    std::string err;
    std::string modelled = translate(spec, "", &err);
    ASSERT_FALSE(modelled.empty()) << err;
    EXPECT_EQ(modelled.find("i\"^r!("), std::string::npos);  // scoped with the environment's writes
    std::string open = translate(spec, "-E", &err);
    ASSERT_FALSE(open.empty()) << err;
    // with -E the route's send action is not scoped: the route takes signals at any time
    EXPECT_NE(open.find("i\"^r!(sig@"), std::string::npos);
}

// The reference file's records, one per construct, with the fields of
// their kinds: system K, signal S, variable V (its value set, or PId),
// process P (pids and queue capacity), parameter I (over its name, one
// column further), states and inputs T, statements A (their source text),
// procedure U and signalroute R (signals, capacity, variant, pids).
TEST(StatecastBoxes, ReferenceRecordsByKind) {
    const std::string spec =
        "system S;\n"
        "  type t = range 0..2;\n"
        "  signal a(t);\n"
        "  var g boolean;\n"
        "  process P(2);\n"
        "    fpar p t;\n"
        "    var x pid;\n"
        "    state s #start;\n"
        "      input a(p);\n"
        "      output a(1) via {r}0;\n"
        "      nextstate s;\n"
        "    endstate;\n"
        "  endprocess;\n"
        "  procedure pr; endprocedure;\n"
        "  signalroute r(1) #delay[1,2] from P to env with a;\n"
        "endsystem;\n";
    testsupport::TempDir dir;
    testsupport::write_file(dir.file("spec.if"), spec);
    auto run = testsupport::run("cd " + testsupport::shell_quote(dir.path()) + " && VOSHOME=" +
                                testsupport::shell_quote(STATECAST_VOSHOME) + " " + VOS_BIN_DIR +
                                "/statecast -DC3 -DP2 spec.if");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    std::string refs = testsupport::read_file(dir.file("spec.if_hl_ref"));
    EXPECT_EQ(refs.substr(0, refs.find("PL\n")),
              "VOS\nReferences_IF_HL\nFORMAT_N\nDEF\n"
              "1 R\"(1,1;1,9)\"Kb\"S\"\n"
              "2 R\"(3,10;3,13)\"Sb\"a\"\n"
              "3 R\"(4,3;4,16)\"V\"{ff,tt}\"b\"g\"\n"
              "4 R\"(5,3;5,14)\"P\"{1..2}\"c\"1\"b\"P\"\n"
              "5 R\"(6,10;6,11)\"I\"{0..2}\"b\"p\"\n"
              "6 R\"(7,5;7,14)\"V\"PId\"b\"x\"\n"
              "7 R\"(8,5;8,19)\"Tb\"state s #start;\"\n"
              "8 R\"(9,7;9,17)\"Tb\"input a(p);\"\n"
              "9 R\"(10,7;10,27)\"Ab\"output a(1) via {r}0;\"\n"
              "10 R\"(11,7;11,18)\"Ab\"nextstate s;\"\n"
              "11 R\"(14,3;14,15)\"U\"{}\"b\"pr\"\n"
              "12 R\"(15,3;15,52)\"R\"{a}\"c\"3\"u\"0\"i\"{3}\"b\"r\"\n");
    // every element entry names records of the file, with qualifiers 0..2
    std::size_t at = refs.find("PL\n");
    ASSERT_NE(at, std::string::npos);
    ASSERT_NE(refs.find("TR\n", at), std::string::npos);
    std::size_t entries = 0;
    while ((at = refs.find(" T\"", at)) != std::string::npos) {
        std::size_t end = refs.find('"', at + 3);
        std::string list = refs.substr(at + 3, end - at - 3);
        for (std::size_t from = 0; from < list.size();) {
            std::size_t star = list.find('*', from);
            std::string entry = list.substr(from, star == std::string::npos ? std::string::npos : star - from);
            unsigned number = 0, qualifier = 9;
            EXPECT_EQ(std::sscanf(entry.c_str(), "%u:%u", &number, &qualifier), 2) << entry;
            EXPECT_TRUE(number >= 1 && number <= 12) << entry;
            EXPECT_LE(qualifier, 2u) << entry;
            ++entries;
            from = star == std::string::npos ? list.size() : star + 1;
        }
        at = end;
    }
    EXPECT_GT(entries, 20u);
}

}  // namespace
}  // namespace statecast_test
