// The data file readers.
#include <gtest/gtest.h>

#include <cstdio>

#include "parsers.h"
#include "petri_test.h"
#include "prefix_fixture.h"

using namespace vorga;
using namespace vorga_test;

namespace {

class ParserTest : public testing::Test {
protected:
    void SetUp() override {
        Prefix p;
        p.places = {"P1", "P2", "P3", "P4", "P5", "EXIT_PLACE2", "p1", "PL3", "in", "out"};
        p.transitions = {"t"};
        p.add_condition(1, 0);   // a prefix has at least one condition
        ASSERT_TRUE(u_.parse(mci_bytes(p)));
    }
    // A stream over the text (closed by the caller's FILE guard).
    std::FILE* text(const std::string& s) {
        std::FILE* f = std::tmpfile();
        std::fputs(s.c_str(), f);
        std::rewind(f);
        files_.push_back(f);
        return f;
    }
    void TearDown() override {
        for (std::FILE* f : files_) std::fclose(f);
    }
    std::optional<PlaceList> coef_list(const std::string& s) { return coef_list_unf_parser(text(s), u_).parse(); }
    std::shared_ptr<lin_constr> constr(const std::string& s) { return lin_constr_unf_parser(text(s), u_).parse(); }
    // The constraint as "a*Pi ... <= b" / "= b" text over place numbers.
    static std::string show(const lin_constr& c) {
        std::vector<Term> all = c.func.pos.items;
        all.insert(all.end(), c.func.neg.items.begin(), c.func.neg.items.end());
        std::sort(all.begin(), all.end(), [](const Term& a, const Term& b) { return a.index < b.index; });
        std::string s;
        for (const Term& t : all) s += std::to_string(t.coef) + "*P" + std::to_string(t.index) + " ";
        return s + (c.is_inequality() ? "<= " : "= ") + std::to_string(c.bound);
    }
    unfolding u_;
    std::vector<std::FILE*> files_;
};

}  // namespace

TEST_F(ParserTest, CoefficientLists) {
    auto l = coef_list("P1, 3 P5, 4 P7x, EXIT_PLACE2");
    EXPECT_FALSE(l.has_value());  // unknown place
    l = coef_list("P1, 3 P5, 4P4, EXIT_PLACE2");
    ASSERT_TRUE(l.has_value());
    ASSERT_EQ(l->size(), 4u);
    EXPECT_EQ((*l)[0].index, 1u);
    EXPECT_EQ((*l)[0].coef, 1);
    EXPECT_EQ((*l)[1].coef, 4);  // P4
    EXPECT_EQ((*l)[2].coef, 3);  // P5
    EXPECT_EQ((*l)[3].index, 6u);
    // 3P5 and 3 P5 alike; 3*P5 is an error; repeats add up; 0 drops the entry.
    EXPECT_EQ(coef_list("3P5")->at(0).coef, 3);
    EXPECT_FALSE(coef_list("3*P5").has_value());
    EXPECT_EQ(coef_list("P2, P2")->at(0).coef, 2);
    EXPECT_TRUE(coef_list("0 P2")->empty());
    EXPECT_TRUE(coef_list("  \n ")->empty());
    EXPECT_EQ(coef_list("'p1', \"P3\"")->size(), 2u);
    EXPECT_FALSE(coef_list("P1,").has_value());
    EXPECT_FALSE(coef_list("P1 P2").has_value());
    EXPECT_FALSE(coef_list("99999999999 P1").has_value());  // literal out of range
    EXPECT_FALSE(coef_list("\"P1").has_value());
}

TEST_F(ParserTest, PlainListsCountRepeats) {
    auto l = list_unf_parser(text("P1, P3, P1"), u_).parse();
    ASSERT_TRUE(l.has_value());
    ASSERT_EQ(l->size(), 2u);
    EXPECT_EQ(l->at(0).coef, 2);
    EXPECT_FALSE(list_unf_parser(text("2 P1"), u_).parse().has_value());
}

TEST_F(ParserTest, LinearConstraints) {
    const std::pair<const char*, const char*> cases[] = {
        {"P1=1", "1*P1 = 1"},
        {"P3<3", "1*P3 <= 2"},
        {"P1 < 3", "1*P1 <= 2"},
        {"P8>0", nullptr},  // unknown place
        {"P5>0", "-1*P5 <= -1"},
        {"P1>=0", "-1*P1 <= 0"},
        {"2*P4+P5<=2", "2*P4 1*P5 <= 2"},
        {"2 * P4 + P5 <= 2", "2*P4 1*P5 <= 2"},
        {"2 P4<=2", nullptr},
        {"-3*P1-2*P2+5*P3>=1", "3*P1 2*P2 -5*P3 <= -1"},
        {"P1-P1+P2=1", "1*P2 = 1"},
        {"P1+2*P1-P2>=1", "-3*P1 1*P2 <= -1"},
        {"P1>=-1", nullptr},  // the bound is a plain decimal number
        {"P1<=", nullptr},
        {"P1 2", nullptr},
        {"P1<=3000000000", nullptr},
    };
    for (auto [in, want] : cases) {
        auto c = constr(in);
        if (!want) {
            EXPECT_EQ(c, nullptr) << in;
            continue;
        }
        ASSERT_NE(c, nullptr) << in;
        EXPECT_EQ(show(*c), want) << in;
    }
}

TEST_F(ParserTest, ConstraintSystemsAreSeparatedByWhiteSpace) {
    auto s = lin_constr_system_unf_parser(text("P1=1 P3<3\n\nP5>0\n"), u_).parse();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->members.size(), 3u);
    EXPECT_EQ(lin_constr_system_unf_parser(text(" \n"), u_).parse()->members.size(), 0u);
    EXPECT_EQ(lin_constr_system_unf_parser(text("P1=1 P3<"), u_).parse(), nullptr);
}

TEST_F(ParserTest, TerminalPlacesOfALowLevelNet) {
    auto parse = [&](const std::string& s, std::uint32_t& code) {
        terminal_places_parser p(text(s), u_);
        auto r = p.parse();
        code = p.code;
        return r;
    };
    std::uint32_t code;
    testing::internal::CaptureStderr();
    auto r = parse(
        "VOS\nPetriBox\nFORMAT_N\nDPL s7\nPL\n"
        "7\"p1\"0@0e\n"                  // entry place p1
        "\"P2\"b\"exit label\"M1\n"        // e and x only inside quotes: internal
        "30@40x\n"                       // third line, no name, no identifier: PL3
        "% a comment line with x, not a place\n"
        "\"out\" x % trailing comment e\n"
        "\"in\"e\n"
        "TR\n1\"t\"\nTP\nPT\n",
        code);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(code, 0u);
    TerminalList want = {{u_.lookup_place("PL3"), 1}, {u_.lookup_place("p1"), -1},
                         {u_.lookup_place("in"), -1}, {u_.lookup_place("out"), 1}};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(*r, want);

    // An identifier names an unnamed place after it.
    auto ided = parse("VOS\nPetriBox\nFORMAT_N\nPL\n3 x\nTR\n", code);
    ASSERT_TRUE(ided.has_value());
    EXPECT_EQ(*ided, (TerminalList{{u_.lookup_place("PL3"), 1}}));

    struct Bad {
        const char* text;
        const char* err;
        std::uint32_t code;
    };
    const Bad bad[] = {
        {"VOS\nPlainNet\nFORMAT_N\nPL\n\"P1\"e\nTR\n",
         "\n Error: incorrect syntax: the keyword `PetriBox' is expected\n", 1},
        {"SOV\nPetriBox\n", "\n Error: incorrect syntax: the keyword `VOS' is expected\n", 1},
        {"VOS\nPetriBox\nFORMAT_N\nTR\n", "\n Error: incorrect syntax\n", 2},
        {"VOS\nPetriBox\nFORMAT_N\nPL\n\"P1\"e\n", "\n Error: incorrect syntax\n", 2},
        {"VOS\nPetriBox\nFORMAT_N\nPL\n\"P1\"b\"lab e\nTR\n", "\n Error: bad place name (run-away string): \"lab e\n",
         2},
        {"VOS\nPetriBox\nFORMAT_N\nPL\n\"P1 e\nTR\n", "", 0},          // unclosed name: no message
        {"VOS\nPetriBox\nFORMAT_N\nPL\n\"nowhere\"e\nTR\n", "", 0},    // not a place of the prefix
    };
    for (const Bad& b : bad) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(parse(b.text, code).has_value()) << b.text;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), b.err) << b.text;
        EXPECT_EQ(code, b.code) << b.text;
    }
}
