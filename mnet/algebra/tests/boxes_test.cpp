// Place product, box operations and their layout on small hand-made boxes.
#include "fixture.h"

namespace algebra_test {
namespace {

using AlgebraBoxes = Algebra;

TEST_F(AlgebraBoxes, AtomicBoxShape) {
    ComVars vars;
    new_comvars(vars, 1);
    MNet* n = M_atomic_box(actions("a"), nullptr, nullptr, vars, 7);
    EXPECT_TRUE(vars.empty());  // taken over
    EXPECT_EQ(n->box, 1u);
    EXPECT_EQ(n->origin_x, 0);
    EXPECT_EQ(n->origin_y, 0);
    EXPECT_EQ(n->width, 30);
    EXPECT_EQ(n->height, 150);
    ASSERT_EQ(n->place_count, 2u);
    ASSERT_EQ(n->trans_count, 1u);
    MPlace* entry = n->first_place;
    MPlace* exit = n->last_place;
    EXPECT_EQ(entry->type, PLACE_ENTRY);
    EXPECT_EQ(exit->type, PLACE_EXIT);
    EXPECT_EQ(entry->y, 0);
    EXPECT_EQ(exit->y, 120);
    EXPECT_EQ(n->first_trans->y, 60);
    ASSERT_EQ(entry->refs.size(), 1u);
    EXPECT_EQ(entry->refs[0].decoration, 1);
    EXPECT_EQ(exit->refs[0].decoration, 2);
    EXPECT_EQ(n->first_trans->refs[0].decoration, 0);
    EXPECT_TRUE(dot_type(entry));
    EXPECT_EQ(n->first_trans->restrictions.size(), 0u);
    EXPECT_TRUE(n->first_trans->guard.empty());
    EXPECT_EQ(transition_counter, 1u);
    EXPECT_EQ(CheckNet(n), 0);
    FreeNet(&n);
}

TEST_F(AlgebraBoxes, ElementaryBoxesTakeTheDefaultPlaceType) {
    static const ValueSet instances{1, 2, 3};
    default_place_type = &instances;
    MNet* a = atom("a");
    MNet* c = M_place_chain_box(1);
    default_place_type = &dot_set();
    for (MNet* n : {a, c})
        for (MPlace* p : places(n)) {
            ASSERT_EQ(p->components.size(), 1u);
            EXPECT_EQ(*p->components[0], instances);
        }
    FreeNet(&a);
    FreeNet(&c);
}

TEST_F(AlgebraBoxes, SequenceOfTwoAtoms) {
    MNet* n = M_sequence(atom("a", "", "a"), atom("b", "", "b"));
    EXPECT_EQ(n->place_count, 3u);
    EXPECT_EQ(n->trans_count, 2u);
    EXPECT_EQ(n->width, 30);
    EXPECT_EQ(n->height, 270);
    EXPECT_EQ(count_type(n, PLACE_ENTRY), 1);
    EXPECT_EQ(count_type(n, PLACE_EXIT), 1);
    EXPECT_EQ(count_type(n, PLACE_INTERNAL), 1);
    for (MPlace* p : places(n)) {
        EXPECT_EQ(p->x, 0);
        EXPECT_EQ(p->y, p->type == PLACE_ENTRY ? 0 : p->type == PLACE_INTERNAL ? 120 : 240);
        if (p->type == PLACE_INTERNAL) {
            EXPECT_EQ(neighbours(p->in, true), std::vector<std::string>{"a"});
            EXPECT_EQ(neighbours(p->out, true), std::vector<std::string>{"b"});
        }
    }
    EXPECT_EQ(named(n, "b")->y, 180);
    EXPECT_EQ(CheckNet(n), 0);
    FreeNet(&n);
}

TEST_F(AlgebraBoxes, ChoiceOfTwoAtoms) {
    MNet* n = M_choice(atom("a", "", "a"), atom("b", "", "b"));
    EXPECT_EQ(n->width, 90);
    EXPECT_EQ(n->place_count, 2u);
    EXPECT_EQ(count_type(n, PLACE_ENTRY), 1);
    EXPECT_EQ(count_type(n, PLACE_EXIT), 1);
    for (MPlace* p : places(n)) {
        EXPECT_EQ(p->x, 30);  // centred over both transitions
        EXPECT_EQ(neighbours(p->type == PLACE_ENTRY ? p->out : p->in, true), (std::vector<std::string>{"a", "b"}));
    }
    EXPECT_EQ(named(n, "a")->x, 0);
    EXPECT_EQ(named(n, "b")->x, 60);
    EXPECT_EQ(CheckNet(n), 0);
    FreeNet(&n);
}

TEST_F(AlgebraBoxes, NullOperandYieldsTheOther) {
    for (auto op : {M_choice, M_sequence, M_parallel}) {
        MNet* a = atom("a");
        EXPECT_EQ(op(a, nullptr), a);
        EXPECT_EQ(op(nullptr, a), a);
        EXPECT_EQ(op(nullptr, nullptr), nullptr);
        EXPECT_EQ(a->place_count, 2u);
        EXPECT_EQ(a->width, 30);
        EXPECT_EQ(a->height, 150);
        FreeNet(&a);
    }
}

TEST_F(AlgebraBoxes, WideLayoutsDoNotWrap) {
    // 1200 boxes side by side are 71970 units wide; glued below one box,
    // their 1200 entry places make one row of products as wide.
    const int k = 1200;
    MNet* row = atom("a");
    for (int i = 1; i < k; ++i) row = M_parallel(row, atom("a"));
    EXPECT_EQ(row->width, 30 * (2 * k - 1));
    std::vector<std::int32_t> xs;
    for (MTransition* t : transitions(row)) xs.push_back(t->x);
    std::sort(xs.begin(), xs.end());
    EXPECT_EQ(std::adjacent_find(xs.begin(), xs.end()), xs.end());  // no two boxes on one spot
    EXPECT_EQ(xs.back() - xs.front(), 60 * (k - 1));
    MNet* n = M_sequence(atom("b"), row);
    EXPECT_EQ(n->width, 60 * k - 30);
    xs.clear();
    for (MPlace* p : places(n))
        if (p->type == PLACE_INTERNAL) xs.push_back(p->x);
    ASSERT_EQ(xs.size(), std::size_t(k));
    std::sort(xs.begin(), xs.end());
    EXPECT_EQ(xs.front(), n->origin_x);
    EXPECT_EQ(xs.back() - xs.front(), 60 * (k - 1));
    EXPECT_EQ(n->height, 270);
    FreeNet(&n);
}

TEST_F(AlgebraBoxes, ChoiceOfEntryExitPlaceGivesInternalPlace) {
    // A chain box of no inner place whose single place is entry and exit.
    MNet* c = M_place_chain_box(0);
    RemovePlace(c, c->last_place);
    c->first_place->type = PLACE_ENTRY | PLACE_EXIT;
    MNet* n = M_choice(c, atom("a"));
    // 3 x 1 gives an internal place; nothing is left for the exit product.
    EXPECT_EQ(count_type(n, PLACE_INTERNAL), 1);
    EXPECT_EQ(n->place_count, 1u);
    EXPECT_EQ(CheckNet(n), 0);
    FreeNet(&n);
}

TEST_F(AlgebraBoxes, TwoExitsTimesThreeEntriesInOneCentredRow) {
    MNet* a = M_parallel(atom("a"), atom("b"));
    MNet* b = M_parallel(M_parallel(atom("c"), atom("d")), atom("e"));
    EXPECT_EQ(a->width, 90);
    EXPECT_EQ(b->width, 150);
    MNet* n = M_sequence(a, b);
    std::vector<std::int32_t> xs;
    for (MPlace* p : places(n))
        if (p->type == PLACE_INTERNAL) {
            xs.push_back(p->x);
            EXPECT_EQ(p->y, 120);
            EXPECT_EQ(p->in->pnext, nullptr);  // one of a, b
            EXPECT_EQ(p->out->pnext, nullptr);  // one of c, d, e
        }
    std::sort(xs.begin(), xs.end());
    EXPECT_EQ(xs, (std::vector<std::int32_t>{-120, -60, 0, 60, 120, 180}));
    EXPECT_EQ(n->width, 330);
    EXPECT_EQ(n->origin_x, -120);
    EXPECT_EQ((xs.front() + xs.back()) / 2, 30);  // centre of the first box
    EXPECT_EQ(CheckNet(n), 0);
    FreeNet(&n);
}

TEST_F(AlgebraBoxes, ParallelKeepsBothAndTakesTheLayoutOfTheFirst) {
    MNet* a = M_sequence(atom("a"), atom("b"));  // height 270
    MNet* n = M_parallel(a, atom("c", "", "c"));
    EXPECT_EQ(n->place_count, 5u);
    EXPECT_EQ(n->trans_count, 3u);
    EXPECT_EQ(n->width, 90);
    EXPECT_EQ(n->height, 270);
    // The shorter box's exit place moves to the bottom row.
    MTransition* c = named(n, "c");
    EXPECT_EQ(c->x, 60);
    EXPECT_EQ(c->post->place->y, 240);
    EXPECT_EQ(CheckNet(n), 0);
    FreeNet(&n);
}

TEST_F(AlgebraBoxes, ChainBoxes) {
    MNet* n = M_place_chain_box(0);
    ASSERT_EQ(n->place_count, 2u);
    EXPECT_EQ(n->first_place->number, 0u);
    EXPECT_EQ(n->first_place->y, 0);
    EXPECT_EQ(n->first_place->type, PLACE_ENTRY);
    EXPECT_EQ(n->last_place->number, 1u);
    EXPECT_EQ(n->last_place->y, 60);
    EXPECT_EQ(n->last_place->type, PLACE_EXIT);
    EXPECT_EQ(n->height, 90);
    EXPECT_EQ(CheckNet(n), 0);
    FreeNet(&n);

    n = M_place_chain_box(2);
    std::vector<std::uint32_t> numbers;
    std::vector<std::uint8_t> types;
    for (MPlace* p : places(n)) numbers.push_back(p->number), types.push_back(p->type);
    EXPECT_EQ(numbers, (std::vector<std::uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(types, (std::vector<std::uint8_t>{1, 0, 0, 2}));
    EXPECT_EQ(n->height, 210);
    EXPECT_EQ(n->last_place->y, 180);
    FreeNet(&n);
}

TEST_F(AlgebraBoxes, ProductVisitsPlacesNumberedZero) {
    MNet* a = atom("a");
    a->last_place->number = 0;  // the exit place
    MNet* n = M_sequence(a, atom("b"));
    EXPECT_EQ(n->place_count, 3u);
    EXPECT_EQ(count_type(n, PLACE_INTERNAL), 1);
    EXPECT_EQ(CheckNet(n), 0);
    FreeNet(&n);
}

TEST_F(AlgebraBoxes, ProductWithoutSelectedPlacesOnOneSide) {
    // B has no entry place: A's exit places go without replacement.
    MNet* a = atom("a");
    MNet* b = atom("b");
    b->first_place->type = PLACE_INTERNAL;
    M_place_product(a, b, PLACE_ENTRY, PLACE_EXIT);
    EXPECT_EQ(a->place_count, 1u);
    EXPECT_EQ(b->place_count, 2u);
    FreeNet(&a);
    FreeNet(&b);
    // A has no exit place: B's entry places are removed all the same.
    a = atom("a");
    b = atom("b");
    a->last_place->type = PLACE_INTERNAL;
    M_place_product(a, b, PLACE_ENTRY, PLACE_EXIT);
    EXPECT_EQ(a->place_count, 2u);
    EXPECT_EQ(b->place_count, 1u);
    EXPECT_EQ(b->first_place->type, PLACE_EXIT);
    FreeNet(&a);
    FreeNet(&b);
}

TEST_F(AlgebraBoxes, ProductMergesFlagsReferencesAndTexts) {
    MNet* a = atom("a");
    MNet* b = atom("b");
    a->last_place->flags = 1;
    a->last_place->label = std::string("x");
    add_reference(a->last_place->refs, 3, 2);
    b->first_place->flags = 4;
    b->first_place->label = std::string("y");
    add_reference(b->first_place->refs, 5, 1);
    MNet* n = M_sequence(a, b);
    for (MPlace* p : places(n))
        if (p->type == PLACE_INTERNAL) {
            EXPECT_EQ(p->flags, 5u);
            EXPECT_EQ(*p->label, "x*y");
            ASSERT_EQ(p->refs.size(), 2u);
            EXPECT_EQ(p->refs[0].number, 3);
            EXPECT_EQ(p->refs[1].number, 5);
        }
    FreeNet(&n);
}

TEST_F(AlgebraBoxes, IterationWithoutBodyIsInitThenExit) {
    MNet* n = M_iteration(nullptr, atom("e", "", "e"), atom("i", "", "i"));
    EXPECT_EQ(n->place_count, 3u);
    EXPECT_EQ(n->trans_count, 2u);
    EXPECT_LT(named(n, "i")->y, named(n, "e")->y);
    FreeNet(&n);
    MNet* e = atom("e");
    EXPECT_EQ(M_iteration(nullptr, e, nullptr), e);
    FreeNet(&e);
}

TEST_F(AlgebraBoxes, RepeatIteration) {
    MNet* n = M_iteration(atom("r", "", "r"), atom("e", "", "e"), atom("i", "", "i"));
    ASSERT_EQ(n->trans_count, 4u);
    MTransition* rep = nullptr;
    for (MTransition* t : transitions(n))
        if (t->flags == TR_REPEAT) rep = t;
    ASSERT_NE(rep, nullptr);
    EXPECT_TRUE(rep->label.empty());
    EXPECT_EQ(rep->comvars.size(), 1u);
    rep->label_text = std::string("REPEAT");
    EXPECT_EQ(n->place_count, 4u);
    EXPECT_EQ(count_type(n, PLACE_ENTRY), 1);
    EXPECT_EQ(count_type(n, PLACE_EXIT), 1);
    int loops = 0;
    for (MPlace* p : places(n)) {
        if (p->type == PLACE_ENTRY) {
            EXPECT_EQ(neighbours(p->out, true), std::vector<std::string>{"i"});
        }
        if (p->type == PLACE_EXIT) {
            EXPECT_EQ(neighbours(p->in, true), std::vector<std::string>{"e"});
        }
        if (p->type != PLACE_INTERNAL) continue;
        if (neighbours(p->in, true) == std::vector<std::string>{"REPEAT", "i"}) {
            EXPECT_EQ(neighbours(p->out, true), (std::vector<std::string>{"e", "r"}));
            ++loops;
        } else {
            EXPECT_EQ(neighbours(p->in, true), std::vector<std::string>{"r"});
            EXPECT_EQ(neighbours(p->out, true), std::vector<std::string>{"REPEAT"});
        }
    }
    EXPECT_EQ(loops, 1);
    EXPECT_EQ(CheckNet(n), 0);
    FreeNet(&n);
}

TEST_F(AlgebraBoxes, RepeatIterationWithSilentInit) {
    MNet* n = M_iteration(atom("r"), atom("e"), nullptr);
    EXPECT_EQ(n->trans_count, 4u);  // silent init, REPEAT, r, e
    int silent = 0;
    for (MTransition* t : transitions(n)) silent += t->label.empty() && t->flags == 0;
    EXPECT_EQ(silent, 1);
    EXPECT_EQ(CheckNet(n), 0);
    FreeNet(&n);
}

TEST_F(AlgebraBoxes, CopiedIteration) {
    MNetOptions[0] = OPT0_COPIED_ITERATION;
    MNet* r = atom("r", "", "r");
    MNet* n = M_iteration(r, atom("e", "", "e"), atom("i", "", "i"));
    // The copies keep the names; tell them apart by their arcs.
    ASSERT_EQ(n->trans_count, 5u);
    EXPECT_EQ(n->place_count, 4u);
    EXPECT_EQ(count_type(n, PLACE_ENTRY), 1);
    EXPECT_EQ(count_type(n, PLACE_EXIT), 1);
    for (MPlace* p : places(n)) {
        if (p->type == PLACE_EXIT) {
            EXPECT_EQ(neighbours(p->in, true), (std::vector<std::string>{"e", "e"}));
        }
        if (p->type != PLACE_INTERNAL) continue;
        auto in = neighbours(p->in, true), out = neighbours(p->out, true);
        bool l1 = in == std::vector<std::string>{"i", "r"} && out == std::vector<std::string>{"e", "r"};
        bool l2 = in == std::vector<std::string>{"r"} && out == std::vector<std::string>{"e", "r"};
        EXPECT_TRUE(l1 || l2);
    }
    EXPECT_EQ(CheckNet(n), 0);
    FreeNet(&n);
}

TEST_F(AlgebraBoxes, DoubledIteration) {
    MNetOptions[0] = OPT0_DOUBLED_ITERATION | OPT0_COPIED_ITERATION;
    MNet* n = M_iteration(atom("r", "", "r"), atom("e", "", "e"), atom("i", "", "i"));
    ASSERT_EQ(n->trans_count, 6u);
    EXPECT_EQ(n->place_count, 4u);
    for (MPlace* p : places(n)) {
        if (p->type == PLACE_ENTRY) {
            EXPECT_EQ(neighbours(p->out, true), (std::vector<std::string>{"i", "i"}));
        }
        if (p->type == PLACE_EXIT) {
            EXPECT_EQ(neighbours(p->in, true), (std::vector<std::string>{"e", "e"}));
        }
        if (p->type == PLACE_INTERNAL) {
            EXPECT_EQ(neighbours(p->in, true), (std::vector<std::string>{"i", "r"}));
            EXPECT_EQ(neighbours(p->out, true), (std::vector<std::string>{"e", "r"}));
        }
    }
    EXPECT_EQ(CheckNet(n), 0);
    FreeNet(&n);
}

TEST_F(AlgebraBoxes, IterationsOfCompositeBodiesCheckClean) {
    for (std::uint8_t opt : {0, int(OPT0_COPIED_ITERATION), int(OPT0_DOUBLED_ITERATION)}) {
        MNetOptions[0] = opt;
        MNet* body = M_choice(M_sequence(atom("a"), atom("b")), M_parallel(atom("c"), atom("d")));
        MNet* exit = M_parallel(atom("e"), atom("f"));
        MNet* n = M_iteration(body, exit, M_choice(atom("g"), atom("h")));
        EXPECT_EQ(CheckNet(n), 0) << int(opt);
        MNet* m = M_sequence(n, M_iteration(atom("x"), atom("y"), nullptr));
        EXPECT_EQ(CheckNet(m), 0) << int(opt);
        FreeNet(&m);
    }
}

TEST_F(AlgebraBoxes, RefinementTakesOverThePlacesOfTheTransition) {
    MNet* n = atom("a");
    MNet* d = M_sequence(atom("c", "", "c"), atom("d", "", "d"));
    MNet* r = M_refine(n, n->first_trans, d);
    EXPECT_EQ(r, d);
    EXPECT_EQ(r->trans_count, 2u);
    EXPECT_EQ(r->place_count, 3u);
    // The refined transition's pre-place was an entry place: no longer.
    EXPECT_EQ(count_type(r, PLACE_ENTRY), 0);
    EXPECT_EQ(count_type(r, PLACE_EXIT), 0);
    EXPECT_EQ(CheckNet(r), 0);
    FreeNet(&r);
}

TEST_F(AlgebraBoxes, RefinementInsideASequence) {
    MNet* n = M_sequence(M_sequence(atom("a", "", "a"), atom("b", "", "b")), atom("c", "", "c"));
    MNet* r = M_refine(n, named(n, "b"), M_choice(atom("x", "", "x"), atom("y", "", "y")));
    EXPECT_EQ(r->trans_count, 4u);
    EXPECT_EQ(count_type(r, PLACE_ENTRY), 1);
    EXPECT_EQ(count_type(r, PLACE_EXIT), 1);
    for (MPlace* p : places(r)) {
        if (p->type != PLACE_INTERNAL) continue;
        auto in = neighbours(p->in, true), out = neighbours(p->out, true);
        EXPECT_TRUE((in == std::vector<std::string>{"a"} && out == std::vector<std::string>{"x", "y"}) ||
                    (in == std::vector<std::string>{"x", "y"} && out == std::vector<std::string>{"c"}));
    }
    EXPECT_EQ(CheckNet(r), 0);
    FreeNet(&r);
}

TEST_F(AlgebraBoxes, LayoutOperations) {
    MNet* n = M_sequence(atom("a", "", "a"), atom("b", "", "b"));
    M_move(n, 10, 20);
    EXPECT_EQ(n->origin_x, 10);
    EXPECT_EQ(n->origin_y, 20);
    EXPECT_EQ(named(n, "b")->y, 200);
    M_rotate_left(n);
    EXPECT_EQ(n->width, 270);
    EXPECT_EQ(n->height, 30);
    EXPECT_EQ(named(n, "b")->x, 200);
    EXPECT_EQ(named(n, "b")->y, -10);
    EXPECT_EQ(n->origin_x, 20);
    EXPECT_EQ(n->origin_y, -10);
    M_rotate_right(n);
    EXPECT_EQ(n->origin_x, 10);
    EXPECT_EQ(n->origin_y, 20);
    EXPECT_EQ(named(n, "b")->x, 10);
    EXPECT_EQ(named(n, "b")->y, 200);
    // A gap of 5 below y 100: elements above move up by 3, below down by 2.
    M_stretch_vertical(n, 100, 100, 5);
    EXPECT_EQ(n->height, 275);
    EXPECT_EQ(n->origin_y, 17);
    EXPECT_EQ(named(n, "a")->y, 77);
    EXPECT_EQ(named(n, "b")->y, 202);
    M_stretch_vertical(n, 100, 100, 0);
    EXPECT_EQ(n->height, 275);
    FreeNet(&n);
}

}  // namespace
}  // namespace algebra_test
