// The APNN reader of the three dialects: every check and message, the
// renaming of places and the joining of arcs.
#include <gtest/gtest.h>

#include "apnn.h"
#include "fixture.h"
#include "output.h"

using namespace zbdd;
using namespace zbdd_test;

namespace {

struct ReadResult {
    std::string error;  // the fatal message, empty when the net was read
    std::string warnings;
    NetTables tables;
};

ReadResult read(Dialect dialect, const std::string& body, bool wrap = true) {
    QuietOutput quiet;
    ReadResult r;
    r.tables.dialect = dialect;
    testing::internal::CaptureStderr();
    try {
        buildNetTables(r.tables, wrap ? "\\beginnet{n}\n" + body + "\n\\endnet\n" : body, "net.apnn");
    } catch (const Fatal& e) {
        r.error = e.what();
    }
    r.warnings = testing::internal::GetCapturedStderr();
    return r;
}

const char* const kPT = "\\place{p}{\\name{p}} \\transition{t}{\\name{t}}";

}  // namespace

TEST(Reader, Messages) {
    const struct {
        Dialect dialect;
        std::string body;  // lines after "\beginnet{n}"
        const char* error;
    } cases[] = {
        {Dialect::Cyrtal, "\\place{p}{\\init{2}}", "APNN: Only 1-bounded nets are allowed!\n-> P: p, 2, 1 at line 2\n"},
        {Dialect::Cyrtal, "\\place{p}{\\capacity{2}}",
         "APNN: Only 1-bounded nets are allowed!\n-> P: p, 1, 2 at line 2\n"},
        {Dialect::Cyrtal, "\\place{p}{}\n\\place{p}{}", "APNN: Duplicated node id!\n-> P: p at line 3\n"},
        {Dialect::Cyrtal, "\\place{p}{}\n\\transition{p}{\\name{t}}", "APNN: Duplicated node id!\n-> T p at line 3\n"},
        {Dialect::Cyrtal, "\\transition{t}{}", "APNN: net.apnn: line 2, Error: parse error (near `}').\n"},
        {Dialect::Cyrtal, std::string(kPT) + "\\arc{a}{\\from{p}\\to{t}\\weight{2}}",
         "APNN: Only 1-bounded nets are allowed! -> at line 2\n "},
        {Dialect::Cyrtal, std::string(kPT) + "\\arc{a}{\\from{p}\\to{t}\\type{inhibitor}}",
         "APNN: Only ordinary arcs or readarcs are supported! -> at line 2\n"},
        {Dialect::Cyrtal, std::string(kPT) + "\\arc{a}{\\to{t}}",
         "APNN: Arc at line 2 needs a node_id, a from_id and a to_id!\n"},
        {Dialect::Cyrtal, std::string(kPT) + "\\arc{a}{\\from{q}\\to{t}}",
         "APNN: Nodes at line 2 have to be defined before referenced!\n"},
        {Dialect::Cyrtal, std::string(kPT) + "\\place{q}{}\\arc{a}{\\from{p}\\to{q}}",
         "APNN: Petri nets have to be bipartite! -> line 2\n"},
        {Dialect::Cyrtal, std::string(kPT) + "\\arc{a}{\\from{t}\\to{p}\\type{readarc}}",
         "Readarcs go from places to transitions!\n"},
        {Dialect::Cyrtal, "\\place{p}{$}", "APNN: Lexical error in line 2: illegal character: $ '(0x24)\n"},
        {Dialect::Cyrtal, "\\place{p}{\\init{4294967297}}",
         "APNN: Lexical error in line 2: number out of range: 4294967297\n"},
        // Repeated arcs between one place and one transition would need a
        // second token (the read arc of the last case merges).
        {Dialect::Cyrtal, std::string(kPT) + "\\arc{a}{\\from{p}\\to{t}}\\arc{b}{\\from{p}\\to{t}}",
         "APNN: Only 1-bounded nets are allowed! -> at line 2\n "},
        {Dialect::Cyrtal, std::string(kPT) + "\\arc{a}{\\from{t}\\to{p}}\n\\arc{b}{\\from{t}\\to{p}}",
         "APNN: Only 1-bounded nets are allowed! -> at line 3\n "},
        {Dialect::Cyrtal, std::string(kPT) + "\\arc{a}{\\from{p}\\to{t}\\type{readarc}}\\arc{b}{\\from{p}\\to{t}}",
         "APNN: Only 1-bounded nets are allowed! -> at line 2\n "},
        {Dialect::Cyrtal, std::string(kPT) + "\\arc{a}{\\from{p}\\to{t}\\type{readarc}}\\arc{b}{\\from{t}\\to{p}}",
         "APNN: Only 1-bounded nets are allowed! -> at line 2\n "},
        {Dialect::Cyrtal,
         std::string(kPT) + "\\arc{a}{\\from{t}\\to{p}}\\arc{b}{\\from{p}\\to{t}}\\arc{c}{\\from{p}\\to{t}}",
         "APNN: Only 1-bounded nets are allowed! -> at line 2\n "},
        {Dialect::Cyrtal, std::string(kPT) + "\\arc{a}{\\from{p}\\to{t}\\type{readarc}}"
                                             "\\arc{b}{\\from{p}\\to{t}\\type{readarc}}", ""},
        {Dialect::Movrane, "\\place{p}{\\acc{1}}", "APNN: Lexical error in line 2: illegal character: \\ '(0x5c)\n"},
        {Dialect::Movrane, std::string(kPT) + "\\arc{a}{\\from{p}\\to{t}\\type{foo}}",
         "APNN: Only \"ordinary\", \"readarc\" and \"inhibitor\" arcsare supported! -> at line 2\n"},
        {Dialect::Movrane, std::string(kPT) + "\\arc{a}{\\from{p}\\to{t}}\\arc{b}{\\from{p}\\to{t}\\type{inhibitor}}",
         "There are several arcs from place p to transiton t\n"},
        {Dialect::Movrane, std::string(kPT) + "\\arc{a}{\\from{t}\\to{p}}\\arc{b}{\\from{t}\\to{p}}",
         "There are several arcs from transition t to place p\n"},
        {Dialect::Movrane, std::string(kPT) + "\\arc{a}{\\from{p}\\to{t}\\type{readarc}}\\arc{b}{\\from{t}\\to{p}}",
         "Place: p, Tr: t - second arc is neither ordinary nor inhibitor!\n"},
        {Dialect::Movrane, std::string(kPT) + "\\arc{a}{\\from{t}\\to{p}}\\arc{b}{\\from{p}\\to{t}\\type{readarc}}",
         "Check the arcs between place p and transiton t\n"},
        {Dialect::Movrane, std::string(kPT) + "\\arc{a}{\\from{t}\\to{p}\\type{inhibitor}}",
         "Readarcs and Inhibitor arcs go from places to transitions!\n"},
        {Dialect::Movrane, "\\transition{t}{\\name{t} \\ba{1}}",
         "APNN: Lexical error in line 2: illegal character: \\ '(0x5c)\n"},
        {Dialect::Pelwick, std::string(kPT) + "\\arc{a}{\\from{p}\\to{t}\\type{inhibitor}}",
         "APNN: net.apnn: Parser error in line 2, Error: Only ordinary arcs or readarcs are supported! (near "
         "`inhibitor').\n"},
        {Dialect::Pelwick, "\\place{p}{#}", "APNN: net.apnn: Lexical error in line 2: illegal character: # '(0x23)\n"},
        {Dialect::Pelwick, "\\place{p}{\\partition{3}}", ""},
    };
    for (const auto& c : cases) {
        const ReadResult r = read(c.dialect, c.body);
        EXPECT_EQ(r.error, c.error) << c.body;
    }
    // Whole-file cases: the text after \endnet, comments and line counts.
    EXPECT_EQ(read(Dialect::Cyrtal, "\\beginnet{n}\\endnet x", false).error,
              "APNN: net.apnn: line 1, Error: parse error (near `x').\n");
    EXPECT_EQ(read(Dialect::Cyrtal, "\\beginnet{n}\n// a comment", false).error,
              "APNN: Lexical error in line 2: Unexpected end-of-file in comment\n");
    EXPECT_EQ(read(Dialect::Cyrtal, "// one\n\\beginnet{n}\n// two\n\\place{p}{\\init{3}} \\endnet", false).error,
              "APNN: Only 1-bounded nets are allowed!\n-> P: p, 3, 1 at line 4\n");
    EXPECT_EQ(read(Dialect::Cyrtal, "\\beginnet{n}", false).error,
              "APNN: net.apnn: line 1, Error: parse error (near `').\n");
}

TEST(Reader, PlacesAndNames) {
    const ReadResult r = read(Dialect::Cyrtal,
                              "\\place{p1}{}\n\\place{a}{\\name{x}}\n\\place{b}{\\name{x}\\init{0}}\n"
                              "\\place{c}{\\name{x}\\acc{2}}\n\\place{@SC_PN@}{\\name{@SC_PN@}}");
    ASSERT_EQ(r.error, "");
    const NetTables& n = r.tables;
    ASSERT_EQ(n.nrP(), 5);
    EXPECT_EQ(n.places[0].name, "p1");
    EXPECT_EQ(n.places[0].init, 1);  // no \init: marked
    EXPECT_EQ(n.places[1].name, "x");
    EXPECT_EQ(n.places[2].name, "x_0");
    EXPECT_EQ(n.places[3].name, "x_1");
    EXPECT_EQ(n.places[3].accepting, 2);
    EXPECT_EQ(n.markedPlaces, 4);
    EXPECT_EQ(r.warnings,
              "APNN: Place p1 at line 2 has changed his name to p1\n"
              "APNN: Place b at line 4 has changed his name to x_0\n"
              "APNN: Place c at line 5 has changed his name to x_1\n");
    EXPECT_EQ(n.findPlaceByName("x_1"), 3);
    EXPECT_EQ(n.findPlaceByName("y"), -1);

    // A renaming takes the first free suffix even when given names took
    // some of them, between renamings or before.
    const ReadResult mixed = read(Dialect::Cyrtal,
                                  "\\place{a}{\\name{x}}\\place{b}{\\name{x_1}}\\place{c}{\\name{x}}"
                                  "\\place{d}{\\name{x}}\\place{e}{\\name{x_3}}\\place{f}{\\name{x}}"
                                  "\\place{g}{\\name{x_0}}\\place{h}{\\name{x}}");
    ASSERT_EQ(mixed.error, "");
    std::vector<std::string> names;
    for (const Place& p : mixed.tables.places) names.push_back(p.name);
    EXPECT_EQ(names, (std::vector<std::string>{"x", "x_1", "x_0", "x_2", "x_3", "x_4", "x_0_0", "x_5"}));

    // Many places of one name are renamed without walking all earlier
    // suffixes again for each of them.
    std::string many;
    for (int i = 0; i < 20000; ++i) many += "\\place{q" + std::to_string(i) + "}{\\name{x}}";
    const ReadResult m = read(Dialect::Cyrtal, many);
    ASSERT_EQ(m.error, "");
    EXPECT_EQ(m.tables.places.back().name, "x_19998");
    EXPECT_EQ(m.tables.findPlaceByName("x_12345"), 12346);
}

TEST(Reader, ArcsJoinIntoReadArcs) {
    const ReadResult r = read(Dialect::Cyrtal,
                              "\\place{p}{\\name{p}}\\place{q}{\\name{q}}"
                              "\\transition{t}{\\name{t}\\ba{1}}\\transition{u}{\\name{u}}"
                              "\\arc{a}{\\from{t}\\to{p}}\\arc{b}{\\from{p}\\to{t}}"
                              "\\arc{c}{\\from{q}\\to{u}}\\arc{d}{\\from{u}\\to{q}}");
    ASSERT_EQ(r.error, "");
    const NetTables& n = r.tables;
    ASSERT_EQ(n.arcs.size(), 2u);
    for (const Arc& a : n.arcs) EXPECT_EQ(a.flag, kReadArc);
    EXPECT_EQ(n.transitions[0].pre, n.transitions[0].post);
    EXPECT_EQ(n.places[0].in, n.places[0].out);
    EXPECT_EQ(n.transitions[0].automaton, 1);
    EXPECT_EQ(n.transitions[1].automaton, 0);  // after a transition with \ba
    // movrane: an inhibitor arc with a token put back is one arc of flag 3.
    const ReadResult m = read(Dialect::Movrane, std::string(kPT) +
                                                    "\\arc{a}{\\from{p}\\to{t}\\type{inhibitor}}\\arc{b}{\\from{t}\\to{p}}");
    ASSERT_EQ(m.error, "");
    ASSERT_EQ(m.tables.arcs.size(), 1u);
    EXPECT_EQ(m.tables.arcs[0].flag, kInhibitorProduceArc);
}

TEST(Reader, CountsLine) {
    testing::internal::CaptureStdout();
    NetTables tables;
    buildNetTables(tables, "\\beginnet{n}\\place{p}{\\name{p}}\\place{q}{\\name{q}\\init{0}}"
                           "\\transition{t}{\\name{t}}\\endnet", "n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "(NrP 2 NrT 1 NrMP 1)\n\n");
}
