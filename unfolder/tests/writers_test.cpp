// The prefix writers on hand-made prefix records: layouts, wrapping, names.
// A written file takes its name at outfile::commit(), as at the end of a
// program's successful run; the tests commit before they read it back.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "outfile.h"
#include "petri_test.h"
#include "writers.h"

using namespace trelmik;

namespace {

// n events of transition "t" each consuming initial condition B1 ... so that
// the cut-off list can be shaped freely.
Prefix flat_prefix(std::uint32_t events) {
    Prefix pf;
    pf.cond_place = {0};
    pf.cond_pre = {0};
    pf.cond_kind = {0};
    pf.cond_has_row = {1};
    pf.cond_first_arc = {0};
    pf.cond_last_arc = {0};
    pf.co.resize(1);
    pf.initial_conditions = 1;
    pf.ev_pre_begin = {0};
    for (std::uint32_t e = 1; e <= events; ++e) {
        pf.ev_trans.push_back(0);
        pf.ev_pre_conds.push_back(1);
        pf.ev_pre_begin.push_back(e);
        pf.ev_post_first.push_back(0);
        pf.ev_post_count.push_back(0);
        pf.ev_depth.push_back(1);
        pf.ev_size.push_back(1);
        pf.is_cutoff.push_back(0);
        pf.arc_event.push_back(e);
        pf.arc_next.push_back(0);
        if (e > 1) pf.arc_next[e - 2] = e;
    }
    pf.cond_first_arc[0] = events ? 1 : 0;
    pf.cond_last_arc[0] = events;
    return pf;
}

InputNet one_place_net() {
    InputNet in;
    in.place_names = {"p"};
    in.place_kind = {0};
    in.place_comp = {0};
    in.marking = {1};
    in.trans_names = {"t"};
    in.pre = {{0}};
    in.post = {{}};
    in.derive_place_post();
    in.components = 1;
    return in;
}

}  // namespace

TEST(Writers, CompleteName) {
    EXPECT_EQ(complete_name("x", ".mci"), "x.mci");
    EXPECT_EQ(complete_name("x.mci", ".mci"), "x.mci");
    EXPECT_EQ(complete_name(".mci", ".mci"), ".mci");
    EXPECT_EQ(complete_name("mci", ".mci"), "mci.mci");
    EXPECT_EQ(complete_name("a.bin_coco", ".bin_coco"), "a.bin_coco");
    const std::string longname(300, 'n');
    EXPECT_EQ(complete_name(longname, ".unf"), longname + ".unf");  // never cut
}

TEST(Writers, MciListsCutoffsInDetectionOrder) {
    testsupport::TempDir dir;
    Prefix pf = flat_prefix(9);
    pf.cutoffs = {{9, 1}, {7, 0}};
    pf.is_cutoff[8] = pf.is_cutoff[6] = 1;
    write_mci(dir.file("x"), one_place_net(), pf, Configurations{});
    outfile::commit();
    const std::string data = testsupport::read_file(dir.file("x.mci"));
    auto word = [&](std::size_t i) {
        std::uint32_t v = 0;
        std::memcpy(&v, data.data() + 4 * i, 4);
        return v;
    };
    // counts, 9 labels, the one condition record (place 1, pre 0, events 1..9, 0)
    std::size_t i = 2 + 9 + 2 + 9 + 1;
    EXPECT_EQ(word(i), 9u);
    EXPECT_EQ(word(i + 1), 1u);
    EXPECT_EQ(word(i + 2), 7u);
    EXPECT_EQ(word(i + 3), 0u);
    EXPECT_EQ(word(i + 4), 0u);  // end of the cut-off pairs
    EXPECT_EQ(word(i + 5), 0u);  // no configurations
    EXPECT_EQ(word(i + 6), 1u);  // one place
    EXPECT_EQ(data.substr(4 * (i + 9)), std::string("p\0\0t\0\0", 6));
}

TEST(Writers, UnfWrapsLongCutoffLists) {
    testsupport::TempDir dir;
    Prefix pf = flat_prefix(30);
    for (std::uint32_t e = 30; e >= 2; --e) {
        pf.cutoffs.emplace_back(e, e == 2 ? 0 : 1);
        pf.is_cutoff[e - 1] = 1;
    }
    std::vector<std::uint8_t> marks(8, 0);
    marks[0] = 0x40;  // the first cut-off in detection order is marked
    write_unf(dir.file("w"), "net.ll_net", one_place_net(), pf, Configurations{}, true, marks);
    outfile::commit();
    const std::string text = testsupport::read_file(dir.file("w.unf"));
    const std::size_t at = text.find("29 cutoff events (corresponding event, prefixed by @ if in co relation):\n");
    ASSERT_NE(at, std::string::npos);
    const std::size_t list = text.find('\n', at) + 1;
    const std::string first_line = text.substr(list, text.find('\n', list) - list);
    EXPECT_EQ(first_line.substr(0, 12), "E30(@E1),E29");
    EXPECT_EQ(first_line.find("@", 5), std::string::npos);  // only the first carries the mark
    // Continuation lines start with two blanks; no line is longer than 80.
    std::size_t pos = list;
    int lines = 0;
    while (true) {
        const std::size_t end = text.find('\n', pos);
        const std::string line = text.substr(pos, end - pos);
        EXPECT_LE(line.size(), 80u) << line;
        if (lines > 0) {
            EXPECT_EQ(line.substr(0, 2), "  ");
        }
        ++lines;
        pos = end + 1;
        if (line.back() == '.') break;
    }
    EXPECT_GT(lines, 2);
    // A wrap may fall between a cut-off's name and its corresponding event.
    EXPECT_NE(text.find(",E12\n  (E1),E11(E1)"), std::string::npos) << text;
    EXPECT_NE(text.find(",E2\n  (start marking).\n"), std::string::npos) << text;
    EXPECT_NE(text.find("0 maximal configurations:\n\n\n*****"), std::string::npos);
}

TEST(Writers, UnfCountsAndInitialConditions) {
    testsupport::TempDir dir;
    Prefix pf = flat_prefix(1);
    write_unf(dir.file("one"), "net.ll_net", one_place_net(), pf, Configurations{}, false, {});
    outfile::commit();
    const std::string text = testsupport::read_file(dir.file("one.unf"));
    EXPECT_NE(text.find("1 condition.\n1 event.\n1 component.\n\n"), std::string::npos);
    EXPECT_NE(text.find("\n                  1. (e) < 0>  B1    p         --> 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n0 cutoff events (corresponding event):\n.\n\n"), std::string::npos);
}

TEST(Writers, BinaryRowsPadToBytes) {
    // Ten initial conditions, all concurrent: row k holds k-1 one bits.
    Prefix pf;
    for (std::uint32_t c = 1; c <= 10; ++c) {
        pf.cond_place.push_back(c - 1);
        pf.cond_pre.push_back(0);
        pf.cond_kind.push_back(0);
        pf.cond_has_row.push_back(1);
        pf.cond_first_arc.push_back(0);
        pf.cond_last_arc.push_back(0);
        pf.co.emplace_back();
    }
    for (std::uint32_t a = 1; a <= 10; ++a)
        for (std::uint32_t b = 1; b <= 10; ++b)
            if (a != b) pf.co[a - 1].append(b);
    testsupport::TempDir dir;
    std::FILE* none = std::tmpfile();
    write_bin_coco(dir.file("m"), pf, none, none);
    outfile::commit();
    const std::string data = testsupport::read_file(dir.file("m.bin_coco"));
    // rows 2..8 one byte each, row 9 one byte (8 bits), row 10 two bytes.
    ASSERT_EQ(data.size(), 7u + 1u + 2u);
    EXPECT_EQ(static_cast<unsigned char>(data[0]), 0x80);  // row 2
    EXPECT_EQ(static_cast<unsigned char>(data[7]), 0xff);  // row 9
    EXPECT_EQ(static_cast<unsigned char>(data[8]), 0xff);  // row 10, bits 1..8
    EXPECT_EQ(static_cast<unsigned char>(data[9]), 0x80);  // row 10, bit 9
    std::fclose(none);
}
