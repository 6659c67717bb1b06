// Signal transition graphs: edges become transitions, arcs between edges
// implicit places, the marking may name such a place by its two edges.
#include <gtest/gtest.h>

#include <string>

#include "format_test_util.h"
#include "formats/formats.h"
#include "net.h"
#include "petri_test.h"

namespace {

using fmt_test::NetPtr;
using fmt_test::put;
using fmt_test::weight;
using netlib::NET_NODE;

NET_NODE* place(netlib::NET* net, const std::string& name) {
    for (NET_NODE* p = net->first_place; p; p = p->next)
        if (p->name == name) return p;
    return nullptr;
}

TEST(Stg, ImplicitPlaceBetweenEdgesIsMarkedByItsPair) {
    testsupport::TempDir dir;
    std::string path = put(dir, "ring.g",
                           "# a ring of two signals\n"
                           ".model ring\n"
                           ".inputs a\n"
                           ".outputs b\n"
                           ".graph\n"
                           "a+ b-\n"
                           "\n"
                           "b- p1   # explicit place\n"
                           "p1 a+\n"
                           ".marking {<a+,b->}\n"
                           ".end\n");
    testing::internal::CaptureStdout();
    NetPtr net(netlib::read_STG(path));
    std::string trace = testing::internal::GetCapturedStdout();
    EXPECT_EQ(trace,
              ".dummy/.inputs/.outputs area\n"
              "transition 'a'\n"
              ".dummy/.inputs/.outputs area\n"
              "transition 'b'\n"
              ".graph area\n"
              "[T:a+]:[T:b-]:(zzzplace1)[tp][P][pt]\n"
              "[T:b-]:place: 'p1'\n[P][tp]\n"
              "place: 'p1'\n(P)(T)(pt)\n"
              "END-OF-GRAPH\n"
              "MARKING\n <a+,b->\n");
    EXPECT_EQ(fmt_test::names(net->first_transition), (std::vector<std::string>{"a+", "b-"}));
    EXPECT_EQ(fmt_test::names(net->first_place), (std::vector<std::string>{"p1", "zzzplace1"}));
    EXPECT_EQ(place(net.get(), "zzzplace1")->marking, 1);
    EXPECT_EQ(place(net.get(), "p1")->marking, 0);
    EXPECT_EQ(weight(net.get(), "zzzplace1", "a+", false), 1);
    EXPECT_EQ(weight(net.get(), "zzzplace1", "b-", true), 1);
    EXPECT_EQ(weight(net.get(), "p1", "b-", false), 1);
    EXPECT_EQ(weight(net.get(), "p1", "a+", true), 1);
    EXPECT_EQ(net->components, 1u);
}

TEST(Stg, RepeatedPairsInstancesAndEdgesWithoutSuffix) {
    testsupport::TempDir dir;
    std::string path = put(dir, "x.g",
                           ".inputs a b c\n"
                           ".graph\n"
                           "a+ b+ c\n"
                           "a+ b+\n"
                           "b+ a-/2\n"
                           "a-/2 p\n"
                           ".marking { p <a+,b+> }\n"
                           ".capacity p=1 <a+,b+>=1\n"
                           ".end\n");
    testing::internal::CaptureStdout();
    NetPtr net(netlib::read_STG(path));
    std::string trace = testing::internal::GetCapturedStdout();
    EXPECT_NE(trace.find("CP_read_STG_Node(): transition name without trailing +/-/~ found (c)\n"), std::string::npos);
    EXPECT_NE(trace.find("MARKING\nplace: 'p'\n p <a+,b+>\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("CAPACITY\nplace: 'p'\n p <a+,b+>\n"), std::string::npos) << trace;
    EXPECT_EQ(fmt_test::names(net->first_transition), (std::vector<std::string>{"a+", "b+", "c~", "a-/2"}));
    // Two lines with the same pair: two implicit places; the pair marks the first.
    EXPECT_EQ(weight(net.get(), "zzzplace1", "a+", false), 1);
    EXPECT_EQ(weight(net.get(), "zzzplace3", "a+", false), 1);
    EXPECT_EQ(weight(net.get(), "zzzplace3", "b+", true), 1);
    EXPECT_EQ(place(net.get(), "zzzplace1")->marking, 1);
    EXPECT_EQ(place(net.get(), "zzzplace3")->marking, 0);
    EXPECT_EQ(place(net.get(), "p")->marking, 1);
    EXPECT_EQ(weight(net.get(), "zzzplace2", "c~", true), 1);
    EXPECT_EQ(weight(net.get(), "zzzplace4", "a-/2", true), 1);
}

// The pair names the first place between its edges in the order of the first
// edge's outputs, also when the second edge has fewer inputs than the first
// has outputs and both places between them lie among those inputs.
TEST(Stg, PairMarksTheFirstPlaceAmongManyOutputs) {
    testsupport::TempDir dir;
    std::string path = put(dir, "pairs.g",
                           ".inputs a b\n"
                           ".graph\n"
                           "a+ q1 q2 q3\n"
                           "a+ b+\n"
                           "a+ b+\n"
                           ".marking { <a+,b+> <b+,a+> }\n"
                           ".end\n");
    testing::internal::CaptureStdout();
    NetPtr net(netlib::read_STG(path));
    std::string trace = testing::internal::GetCapturedStdout();
    EXPECT_NE(trace.find("MARKING\n <a+,b+>\n"), std::string::npos) << trace;
    EXPECT_EQ(place(net.get(), "zzzplace1")->marking, 1);
    EXPECT_EQ(place(net.get(), "zzzplace2")->marking, 0);
    for (const char* q : {"q1", "q2", "q3"}) EXPECT_EQ(place(net.get(), q)->marking, 0) << q;
}

struct StgError {
    const char* text;
    const char* message;
};

class StgErrors : public ::testing::TestWithParam<StgError> {};

TEST_P(StgErrors, EndWithSyntaxError) {
    testsupport::TempDir dir;
    std::string path = put(dir, "bad.g", GetParam().text);
    EXPECT_EXIT(netlib::read_STG(path), ::testing::ExitedWithCode(10), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StgErrors,
    ::testing::Values(
        StgError{".inputs a b a\n", "line 1: transition 'a' multiply used\\."},
        StgError{".inputs a\n.graph\na+\n", "line 3: CP_read_STG\\(\\): missing destination name\\."},
        StgError{".inputs a\n.graph\np q\n", "CP_read_STG\\(\\): transition name expected\\."},
        StgError{"model x\n", "read_STG\\(\\): command with prefix '\\.' expected, but 'model' found\\."},
        StgError{".inputs a\n.state\n", "line 2: read_STG\\(\\): unknown keyword '\\.state'\\."},
        StgError{".inputs a\n.marking <a+,a->\n", "read_STG\\(\\): '\\{' expected\\."},
        StgError{".inputs a\n.graph\na+ a-\n.marking {a+}\n", "line 4: CP_read_STG\\(\\): place name expected\\."},
        StgError{".inputs a\n.marking {p\n", "read_STG\\(\\): '\\}' expected\\."}));

TEST(Stg, LongNameAndMissingFile) {
    testsupport::TempDir dir;
    std::string path = put(dir, "long.g", ".inputs " + std::string(5000, 'x') + "\n");
    EXPECT_EXIT(netlib::read_STG(path), ::testing::ExitedWithCode(10),
                "read_STG_Name\\(\\): length of identifier too long");
    EXPECT_EXIT(netlib::read_STG(dir.file("none.g")), ::testing::ExitedWithCode(4),
                "ERROR: CM.read_STG\\(\\): could not open file '.*none.g' for reading\\.");
}

}  // namespace
