#include <gtest/gtest.h>

#include "petri_test.h"
#include "mnet_base.h"
#include "mnet_sections.h"

#include <cstdio>

using namespace mnet;

namespace {
struct Sections : ::testing::Test {
    testsupport::TempDir dir;
    std::string file(const std::string& text) {
        std::string p = dir.path() + "/n.net";
        testsupport::write_file(p, text);
        return p;
    }
};
}  // namespace

TEST_F(Sections, ReadsAPetriBoxWithHandlersAndCanonicalText) {
    std::string p = file(
        "VOS\nPetriBox\nFORMAT_N\nDPL s7n10@-9t2\nPL\n1 \"p1\"30@60eM1\n2 \"p2\"90@60\nTR\n1 \"t\"60@60\n"
        "TP\n1<2w1\nPT\n1>1\n");
    std::vector<std::string> places, arcs, defaults;
    std::int32_t id = 0, entry = 0;
    std::optional<std::string> name;
    std::string text;
    std::vector<SectionHandler> handlers(3);
    handlers[0].keyword = "PL";
    handlers[0].targets = {{'0', &id}, {'e', &entry}, {'"', &name}};
    handlers[0].text = &text;
    handlers[0].callback = [&] {
        places.push_back(std::to_string(id) + "/" + std::to_string(entry) + "/" + name.value_or("-") + "/" + text);
        return 0;
    };
    handlers[1].keyword = "TP";
    handlers[1].text = &text;
    handlers[1].callback = [&] {
        arcs.push_back(text);
        return 0;
    };
    handlers[2].keyword = "DPL";
    handlers[2].text = &text;
    handlers[2].callback = [&] {
        defaults.push_back(text);
        return 0;
    };
    ReadAnyNet(p, handlers);
    EXPECT_EQ(last_format_identifier, "PetriBox");
    EXPECT_EQ(places, (std::vector<std::string>{"1/1/p1/30@60 M1", "2/0/p2/90@60 "}));
    EXPECT_EQ(arcs, (std::vector<std::string>{"1@2 w1"}));
    EXPECT_EQ(defaults, (std::vector<std::string>{"s7n10@-9t2"}));
}

TEST_F(Sections, Errors) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"VOS\nPetriBox\nFORMAT_N\nPL\n1\nTR\n1 0@0\n", "section `TP' not found"},
        {"VOS\nPetriBox\nFORMAT_N\nPL\nTR\nPT\nTP\n", "keyword 'TP' expected"},
        {"VOS\nPetriBox\nFORMAT_N\nPL\nTR\nTP\nPT\nXY\n", "unknown keyword `XY'"},
        {"VOS\nFooNet\nFORMAT_N\n", "unexpected format identifier `FooNet'"},
        {"VOX\n", "keyword `VOS' expected"},
        {"VOS\nHLNet\nFORM\n", "keyword `FORMAT_N' or `FORMAT_N2' expected"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n1 q\n", "unknown token `q'"},
    };
    for (const auto& c : cases) {
        std::string p = file(c.text);
        std::vector<SectionHandler> none;
        EXPECT_EXIT(ReadAnyNet(p, none), ::testing::ExitedWithCode(10), c.message) << c.text;
    }
    std::vector<SectionHandler> stop(1);
    stop[0].keyword = "PL";
    stop[0].callback = [] { return 1; };
    std::string p = file("VOS\nHLNet\nFORMAT_N\nPL\n1 0@0\nTR\nTP\nPT\n");
    EXPECT_EXIT(ReadAnyNet(p, stop), ::testing::ExitedWithCode(10), "line 5: read aborted");
    EXPECT_EXIT(ReadAnyNet(dir.path() + "/none", stop), ::testing::ExitedWithCode(10), "could not open file for reading");
    std::vector<SectionHandler> bad(1);
    std::int32_t v;
    bad[0].keyword = "PL";
    bad[0].targets = {{'Q', &v}};
    EXPECT_EXIT(ReadAnyNet(p, bad), ::testing::ExitedWithCode(10), "don't know the type of field `Q'");
}

TEST_F(Sections, ReturningHookStopsTheReading) {
    static std::vector<std::string> messages;
    error_hook = [](const std::string& m) { messages.push_back(m); };
    std::vector<SectionHandler> none;
    ReadAnyNet(file("VOS\nHLNet\nFORMAT_N\nPL\n1 q\n"), none);
    error_hook = [](const std::string& m) { syntax_error(m); };
    EXPECT_EQ(messages, (std::vector<std::string>{"unknown token `q'"}));
}

TEST_F(Sections, SectionsOfAnOpenFile) {
    // The caller reads the header itself and hands the stream over.
    std::string p = file("VOS\nHLNet\nFORMAT_N\nPL\n1 \"a\"\n2 \"b\"\nTR\n1 \"t\"\nTP\n1<2\nPT\n1>1 p\"x\"\n");
    std::FILE* f = std::fopen(p.c_str(), "r");
    ASSERT_NE(f, nullptr);
    scan.file = p;
    scan.line = 1;
    for (int k = 0; k < 3; ++k) SkipLine(f);
    std::vector<std::string> seen;
    std::optional<std::string> name, label;
    std::string text;
    std::vector<SectionHandler> handlers(2);
    handlers[0].keyword = "PL";
    handlers[0].targets = {{'"', &name}};
    handlers[0].callback = [&] { return seen.push_back("P" + name.value_or("-")), 0; };
    handlers[1].keyword = "PT";
    handlers[1].targets = {{'p', &label}};
    handlers[1].text = &text;
    handlers[1].callback = [&] { return seen.push_back(text + label.value_or("-")), 0; };
    ReadSections(f, handlers);
    std::fclose(f);
    EXPECT_EQ(seen, (std::vector<std::string>{"Pa", "Pb", "1@1 x"}));
}

TEST_F(Sections, CanonicalTextKeepsStringsReadable) {
    // A string that holds a double quote keeps single quotes, bare or
    // after its letter, so that the text reads back as the same fields.
    std::string p = file("VOS\nHLNet\nFORMAT_N2\nBL\n1'say \"hi\"'b'a\"b'u\"(2)\"\n2 \"plain\"b\"it's\"\n"
                         "PL\nTR\nTP\nPT\n");
    std::vector<std::string> lines;
    std::string text;
    std::vector<SectionHandler> handlers(1);
    handlers[0].keyword = "BL";
    handlers[0].text = &text;
    handlers[0].callback = [&] { return lines.push_back(text), 0; };
    ReadAnyNet(p, handlers);
    EXPECT_EQ(lines, (std::vector<std::string>{"1 'say \"hi\"'b'a\"b'u\"(2)\"", "2 \"plain\"b\"it's\""}));
}
