// Communicating automata: states become places, local moves transitions, and
// each matching call/accept pair one synchronised transition.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "format_test_util.h"
#include "formats/formats.h"
#include "net.h"
#include "petri_test.h"

namespace {

using fmt_test::NetPtr;
using fmt_test::put;
using fmt_test::weight;
using netlib::NET_NODE;

std::string id(unsigned j, unsigned k) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%05u%016u", j, k);
    return buf;
}

std::string header(const std::string& name, const std::string& start = "0") {
    return "FSA " + name + ":\n  STATES = 2\n  TRANSITIONS = 2\n  START = " + start + "\n  ACCEPT = 0\n";
}

NetPtr read(const testsupport::TempDir& dir, const std::string& text) {
    return NetPtr(netlib::read_FSA(put(dir, "a.fsa", text)));
}

TEST(Fsa, SingleAutomatonIsAStateMachine) {
    testsupport::TempDir dir;
    NetPtr net = read(dir, header("A") +
                               "STATE 0:\n"
                               "  TRANS internal(A;tick) ---> 1\n"
                               "  TRANS exception(A) - - - > 0\n"
                               "STATE 1:\n"
                               "  TRANS terminate(A)--->0\n");
    EXPECT_EQ(fmt_test::names(net->first_place), (std::vector<std::string>{id(1, 0), id(1, 1)}));
    EXPECT_EQ(fmt_test::names(net->first_transition), (std::vector<std::string>{id(1, 1), id(1, 2), id(1, 3)}));
    EXPECT_EQ(net->first_place->marking, 1);
    EXPECT_EQ(net->last_place->marking, 0);
    EXPECT_EQ(net->first_place->aux, 1u);
    EXPECT_EQ(net->last_place->number, 2u);
    EXPECT_EQ(net->last_transition->number, 3u);
    EXPECT_EQ(net->first_transition->kind, 1);
    EXPECT_EQ(weight(net.get(), id(1, 0), id(1, 1), true), 1);
    EXPECT_EQ(weight(net.get(), id(1, 1), id(1, 1), false), 1);
    EXPECT_EQ(weight(net.get(), id(1, 0), id(1, 2), true), 1);
    EXPECT_EQ(weight(net.get(), id(1, 0), id(1, 2), false), 1);
    EXPECT_EQ(weight(net.get(), id(1, 1), id(1, 3), true), 1);
    EXPECT_EQ(weight(net.get(), id(1, 0), id(1, 3), false), 1);
}

TEST(Fsa, CallMatchesEveryEqualAcceptOfItsPartner) {
    testsupport::TempDir dir;
    // A calls B twice in ways B accepts (the second matches two accepts);
    // B also calls A, looked at from A's accept; unmatched and self calls
    // leave nothing.
    NetPtr net = read(dir, header("A") +
                               "STATE 0:\n"
                               "  TRANS call(A;B.m;x;y) ---> 1\n"      // move 1: matches B move 1
                               "  TRANS call(A;B.n) ---> 0\n"          // move 2: matches B moves 2, 3
                               "  TRANS call(A;B.m;y;x) ---> 0\n"      // move 3: argument order differs
                               "  TRANS call(A;C.m) ---> 0\n"          // move 4: no automaton C
                               "  TRANS call(A;A.m) ---> 0\n"          // move 5: to itself
                               "  TRANS accept(A;A.m) ---> 0\n"        // move 6
                               "STATE 1:\n"
                               "  TRANS accept(B;A.r) ---> 0\n"        // move 7: matches B move 4
                               "  TRANS internal(A) ---> 0\n" +        // move 8
                               header("B") +
                               "STATE 0:\n"
                               "  TRANS accept(A;B.m;x;y) ---> 1\n"
                               "  TRANS accept(A;B.n) ---> 1\n"
                               "STATE 1:\n"
                               "  TRANS accept(A;B.n) ---> 0\n"
                               "  TRANS call(B;A.r) ---> 0\n");
    EXPECT_EQ(fmt_test::names(net->first_transition),
              (std::vector<std::string>{id(1, 8), id(3, 1), id(3, 2), id(3, 3), id(3, 4)}));
    // A.1 with B.1: from A0, B0 to A1, B1.
    EXPECT_EQ(weight(net.get(), id(1, 0), id(3, 1), true), 1);
    EXPECT_EQ(weight(net.get(), id(2, 0), id(3, 1), true), 1);
    EXPECT_EQ(weight(net.get(), id(1, 1), id(3, 1), false), 1);
    EXPECT_EQ(weight(net.get(), id(2, 1), id(3, 1), false), 1);
    // A.2 with B.2 and with B.3.
    EXPECT_EQ(weight(net.get(), id(2, 0), id(3, 2), true), 1);
    EXPECT_EQ(weight(net.get(), id(2, 1), id(3, 2), false), 1);
    EXPECT_EQ(weight(net.get(), id(2, 1), id(3, 3), true), 1);
    EXPECT_EQ(weight(net.get(), id(2, 0), id(3, 3), false), 1);
    // A.7 (accept of B's call) with B.4: from A1, B1 to A0, B0.
    EXPECT_EQ(weight(net.get(), id(1, 1), id(3, 4), true), 1);
    EXPECT_EQ(weight(net.get(), id(2, 1), id(3, 4), true), 1);
    EXPECT_EQ(weight(net.get(), id(1, 0), id(3, 4), false), 1);
    EXPECT_EQ(weight(net.get(), id(2, 0), id(3, 4), false), 1);
    EXPECT_EQ(net->places, 4u);
    EXPECT_EQ(net->transitions, 5u);
    EXPECT_EQ(net->last_transition->number, 5u);
    EXPECT_EQ(net->last_transition->kind, 0);
    // Nothing of the communication moves is left.
    for (NET_NODE* p = net->first_place; p; p = p->next)
        for (netlib::NET_ARC* a = p->postset; a; a = a->p_next) EXPECT_NE(a->transition->name, id(1, 1));
}

TEST(Fsa, StartFollowedByLineBreakIsStateZero) {
    testsupport::TempDir dir;
    NetPtr net = read(dir,
                      "FSA A:\nSTATES = 2 TRANSITIONS = 1 START =\nACCEPT = 0\n"
                      "STATE 1:\n  TRANS internal(A) ---> 2\nSTATE 2:\n");
    ASSERT_EQ(net->places, 2u);
    EXPECT_EQ(net->first_place->marking, 0);
    EXPECT_EQ(net->last_place->marking, 0);
    EXPECT_EQ(weight(net.get(), id(1, 2), id(1, 1), false), 1);
}

TEST(Fsa, TargetWithoutStateBlockGetsNoArc) {
    testsupport::TempDir dir;
    NetPtr net = read(dir, header("A") + "STATE 0:\n  TRANS internal(A) ---> 7\n");
    ASSERT_EQ(net->transitions, 1u);
    EXPECT_EQ(net->first_transition->postset, nullptr);
}

TEST(Fsa, ManyDistinctIdentifiers) {
    testsupport::TempDir dir;
    std::string text = header("A") + "STATE 0:\n";
    for (int i = 0; i < 2500; ++i) text += "  TRANS internal(A;id" + std::to_string(i) + ") ---> 0\n";
    NetPtr net = read(dir, text);
    EXPECT_EQ(net->transitions, 2500u);
}

struct FsaError {
    const char* text;
    const char* message;
};

class FsaErrors : public ::testing::TestWithParam<FsaError> {};

TEST_P(FsaErrors, EndWithSyntaxError) {
    testsupport::TempDir dir;
    std::string path = put(dir, "bad.fsa", GetParam().text);
    EXPECT_EXIT(netlib::read_FSA(path), ::testing::ExitedWithCode(10), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FsaErrors,
    ::testing::Values(
        FsaError{"FSM A:\n", "line 1: CM.read_FSA\\(\\): keyword 'FSA' expected\\."},
        FsaError{"FSA A:\nSTATES = 1\nSTART = 0\n", "line 3: CM.read_FSA\\(\\): keyword 'TRANSITIONS' expected\\."},
        FsaError{"FSA A:\nSTATES = x\n", "ReadFSANumber\\(\\): digit expected"},
        FsaError{"FSA A: STATES=1 TRANSITIONS=1 START=0 ACCEPT=0\nSTATE 0:\nTRANS internal(B) ---> 0\n",
                 "line 3: CM.read_FSA\\(\\): name of FSA expected"},
        FsaError{"FSA A: STATES=1 TRANSITIONS=1 START=0 ACCEPT=0\nSTATE 0:\nTRANS accept(B;C.m) ---> 0\n",
                 "CM.read_FSA\\(\\): name of FSA expected"},
        FsaError{"FSA A: STATES=1 TRANSITIONS=1 START=0 ACCEPT=0\nSTATE 0:\nTRANS jump(A) ---> 0\n",
                 "CM.read_FSA\\(\\): unexpected keyword 'jump' found"},
        FsaError{"FSA A: STATES=1 TRANSITIONS=1 START=0 ACCEPT=0\nTRANS internal(A) ---> 0\n",
                 "CM.read_FSA\\(\\): keyword 'FSA' expected"},
        FsaError{"FSA A: STATES=1 TRANSITIONS=1 START=0 ACCEPT=0\nSTATE 0:\nTRANS internal(A) --> 0\n",
                 "'-' expected, but '>' was found"},
        FsaError{"FSA A: STATES=1 TRANSITIONS=1 START=0 ACCEPT=0\nSTATE 0:\nTRANS internal(A) ---> 99999999999\n",
                 "ReadFSANumber\\(\\): number too large"},
        FsaError{"FSA A: STATES=1 TRANSITIONS=1 START=0 ACCEPT=0\nSTATE 0:\nTRANS call(A;B.m;",
                 "ReadFSAName\\(\\): identifier expected|'\\)' expected"},
        FsaError{"FSA (A):\n", "ReadFSAName\\(\\): identifier expected"}));

TEST(Fsa, MissingFile) {
    testsupport::TempDir dir;
    EXPECT_EXIT(netlib::read_FSA(dir.file("none.fsa")), ::testing::ExitedWithCode(4),
                "ERROR: CM.read_FSA\\(\\): could not open file '.*none.fsa' for reading\\.");
}

}  // namespace
