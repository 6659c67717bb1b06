// The boxes of the translation as they stand in the written high-level net:
// without scoping (-S) the actions through which the boxes talk stay on
// the transitions, so labels, guards and texts can be read off the file.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace statecast_test
