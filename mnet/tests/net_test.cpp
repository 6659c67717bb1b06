#include <gtest/gtest.h>

#include "mnet_hlnet.h"
#include "mnet_labels.h"
#include "mnet_textform.h"

using namespace mnet;

namespace {
struct Net : ::testing::Test {
    void SetUp() override {
        MNetOptions[0] = MNetOptions[1] = MNetOptions[2] = 0;
        init_symtabs();
        init_blocks();
        transition_counter = 0;
        max_transitions = 2147483648UL;
        net = M_new_net();
    }
    void TearDown() override {
        FreeNet(&net);
        MNetOptions[1] = 0;
        init_symtabs();
        free_blocks();
    }
    MTransition* add_t(std::uint32_t n) {
        MTransition* c = nullptr;
        return M_fast_insert_transition(&net->trans_count, &net->first_trans, &net->last_trans, n, &c, 0);
    }
    MTransition* add_ph(std::uint32_t n) {
        MTransition* c = nullptr;
        return M_fast_insert_transition(&net->phantom_count, &net->first_phantom, &net->last_phantom, n, &c, 1);
    }
    MArc* tp(std::uint32_t p, std::uint32_t t) {
        return M_fast_insert_TP_edge(net->first_place, net->first_trans, p, t, nullptr, nullptr, nullptr, 0);
    }
    MArc* pt(std::uint32_t p, std::uint32_t t) {
        return fast_insert_PT_edge(net->first_place, net->first_trans, p, t, nullptr, nullptr, nullptr, 0);
    }
    std::vector<std::uint32_t> place_numbers(MNet* n) {
        std::vector<std::uint32_t> v;
        for (MPlace* p = n->first_place; p; p = p->next) v.push_back(p->number);
        return v;
    }
    MNet* net = nullptr;
};
}  // namespace

TEST_F(Net, NewNetAndOrderedPlaceInsertion) {
    EXPECT_EQ(net->origin_x, 32767);
    EXPECT_EQ(net->origin_y, 32767);
    EXPECT_EQ(net->width, 0);
    EXPECT_EQ(net->box, 0u);
    MPlace* cursor = nullptr;
    M_fast_insert_place(net, 3, &cursor);
    M_fast_insert_place(net, 1, &cursor);
    MPlace* two = M_fast_insert_place(net, 2, &cursor);
    EXPECT_EQ(place_numbers(net), (std::vector<std::uint32_t>{1, 2, 3}));
    EXPECT_EQ(cursor, two);
    EXPECT_EQ(net->place_count, 3u);
    EXPECT_EQ(net->last_place->number, 3u);
    EXPECT_EQ(net->last_place->prev, two);
}

TEST_F(Net, DuplicatesEndTheProgram) {
    MPlace* c = nullptr;
    M_fast_insert_place(net, 5, &c);
    EXPECT_EXIT(M_fast_insert_place(net, 5, &c), ::testing::ExitedWithCode(1),
                "ERROR: HL.M_fast_insert_place\\(\\): place '5' already exists.");
    add_t(2);
    EXPECT_EXIT(add_t(2), ::testing::ExitedWithCode(1),
                "ERROR: HL.M_fast_insert_transition\\(\\): transition '2' already exists.");
    MBlock* b = nullptr;
    M_fast_insert_block(net, 4, &b, "x");
    EXPECT_EXIT(M_fast_insert_block(net, 4, &b, "y"), ::testing::ExitedWithCode(1),
                "ERROR: HL.M_fast_insert_block\\(\\): block '4' already exists.");
}

TEST_F(Net, ArcsAreUniqueAndOrdered) {
    MPlace* c = nullptr;
    for (std::uint32_t p : {2u, 4u}) M_fast_insert_place(net, p, &c);
    for (std::uint32_t t : {3u, 7u, 5u}) add_t(t);
    MArc* a = tp(2, 7);
    EXPECT_EQ(tp(2, 7), a);
    tp(2, 3);
    tp(2, 5);
    std::vector<std::uint32_t> ts;
    for (MArc* x = net->first_place->in; x; x = x->pnext) ts.push_back(x->trans->number);
    EXPECT_EQ(ts, (std::vector<std::uint32_t>{3, 5, 7}));
    tp(4, 3);
    EXPECT_EQ(net->first_trans->post->place->number, 2u);
    EXPECT_EQ(net->first_trans->post->tnext->place->number, 4u);
    pt(4, 5);
    EXPECT_EQ(net->last_place->out->trans->number, 5u);
    testing::internal::CaptureStderr();
    EXPECT_EQ(tp(9, 3), nullptr);
    EXPECT_EQ(pt(2, 8), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING: NN.M_fast_insert_TP_edge(): place '9' does not exist.\n"
              "WARNING: NN.fast_insert_PT_edge(): transition '8' does not exist.\n");
}

TEST_F(Net, UnionAppendsAndFreesTheSecondRecord) {
    MNet* empty = M_new_net();
    MNet* b = M_new_net();
    MPlace* c = nullptr;
    M_fast_insert_place(b, 1, &c);
    M_fast_insert_place(b, 2, &c);
    MBlock* bc = nullptr;
    M_fast_insert_block(b, 1, &bc, "blk");
    M_union(empty, b);
    EXPECT_EQ(place_numbers(empty), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(empty->place_count, 2u);
    EXPECT_EQ(empty->block_count, 1u);
    MNet* other = M_new_net();
    M_fast_insert_place(other, 3, &c);
    MNet* copy_blocks = M_new_net();
    copy_block_list(copy_blocks, empty);
    M_union(other, copy_blocks);  // the same block number is not added twice
    M_union(empty, other);
    EXPECT_EQ(place_numbers(empty), (std::vector<std::uint32_t>{1, 2, 3}));
    EXPECT_EQ(empty->block_count, 1u);
    MNet* e1 = M_new_net();
    M_union(e1, M_new_net());
    EXPECT_EQ(e1->first_place, nullptr);
    FreeNet(&e1);
    FreeNet(&empty);
}

// The blocks of a union: the first net's, then those of the second that it
// lacks, in their order and with their data; every union starts afresh.
TEST_F(Net, UnionMovesTheBlocksItLacks) {
    auto with_blocks = [](std::vector<std::uint16_t> numbers) {
        MNet* n = M_new_net();
        for (std::uint16_t b : numbers) {
            M_add_block(n, b);
            n->last_block->has_elements = b * 10u;
        }
        return n;
    };
    auto blocks = [](const MNet* n) {
        std::vector<std::uint32_t> out;
        for (const MBlock* b = n->first_block; b; b = b->next) out.push_back(b->number * 1000u + b->has_elements);
        return out;
    };
    MNet* a = M_union(with_blocks({7, 3}), with_blocks({3, 9, 9, 4}));
    EXPECT_EQ(blocks(a), (std::vector<std::uint32_t>{7070, 3030, 9090, 4040}));
    EXPECT_EQ(a->block_count, 4u);
    EXPECT_EQ(a->last_block->number, 4u);
    EXPECT_EQ(a->last_block->prev->number, 9u);
    // The blocks the first union held do not stay held.
    MNet* b = M_union(M_new_net(), with_blocks({7, 3}));
    EXPECT_EQ(blocks(b), (std::vector<std::uint32_t>{7070, 3030}));
    FreeNet(&a);
    FreeNet(&b);
}

TEST_F(Net, SelectAndDropPlaces) {
    MPlace* c = nullptr;
    for (std::uint32_t p = 1; p <= 5; ++p) M_fast_insert_place(net, p, &c)->type = static_cast<std::uint8_t>(p % 3);
    // types: 1 entry, 2 exit, 3 internal, 4 entry, 5 exit
    MPlace* b = M_select_places(net, PLACE_ENTRY, PLACE_EXIT);
    std::vector<std::uint32_t> chain_a, chain_b;
    for (MPlace* p = net->last_place; p; p = p->prev) chain_a.push_back(p->number);
    for (MPlace* p = b; p; p = p->prev) chain_b.push_back(p->number);
    EXPECT_EQ(chain_a, (std::vector<std::uint32_t>{4, 1}));
    EXPECT_EQ(chain_b, (std::vector<std::uint32_t>{5, 2}));
    M_drop_selected(net, PLACE_ENTRY);
    EXPECT_EQ(place_numbers(net), (std::vector<std::uint32_t>{2, 3, 5}));
    EXPECT_EQ(net->last_place->number, 5u);
    EXPECT_EQ(net->last_place->prev->number, 3u);
    EXPECT_EQ(net->place_count, 3u);
}

TEST_F(Net, RemoveAndCopy) {
    MPlace* c = nullptr;
    M_fast_insert_place(net, 1, &c);
    RemovePlace(net, net->first_place);
    EXPECT_EQ(net->first_place, nullptr);
    EXPECT_EQ(net->last_place, nullptr);

    c = nullptr;
    M_fast_insert_place(net, 1, &c);
    M_fast_insert_place(net, 2, &c);
    parse_sets("{1..3}", net->first_place->components, SEL_RANGE);
    add_t(1)->label = parse_actionset("a(x)", net->first_trans);
    pt(1, 1)->inscription = parse_arclabel("x", net->first_trans);
    tp(2, 1)->inscription = parse_arclabel("x", net->first_trans);
    MNet* copy = M_copy_net(net);
    EXPECT_EQ(copy->place_count, 2u);
    EXPECT_EQ(copy->trans_count, 1u);
    EXPECT_EQ(copy->first_trans->pre->place, copy->first_place);
    EXPECT_EQ(copy->first_place->out, copy->first_trans->pre);
    EXPECT_EQ(net->first_place->copy, copy->first_place);
    FreeNet(&net);  // the copy shares nothing
    EXPECT_EQ(place_type_text(copy->first_place), "{1..3}");
    EXPECT_EQ(inscription_size(copy->first_trans->post->inscription), 1u);
    net = copy;
    MPlace* d = DuplicatePlace(net, net->last_place, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(net->first_place, d);
    EXPECT_EQ(net->place_count, 3u);
    EXPECT_EQ(d->in->trans, net->first_trans);
    EXPECT_EQ(net->first_trans->post->place, d);  // copies go to the head of the transition's list
    std::uint16_t map[256] = {};
    MTransition* t2 = DuplicateTrans(net, net->first_trans, nullptr, nullptr, map);
    EXPECT_EQ(net->trans_count, 2u);
    EXPECT_EQ(t2->pre->place->number, 1u);
    EXPECT_EQ(transition_counter, 3u);  // the original, its copy in the net copy, the duplicate
    RemoveTrans(net, t2, 0);
    EXPECT_EQ(net->trans_count, 1u);
    RemovePlace(net, d);
    EXPECT_EQ(net->place_count, 2u);
    EXPECT_EQ(net->first_trans->post->place->number, 2u);
}

TEST(NetDeath, TransitionLimit) {
    EXPECT_EXIT(
        {
            transition_counter = 0;
            max_transitions = 79;
            MNet* n = M_new_net();
            MTransition* c = nullptr;
            for (std::uint32_t i = 1; i <= 80; ++i)
                M_fast_insert_transition(&n->trans_count, &n->first_trans, &n->last_trans, i, &c, 0);
        },
        ::testing::ExitedWithCode(1), "Maximum number of transitions exceeded !");
    EXPECT_EXIT(M_Copy2PTransition(nullptr, nullptr), ::testing::ExitedWithCode(1),
                "M_Copy2PTransition: net or transition is NULL-pointer.");
    EXPECT_EXIT(DuplicatePlace(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), ::testing::ExitedWithCode(1),
                "DuplicatePlace: no net or no place given");
}

TEST_F(Net, PhantomCopiesAndLinks) {
    MPlace* c = nullptr;
    M_fast_insert_place(net, 1, &c);
    MTransition* t = add_t(1);
    t->flags = 8 + 32;
    pt(1, 1)->inscription = parse_arclabel("dot", t);
    MTransition* p1 = M_Copy2PTransition(net, t);
    EXPECT_EQ(p1->flags, 32u);
    EXPECT_TRUE(p1->links.empty());
    EXPECT_EQ(net->first_place->phantom_out->trans, p1);
    MTransition* p2 = M_Copy2PTransition(net, t);
    EXPECT_EQ(net->first_phantom, p2);
    EXPECT_EQ(net->phantom_count, 2u);
    std::unordered_map<std::uint32_t, MTransition*> table{{3, p1}, {5, p2}};
    std::vector<MTransition*> links;
    parse_phantom_list("(3,5)", links, table);
    EXPECT_EQ(links, (std::vector<MTransition*>{p1, p2}));
    links.clear();
    parse_phantom_list("()", links, table);
    EXPECT_TRUE(links.empty());
    EXPECT_EXIT(parse_phantom_list("3,5", links, table), ::testing::ExitedWithCode(10),
                "phantom list should begin with '\\('");
}

// Removing a transition: a phantom linked to it goes, or, in source-net mode,
// stays while it stands for further transitions.  No link is left dangling.
TEST_F(Net, RemovingLinkedTransitions) {
    for (int mode = 0; mode < 2; ++mode) {
        MNetOptions[1] = mode ? OPT1_SOURCE_NET : 0;
        MNet* n = M_new_net();
        MTransition* c = nullptr;
        MTransition* a = M_fast_insert_transition(&n->trans_count, &n->first_trans, &n->last_trans, 1, &c, 0);
        MTransition* b = M_fast_insert_transition(&n->trans_count, &n->first_trans, &n->last_trans, 2, &c, 0);
        MTransition* ph = M_Copy2PTransition(n, a);
        add_phantom_link(a, ph);
        add_phantom_link(b, ph);
        add_phantom_link(ph, a);
        add_phantom_link(ph, b);
        RemoveTrans(n, a, 0);
        if (mode) {
            ASSERT_EQ(n->phantom_count, 1u);
            EXPECT_EQ(ph->links, (std::vector<MTransition*>{b}));
        } else {
            EXPECT_EQ(n->phantom_count, 0u);
            EXPECT_TRUE(b->links.empty());
        }
        FreeNet(&n);
    }
}

TEST_F(Net, Blocks) {
    std::uint16_t n1, n2, n3, n4;
    new_unnamed_block(2, &n1, 0, 0);
    new_unnamed_block(2, &n2, 0, 0);
    new_named_block("outer", 1, &n3, 7, 42);
    EXPECT_EQ(get_block(n3)->name, "outer");
    EXPECT_EQ(get_block(n3)->reference, 7);
    M_add_block(net, n1);
    M_add_block(net, n2);
    M_add_block(net, n3);
    EXPECT_EQ(get_block(n3)->children, (std::vector<std::uint16_t>{n1, n2}));
    new_unnamed_block(0, &n4, 0, 0);
    EXPECT_EQ(get_block(n4)->name.substr(0, 14), "unnamed_block_");
    MNet* other = M_new_net();
    M_add_block(other, n3);
    M_add_block(other, n1);  // added after the outer block: no child recorded
    EXPECT_EQ(get_block(n3)->children.size(), 2u);
    FreeNet(&other);

    MPlace* c = nullptr;
    MPlace* a = M_fast_insert_place(net, 1, &c);
    MPlace* b = M_fast_insert_place(net, 2, &c);
    MPlace* e = M_fast_insert_place(net, 3, &c);
    e->type = PLACE_ENTRY;
    a->x = 30, a->y = 60, b->x = 90, b->y = 120;
    block_to_places(net, n1);
    EXPECT_TRUE(e->blocks.empty());
    M_block_boxes(net);
    MBlock* blk = net->first_block;
    EXPECT_EQ(blk->min_x, 30);
    EXPECT_EQ(blk->max_y, 120);
    EXPECT_EQ(blk->centre_x, 60);
    EXPECT_EQ(blk->centre_y, 90);
    EXPECT_EQ(blk->next->centre_x, 10);  // no element: centre 10/10
    EXPECT_EQ(block_in_net(net, n1), 1u);
    EXPECT_EQ(block_in_net(net, n2), 0u);
    MNetOptions[1] = OPT1_BLOCKS;
    std::FILE* f = std::tmpfile();
    write_BL_section(net, f, false);
    write_BL_section(net, f, true);
    std::rewind(f);
    char buf[256] = {};
    std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    std::string expect = "BL\n" + std::to_string(n1) + " \"B" + std::to_string(n1) + "\"60@90b\"" +
                         get_block(n1)->name + "\"\nBL\nB" + std::to_string(n1) + " T\"0:0\"\n";
    EXPECT_EQ(std::string(buf), expect);
    a->blocks.push_back(999);
    testing::internal::CaptureStderr();
    M_block_boxes(net);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Internal error: places: blocknr (999) not found\n");
}

TEST_F(Net, MergePlaceInfoUnitesBlocksAndReferences) {
    MPlace p, q;
    p.blocks = {1, 2};
    p.refs = {{5, 0}};
    q.blocks = {2, 3, 1};
    q.refs = {{5, 0}, {5, 1}, {6, 0}, {5, 1}};
    MergePlaceInfo(&p, &q);
    EXPECT_EQ(p.blocks, (std::vector<std::uint16_t>{1, 2, 3}));
    ASSERT_EQ(p.refs.size(), 3u);
    EXPECT_EQ(p.refs[1].number, 5);
    EXPECT_EQ(p.refs[1].decoration, 1);
    EXPECT_EQ(p.refs[2].number, 6);
    // Value sets are copied; a placeholder stays one.
    TypeComponent set = ValueSet{1, 2, 3}, hole, a, b = ValueSet{9};
    copy_u16_array(&a, set);
    copy_u16_array(&b, hole);
    EXPECT_EQ(a, set);
    EXPECT_FALSE(b.has_value());
}

TEST_F(Net, SmallBoxArcs) {
    MPlace* c = nullptr;
    SmallBox box;
    box.first = M_fast_insert_place(net, 1, &c);
    M_fast_insert_place(net, 2, &c);
    box.second = M_fast_insert_place(net, 3, &c);
    box.trans = add_t(1);
    add_pre_arc(0, new_inscription(0), net->first_place, box, 0);
    add_post_arc(0, new_inscription(0), net->first_place, box, 4);
    add_arcs(2, new_inscription(0), net->last_place, box, 0);  // searched backwards
    EXPECT_EQ(box.trans->pre->place->number, 2u);
    EXPECT_EQ(box.trans->pre->tnext->place, box.first);
    EXPECT_EQ(box.trans->post->tnext->place, box.second);
    EXPECT_EQ(box.second->in->flags, 4);
    MPlace* two = box.first->next;
    EXPECT_NE(two->in, nullptr);
    EXPECT_NE(two->out, nullptr);
    add_place_references(net->first_place, PLACE_INTERNAL | PLACE_ENTRY, 3, 1);  // type bits: none of 0
    EXPECT_TRUE(two->refs.empty());
    box.first->type = PLACE_ENTRY;
    add_place_references(net->first_place, PLACE_ENTRY, 3, 1);
    ASSERT_EQ(box.first->refs.size(), 1u);
    EXPECT_EQ(box.first->refs[0].decoration, 1);
}
