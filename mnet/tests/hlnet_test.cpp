#include <gtest/gtest.h>

#include <random>

#include "mnet_hlnet.h"
#include "mnet_labels.h"
#include "petri_test.h"
#include "mnet_textform.h"

using namespace mnet;

namespace {
struct HlNet : ::testing::Test {
    void SetUp() override {
        MNetOptions[0] = MNetOptions[1] = MNetOptions[2] = 0;
        frontend_kind = FE_IF;
        variable_rendering_mode = 0;
        scale = 1;
        init_action_buffers();
        init_var_buffers();
        init_symtabs();
        init_blocks();
        net_file_name.clear();
        ref_file_name.clear();
    }
    void TearDown() override {
        MNetOptions[0] = MNetOptions[1] = MNetOptions[2] = 0;
        frontend_kind = FE_BPN2;
        init_symtabs();
        free_blocks();
    }
    testsupport::TempDir dir;
    std::string path(const std::string& name) { return dir.path() + "/" + name; }

    std::string write_text(MNet* net) {
        std::FILE* f = std::tmpfile();
        write_HLNet(net, f);
        std::string s(static_cast<std::size_t>(std::ftell(f)), '\0');
        std::rewind(f);
        std::size_t n = std::fread(&s[0], 1, s.size(), f);
        s.resize(n);
        std::fclose(f);
        return s;
    }

    // Reads the text as a net file, in a fresh block table like a new run.
    MNet* read_text(const std::string& text, const char* name = "net.hl_net") {
        testsupport::write_file(path(name), text);
        init_blocks();
        return read_VOS(path(name), nullptr);
    }
};

const char* rich_net =
    "VOS\n"
    "HLNet\n"
    "FORMAT_N2\n"
    "DPL s7n10@-9t2\n"
    "BL\n"
    "1 \"B1\"60@60b\"outer\"u\"(2)\"\n"
    "2 \"B2\"60@60b\"inner\"\n"
    "PL\n"
    "% a comment line\n"
    "1 30@60ez\"{dot}\"Z\"{dot}\"u\"(1,2)\"\n"
    "2 90@120 b\"p two\"Z\"{1..3,tt} X {0}\"u\"(2)\"\n"
    "3 150@120xZ\"{dot}\"M1c3A1@2\n"
    "TR\n"
    "1 60@90i\"a(x),^b(y,5)\"b\"t one\"v32g\"x{1..3}: x=y & (y<2 | y>4)\"u\"(2)\"SP\"(1)\"\n"
    "2 60@150i\"c\"g\"tt\"\n"
    "PTR\n"
    "1 60@90i\"a(x)\"g\"tt\"P\"(1)\"\n"
    "TP\n"
    "1<2p\"(x,y),x\"v4\n"
    "2<3p\"dot\"\n"
    "PT\n"
    "1>1p\"dot\"\n"
    "2>2p\"(x,0)\"\n"
    "PTP\n"
    "1<2p\"x\"\n"
    "PPT\n"
    "1>1p\"dot\"\n";
}  // namespace

TEST_F(HlNet, ReadsEverySection) {
    MNetOptions[1] = OPT1_BLOCKS | OPT1_PHANTOMS;
    MNet* net = read_text(rich_net);
    EXPECT_EQ(net->box, 1u);
    EXPECT_EQ(net->place_count, 3u);
    EXPECT_EQ(net->trans_count, 2u);
    EXPECT_EQ(net->phantom_count, 1u);
    EXPECT_EQ(net->block_count, 2u);
    EXPECT_EQ(net->origin_x, 30);
    EXPECT_EQ(net->origin_y, 60);
    EXPECT_EQ(net->width, 150);  // 150 + 30 - 30
    EXPECT_EQ(net->height, 120);
    MPlace* p1 = net->first_place;
    EXPECT_EQ(p1->type, PLACE_ENTRY);
    EXPECT_EQ(p1->read_mark, 1);
    EXPECT_EQ(p1->blocks.size(), 2u);
    MPlace* p2 = p1->next;
    EXPECT_EQ(place_type_text(p2), "{1..3,tt} X {0}");
    EXPECT_EQ(*p2->label, "p two");
    EXPECT_EQ(p2->next->type, PLACE_EXIT);
    MTransition* t1 = net->first_trans;
    EXPECT_EQ(t1->flags, 32u + 8u);
    EXPECT_EQ(*t1->label_text, "t one");
    EXPECT_EQ(actset_text(t1->label, t1->comvars), "a(x@0),^b(y@1,5)");
    ASSERT_EQ(t1->links.size(), 1u);
    EXPECT_EQ(t1->links[0], net->first_phantom);
    EXPECT_EQ(net->first_phantom->links[0], t1);
    EXPECT_TRUE(net->first_trans->next->guard.empty());
    ASSERT_NE(t1->post, nullptr);
    EXPECT_EQ(t1->post->flags, 4);
    EXPECT_EQ(inscription_size(t1->post->inscription), 2u);
    BlockInfo* outer = get_block(net->first_block->number);
    EXPECT_EQ(outer->name, "outer");
    ASSERT_EQ(outer->children.size(), 1u);
    EXPECT_EQ(outer->children[0], net->first_block->next->number);
    EXPECT_EQ(p2->phantom_in->trans, net->first_phantom);
    FreeNet(&net);
    EXPECT_EQ(net, nullptr);
}

TEST_F(HlNet, WrittenNetReadsBackByteIdenticalFromTheSecondRound) {
    for (std::uint8_t opts : {std::uint8_t(0), std::uint8_t(OPT1_BLOCKS | OPT1_PHANTOMS), std::uint8_t(OPT1_SHORT_OUTPUT)}) {
        MNetOptions[1] = OPT1_BLOCKS | OPT1_PHANTOMS;
        MNet* n0 = read_text(rich_net);
        MNetOptions[1] = opts;
        std::string w1 = write_text(n0);
        MNet* n1 = read_text(w1);
        std::string w2 = write_text(n1);
        MNet* n2 = read_text(w2);
        std::string w3 = write_text(n2);
        EXPECT_EQ(w2, w3) << int(opts);
        // The same net: same counts, types, labels, guards and inscriptions.
        EXPECT_EQ(n1->place_count, n0->place_count);
        EXPECT_EQ(n1->trans_count, n0->trans_count);
        EXPECT_EQ(*n1->first_trans->label_text, "REPEAT");  // the last b field of a repeat transition
        MTransition* a = n0->first_trans;
        MTransition* b = n1->first_trans;
        variable_rendering_mode = 2;
        EXPECT_EQ(guard_text(a).size() > 0, true);
        EXPECT_EQ(actset_text(a->label, a->comvars).substr(0, 2), actset_text(b->label, b->comvars).substr(0, 2));
        variable_rendering_mode = 0;
        if (opts & OPT1_PHANTOMS) {
            EXPECT_EQ(n1->phantom_count, 1u);
            EXPECT_NE(w1.find("PTR\n"), std::string::npos);
            EXPECT_NE(w1.find("FORMAT_N2"), std::string::npos);
        } else {
            for (const char* absent : {"PTR", "PTP", "PPT", "\"S", "P\""}) EXPECT_EQ(w1.find(absent), std::string::npos);
        }
        FreeNet(&n0);
        FreeNet(&n1);
        FreeNet(&n2);
    }
}

// Random nets: every field that the writer produces reads back alike.
TEST_F(HlNet, RandomNetsRoundTrip) {
    std::mt19937 rng(3);
    const char* guards[] = {"tt", "x = y", "x{0..3}: x # 2 & y < 5", "(x | y) & x", "pr1(z) = 2 - y"};
    const char* labels[] = {"", "a", "a(x),^b", "c(x,y,1)", "go(z),go(z)"};
    const char* arcs[] = {"dot", "x", "(x,y)", "x,y,1", "z,z", "(1,tt),x"};
    const char* types[] = {"{dot}", "{0..3}", "{1,5,tt} X {ff}", "{}"};
    for (int round = 0; round < 40; ++round) {
        MNet* net = M_new_net();
        MPlace* pc = nullptr;
        int np = 1 + static_cast<int>(rng() % 6), nt = 1 + static_cast<int>(rng() % 5);
        for (int i = 1; i <= np; ++i) {
            MPlace* p = M_fast_insert_place(net, static_cast<std::uint32_t>(i), &pc);
            p->type = static_cast<std::uint8_t>(rng() % 3);
            p->x = static_cast<std::int32_t>(rng() % 500);
            p->y = static_cast<std::int32_t>(rng() % 500);
            parse_sets(types[rng() % 4], p->components, SEL_RANGE);
            if (rng() % 2) p->initial_marking = "{" + std::to_string(rng() % 9) + "}";
            if (rng() % 3 == 0) p->label = "say \"hi\"";
        }
        MTransition* tc = nullptr;
        for (int i = 1; i <= nt; ++i) {
            MTransition* t =
                M_fast_insert_transition(&net->trans_count, &net->first_trans, &net->last_trans,
                                         static_cast<std::uint32_t>(i), &tc, 0);
            t->label = parse_actionset(labels[rng() % 5], t);
            t->guard = parse_guard(guards[rng() % 5], t);
            t->x = static_cast<std::int32_t>(rng() % 500) - 100;
            if (rng() % 2) t->label_text = "t" + std::to_string(i);
        }
        for (int k = 0; k < 8; ++k) {
            auto p = static_cast<std::uint32_t>(1 + rng() % static_cast<unsigned>(np));
            auto t = static_cast<std::uint32_t>(1 + rng() % static_cast<unsigned>(nt));
            MArc* a = (k % 2) ? M_fast_insert_TP_edge(net->first_place, net->first_trans, p, t, nullptr, nullptr,
                                                      nullptr, 0)
                              : fast_insert_PT_edge(net->first_place, net->first_trans, p, t, nullptr, nullptr,
                                                    nullptr, 0);
            a->inscription = parse_arclabel(arcs[rng() % 6], a->trans);
        }
        std::string w1 = write_text(net);
        MNet* n1 = read_text(w1);
        std::string w2 = write_text(n1);
        MNet* n2 = read_text(w2);
        std::string w3 = write_text(n2);
        ASSERT_EQ(w2, w3) << w1;
        EXPECT_EQ(n1->place_count, net->place_count);
        EXPECT_EQ(n1->trans_count, net->trans_count);
        std::size_t arcs0 = 0, arcs1 = 0;
        for (MTransition* t = net->first_trans; t; t = t->next)
            for (MArc* a = t->pre; a; a = a->tnext) arcs0 += inscription_size(a->inscription);
        for (MTransition* t = n1->first_trans; t; t = t->next)
            for (MArc* a = t->pre; a; a = a->tnext) arcs1 += inscription_size(a->inscription);
        EXPECT_EQ(arcs0, arcs1);
        FreeNet(&net);
        FreeNet(&n1);
        FreeNet(&n2);
    }
}

TEST_F(HlNet, EntryPlaceMarkingAndIdentifierRule) {
    MNet* net = read_text("VOS\nHLNet\nFORMAT_N\nPL\nez\"{dot}\"y\"{dot}\"z\"{3}\"\n 30@30\n\n5 x\nTR\nTP\nPT\n");
    MPlace* p = net->first_place;
    EXPECT_EQ(*p->initial_marking, "{3}");
    EXPECT_EQ(p->next->number, 2u);
    EXPECT_EQ(p->next->next->number, 3u);  // an empty line is a place entry
    EXPECT_EQ(net->last_place->number, 5u);
    EXPECT_EQ(net->trans_count, 0u);
    FreeNet(&net);
}

TEST_F(HlNet, SyntaxErrors) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"VOX\n", "line 1: keyword 'VOS' expected"},
        {"VOS\nPetriBox\n", "format identifier 'HLNet' expected"},
        {"VOS\nHLNet\nFORMAT_X\n", "keyword 'FORMAT_N' or 'FORMAT_N2' expected"},
        {"VOS\nHLNet\nFORMAT_N\nDXX\n", "read_new_VOS\\(\\): unknown keyword 'DXX'"},
        {"VOS\nHLNet\nFORMAT_N\nTR\n", "keyword 'PL' expected"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n\n\n5 0@0\n\nTR\n", "line 8: missing place identifier"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n2 0@0\n2 0@0\nTR\n", "place identifier 2 multiply used"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n1 ex\nTR\n", "both entry and exit flag found"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n1 xe\nTR\n", "both exit and entry flag found"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n% comment\n1 q\nTR\n", "line 6: unknown token 'q'"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n1 0@0\n2 0@0\nTR\n1 0@0\nTP\n1<3p\"x\"\nPT\n", "arc: incorrect place identifier"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n1 0@0\nTR\n1 0@0\n2 0@0\nTP\n3<1p\"x\"\nPT\n", "arc: incorrect transition identifier"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n1 0@0\nTR\n1 0@0\nTP\n1>1p\"x\"\nPT\n", "'<' expected"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n1 0@0\nTR\n1 0@0\nTP\n1<1\nPT\n", "arc: missing arc annotation"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n1 0@0\nTR\n1 0@0\nTP\n\nPT\n", "arc: incorrect transition identifier"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n1 0@0\nTR\n1 0@0\nTP\nPT\n1>1p\"x\"\n\n", "ReadCmdToken\\(\\): alphanumerical string expected"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n1 0@0\nTR\n1 rr\nTP\nPT\n", "refined flag doubly defined"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n1 0@0\nTR\n1 S3\nTP\nPT\n", "missing '@'"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n1 b\"open\nTR\n", "ReadCmdToken\\(\\): closing \" is missing"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n-3 0@0\nTR\n", "place identifier -3 out of range"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n1 0@0\nTR\n1 0@0P\"1\"\nPTR\n1 0@0\nTP\nPT\n", "phantom list should begin with '\\('"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n1 u\"(4)\"\nTR\n", "block identifier 4 does not exist"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n1 99999999999@3\nTR\n", "number out of range"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n1 v-1\nTR\n", "flag word out of range"},
        {"VOS\nHLNet\nFORMAT_N\nPL\n1 0@0\nTR\n1 0@0\nTP\n1<1p\"x\"v70000\nPT\n", "arc flag out of range"},
    };
    for (const auto& c : cases) {
        testsupport::write_file(path("bad.hl_net"), c.text);
        EXPECT_EXIT(read_VOS(path("bad.hl_net"), nullptr), ::testing::ExitedWithCode(10), c.message) << c.text;
    }
    EXPECT_EXIT(read_VOS(path("missing.hl_net"), nullptr), ::testing::ExitedWithCode(4),
                "ERROR: CM.read_VOS\\(\\): could not open file '.*missing.hl_net' for reading.");
}

TEST_F(HlNet, LongTextsAreReadWhole) {
    std::string label(9000, 'l'), type = "{" + std::string(5000, ' ') + "1}";
    MNet* net = read_text("VOS\nHLNet\nFORMAT_N\nPL\n1 0@0b\"" + label + "\"Z\"" + type + "\"\nTR\nTP\nPT\n");
    EXPECT_EQ(*net->first_place->label, label);
    EXPECT_EQ(place_type_text(net->first_place), "{1}");
    FreeNet(&net);
}

TEST_F(HlNet, FileMayEndAfterPtAndTxIsSkipped) {
    MNet* a = read_text("VOS\nHLNet\nFORMAT_N\nPL\n1 0@0\nTR\n1 0@0\nTP\nPT\n1>1p\"dot\"");
    EXPECT_EQ(a->first_trans->pre->place, a->first_place);
    MNet* b = read_text("VOS\nHLNet\nFORMAT_N\nPL\n1 0@0\nTR\n1 0@0\nTP\nPT\nTX\n\"note\"N1@2\n");
    EXPECT_EQ(b->place_count, 1u);
    FreeNet(&a);
    FreeNet(&b);
}

TEST_F(HlNet, OutputDriverAndWriteFailures) {
    MNet* net = read_text(rich_net);
    net_file_name = path("out.hl_net");
    testing::internal::CaptureStdout();
    write_outputs(net);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Writing in file " + net_file_name + " ...\n");
    commit_outputs();
    EXPECT_NE(testsupport::read_file(net_file_name).find("VOS\nHLNet\nFORMAT_N\n"), std::string::npos);
    net_file_name = path("no/such/dir/out.hl_net");
    EXPECT_EXIT(write_outputs(net), ::testing::ExitedWithCode(3), "Error: Could not open file .*out.hl_net !");
    net_file_name = "/dev/full";
    EXPECT_EXIT(write_outputs(net), ::testing::ExitedWithCode(3), "Error: Could not write file /dev/full !");
    net_file_name.clear();
    FreeNet(&net);
}

TEST_F(HlNet, ScaleAndShortOutput) {
    MNet* net = read_text("VOS\nHLNet\nFORMAT_N\nPL\n1 30@60Z\"{dot}\"\n2 90@60 \nTR\n1 60@60\nTP\nPT\n");
    scale = 2;
    MNetOptions[1] = OPT1_SHORT_OUTPUT;
    std::string w = write_text(net);
    scale = 1;
    EXPECT_EQ(w, "VOS\nHLNet\nFORMAT_N\nPL\n60@120Z\"{dot}\"\n180@120Z\"{dot}\"\nTR\n120@120g\"tt\"\nTP\nPT\n");
    FreeNet(&net);
}
