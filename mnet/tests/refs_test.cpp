#include <gtest/gtest.h>

#include <memory>

#include "mnet_hlnet.h"
#include "petri_test.h"

using namespace mnet;

namespace {
struct Refs : ::testing::Test {
    void SetUp() override {
        MNetOptions[0] = MNetOptions[1] = MNetOptions[2] = 0;
        frontend_kind = FE_BPN2;
        init_action_buffers();
        init_symtabs();
        init_blocks();
        source_file_name = dir.path() + "/prog.bpn";
        testsupport::write_file(source_file_name, "line one\nline two\nabcdefghij\nfourth line\nfifth\nsixth\n");
        reset_source_text();
    }
    void TearDown() override {
        init_symtabs();
        MNetOptions[1] = 0;
        free_blocks();
        reset_source_text();
        source_file_name.clear();
    }
    RefRecord* ref(std::uint32_t l1, std::uint32_t c1, std::uint32_t l2, std::uint32_t c2, std::uint8_t kind = 9) {
        auto* r = new RefRecord();
        r->line1 = l1, r->col1 = c1, r->line2 = l2, r->col2 = c2, r->kind = kind;
        return r;
    }
    std::string to_text(void (*w)(MNet*, std::FILE*), MNet* net) {
        std::FILE* f = std::tmpfile();
        w(net, f);
        std::string s(static_cast<std::size_t>(std::ftell(f)), '\0');
        std::rewind(f);
        s.resize(std::fread(&s[0], 1, s.size(), f));
        std::fclose(f);
        return s;
    }
    testsupport::TempDir dir;
};
}  // namespace

TEST_F(Refs, SourceTextOfReferences) {
    std::uint16_t a = ref_code(ref(3, 5, 3, 9));
    std::uint16_t b = ref_code(ref(4, 1, 6, 3));
    EXPECT_EQ(source_ref_text(a, 0), "efgh");
    EXPECT_EQ(source_ref_text(a, 32), "efgh@init");
    EXPECT_EQ(source_ref_text(a, 1), "'efgh");
    EXPECT_EQ(source_ref_text(a, 8192), "efgh@call");
    EXPECT_EQ(source_ref_text(b, 0), "fourth line\nfifth\nsi");
    EXPECT_EQ(source_ref_text(0, 0), "");
    std::uint16_t bad = ref_code(ref(5, 9, 5, 2));
    std::uint16_t far = ref_code(ref(2, 1, 60, 1));
    std::uint16_t wide = ref_code(ref(1, 40, 1, 50));
    testing::internal::CaptureStderr();
    EXPECT_EQ(source_ref_text(bad, 0), "");
    EXPECT_EQ(source_ref_text(far, 0), "");
    EXPECT_EQ(source_ref_text(wide, 0), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "info   : Nonsensical reference: 5,9;5,2\n"
              "info   : Reference out of source code: 2,1;60,1\n"
              "info   : Nonsensical reference: 1,40;1,50\n");
}

TEST_F(Refs, ReferenceLabelsAndTheReferenceFile) {
    std::unique_ptr<RefRecord> owned(ref(3, 5, 3, 9, 2));  // class 2 records belong to their owner
    std::uint16_t a = ref_code(owned.get());
    ref_get(a)->range = {1, 2, 3};
    std::uint16_t b = ref_code(ref(1, 1, 1, 5, 9));
    std::uint16_t blk;
    new_named_block("main", 0, &blk, b, 17);
    MNet* net = M_new_net();
    MPlace* pc = nullptr;
    MPlace* p = M_fast_insert_place(net, 1, &pc);
    add_reference(p->refs, a, 0);
    MTransition* tc = nullptr;
    MTransition* t = M_fast_insert_transition(&net->trans_count, &net->first_trans, &net->last_trans, 1, &tc, 0);
    add_reference(t->refs, a, 0);
    add_reference(t->refs, b, 32);
    std::string w = to_text(write_HLNet, net);
    EXPECT_NE(w.find("1 0@0 Z\"\"\n"), std::string::npos) << w;  // decoration 0: no place label
    EXPECT_NE(w.find("1 0@0b\"efgh\"g\"tt\"\n"), std::string::npos) << w;
    std::string r = to_text(write_BPN2_refs, net);
    EXPECT_EQ(r,
              "VOS\nReferences_BPN2_HL\nFORMAT_N\nDEF\n"
              "1 R\"(3,5;3,9)\"V\"{1..3}\"b\"efgh\"\n"
              "2 R\"(1,1;1,5)\"E\"17\"b\"line\"\n"
              "PL\nP1 T\"1:0\"\nTR\nT1 T\"1:0*2:32\"\n");
    FreeNet(&net);
    init_symtabs();
}

TEST_F(Refs, SourceNetRoundTrip) {
    MNetOptions[1] = OPT1_SOURCE_NET | OPT1_BLOCKS | OPT1_PHANTOMS;
    init_action_buffers();
    std::string net_text =
        "VOS\nHLNet\nFORMAT_N2\nBL\n1 \"B1\"0@0b\"blk\"\nPL\n1 30@30eZ\"{dot}\"u\"(1)\"\n2 30@90xZ\"{dot}\"\n"
        "TR\n1 30@60i\"a\"g\"tt\"u\"(1)\"SP\"(1)\"\nPTR\n1 30@60g\"tt\"P\"(1)\"\nTP\n1<2p\"dot\"\nPT\n1>1p\"dot\"\n";
    std::string ref_text =
        "VOS\nReferences_BPN2_HL\nFORMAT_N\nDEF\n1 R\"(3,5;3,9)\"V\"{1..3}\"b\"efgh\"\n2 R\"(1,1;1,5)\"A\n3 b\"x\"\n"
        "BL\nB1 T\"2:0\"\nPL\nP1 T\"1:0\"\nP2 T\"2:64*1:32\"\nTR\nT1 T\"1:0\"\nPTR\nPT1 T\"2:0\"\n";
    testsupport::write_file(dir.path() + "/s.hl_net", net_text);
    testsupport::write_file(dir.path() + "/s.ref", ref_text);
    std::string ref_path = dir.path() + "/s.ref";
    MNet* net = read_VOS(dir.path() + "/s.hl_net", ref_path.c_str());
    ASSERT_EQ(ref_count(), 3u);
    EXPECT_EQ(ref_get(3)->line1, 0u);
    EXPECT_EQ(ref_get(3)->kind, 0);
    EXPECT_EQ(ref_get(2)->kind, 10);
    EXPECT_EQ(net->last_place->refs.size(), 2u);
    EXPECT_EQ(get_block(net->first_block->number)->reference, 2);
    M_block_boxes(net);
    std::string w1 = to_text(write_HLNet, net);
    std::string r1 = to_text(write_BPN2_refs, net);
    init_symtabs();
    testsupport::write_file(dir.path() + "/s2.hl_net", w1);
    testsupport::write_file(dir.path() + "/s2.ref", r1);
    std::string ref2 = dir.path() + "/s2.ref";
    init_blocks();
    MNet* net2 = read_VOS(dir.path() + "/s2.hl_net", ref2.c_str());
    M_block_boxes(net2);
    EXPECT_EQ(to_text(write_HLNet, net2), w1);
    EXPECT_EQ(to_text(write_BPN2_refs, net2), r1);
    EXPECT_NE(r1.find("P2 T\"2:64*1:32\""), std::string::npos) << r1;
    FreeNet(&net);
    FreeNet(&net2);
}

TEST_F(Refs, ReferencesReadIntoAFilledTableNameTheirOwnRecords) {
    MNetOptions[1] = OPT1_SOURCE_NET | OPT1_BLOCKS;
    init_action_buffers();
    ref_code(ref(9, 9, 9, 9));
    ref_code(ref(8, 8, 8, 8));
    testsupport::write_file(dir.path() + "/s.hl_net",
                            "VOS\nHLNet\nFORMAT_N2\nBL\n1 \"B1\"0@0b\"blk\"\nPL\n1 30@30eZ\"{dot}\"u\"(1)\"\n"
                            "TR\n1 30@60g\"tt\"\nTP\nPT\n1>1p\"dot\"\n");
    // DEF identifiers out of order: 7 and 2.
    testsupport::write_file(dir.path() + "/s.ref",
                            "VOS\nReferences_BPN2_HL\nFORMAT_N\nDEF\n7 R\"(3,5;3,9)\"\n2 R\"(1,1;1,5)\"\n"
                            "BL\nB1 T\"7:0\"\nPL\nP1 T\"2:1*7:2\"\nTR\nT1 T\"7:0\"\n");
    std::string ref_path = dir.path() + "/s.ref";
    MNet* net = read_VOS(dir.path() + "/s.hl_net", ref_path.c_str());
    ASSERT_EQ(ref_count(), 4u);
    const std::vector<RefEntry>& pr = net->first_place->refs;
    ASSERT_EQ(pr.size(), 2u);
    EXPECT_EQ(ref_get(pr[0].number)->line1, 1u);
    EXPECT_EQ(pr[0].decoration, 1);
    EXPECT_EQ(ref_get(pr[1].number)->line1, 3u);
    EXPECT_EQ(ref_get(net->first_trans->refs[0].number)->col1, 5u);
    EXPECT_EQ(ref_get(get_block(net->first_block->number)->reference)->line1, 3u);
    FreeNet(&net);
}

TEST_F(Refs, ReaderErrors) {
    MNetOptions[1] = OPT1_SOURCE_NET;
    std::string net_text = "VOS\nHLNet\nFORMAT_N\nPL\n";
    for (int i = 1; i <= 10; ++i) net_text += std::to_string(i) + " 0@0\n";
    net_text += "TR\nTP\nPT\n";
    testsupport::write_file(dir.path() + "/n.hl_net", net_text);
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"VOS\nReferences_X\nFORMAT_N\nDEF\nPL\nP12 T\"1:0\"\nTR\n", "place identifier 12 does not exist"},
        {"VOS\nRefs\n", "format identifier 'References...' expected"},
        {"VOS\nReferences_X\nFORMAT_N\nPL\n", "keyword 'DEF' expected"},
        {"VOS\nReferences_X\nFORMAT_N\nDEF\n1 R\"(1,2)\"\nPL\nTR\n", "reference has wrong format"},
        {"VOS\nReferences_X\nFORMAT_N\nDEF\n1 Q\nPL\nTR\n", "unknown token 'Q'"},
        {"VOS\nReferences_X\nFORMAT_N\nDEF\n1 U\n1 U\nPL\nTR\n", "definition identifier 1 multiply used"},
        {"VOS\nReferences_X\nFORMAT_N\nDEF\nPL\nP1 T\"1-0\"\nTR\n", "reference specification has wrong format"},
        {"VOS\nReferences_X\nFORMAT_N\nDEF\nPL\nP1 T\"70000:0\"\nTR\n", "reference specification has wrong format"},
        {"VOS\nReferences_X\nFORMAT_N\nDEF\nBL\nB4 T\"1:0\"\nPL\nTR\n", "block identifier 4 does not exist"},
        {"VOS\nReferences_X\nFORMAT_N\nDEF\nPL\nTR\nT1 T\"1:0\"\n", "transition identifier 1 does not exist"},
    };
    for (const auto& c : cases) {
        testsupport::write_file(dir.path() + "/bad.ref", c.text);
        std::string rp = dir.path() + "/bad.ref";
        EXPECT_EXIT(read_VOS(dir.path() + "/n.hl_net", rp.c_str()), ::testing::ExitedWithCode(10), c.message)
            << c.text;
    }
    EXPECT_EXIT(read_VOS(dir.path() + "/n.hl_net", "/nonexistent.ref"), ::testing::ExitedWithCode(4),
                "ERROR: CM.read_REF\\(\\): could not open file '/nonexistent.ref' for reading.");
}
