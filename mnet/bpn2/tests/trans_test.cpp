// The translation of small syntax trees with the template set of the
// source tree.
#include <gtest/gtest.h>

#include "bpn2_trans.h"
#include "mnet_textform.h"
#include "petri_test.h"

using namespace bpn2;
using namespace mnet;

namespace {

const std::string our_set = std::string(VOS_SOURCE_DIR) + "/frontends/templates/lib/progcast/";

struct Bpn2Translation : ::testing::Test {
    std::vector<Node*> trees;
    std::vector<MNet*> nets;
    std::uint32_t line = 0;

    void SetUp() override {
        MNetOptions[0] = MNetOptions[1] = MNetOptions[2] = 0;
        procedure_semantics = false;
        init_action_buffers();
        init_var_buffers();
        init_symtabs();
        init_blocks();
        init_idents();
        init_translation();
        free_boxes();
        set_template_directory(our_set + "no_procs.hl");
        template_params = TemplateParams();
        error_counter = 0;
    }
    void TearDown() override {
        for (MNet*& n : nets) FreeNet(&n);
        for (Node* t : trees) delete_tree(t);
        free_boxes();
        set_template_directory("");
        init_symtabs();
        init_idents();
        procedure_semantics = false;
    }

    IdentRec* var(const std::string& name, std::int32_t init = NO_VALUE) {
        IdentToken t;
        lookup_ident(name, t);
        t.pos = {++line, 1, line, 2};  // references of different places
        IdentRec* r = declare_ident(t);
        give_typ(VARIABLE, merge_range(new_range(0, 1), nullptr), init);
        return r;
    }
    Node* action() { return new_node(K_ACTION, new_node(N_CONST)); }
    // A block of the declarations made since its scope was opened.
    Node* block(Node* command) {
        Node* b = new_node(K_BLOCK, command);
        testing::internal::CaptureStderr();  // the unused declarations
        b->decls = close_scope();
        testing::internal::GetCapturedStderr();
        return b;
    }
    MNet* translate(Node* tree) {
        trees.push_back(tree);
        MNet* n = trans_block(tree);
        nets.push_back(n);
        return n;
    }
};

TEST_F(Bpn2Translation, BlockWithoutDeclarationsIsItsCommand) {
    open_scope();
    MNet* n = translate(block(action()));
    EXPECT_EQ(n->place_count, 2u);
    EXPECT_EQ(n->trans_count, 1u);
    EXPECT_EQ(block_table_size(), 1u);
    EXPECT_EQ(CheckNet(n), 0);
}

TEST_F(Bpn2Translation, DeclarationsWithoutCommandGiveTheDataBoxes) {
    open_scope();
    var("x");
    var("y", 1);
    MNet* n = translate(block(nullptr));
    // Two value places, each with its access, init and term partners.
    EXPECT_EQ(n->place_count, 2u);
    EXPECT_EQ(n->trans_count, 6u);
}

TEST_F(Bpn2Translation, LoopWithoutExitEndsInOnePlace) {
    open_scope();
    Node* loop = new_node(K_LOOP, new_node(K_REPEAT, action()));
    MNet* n = translate(block(loop));
    int exits = 0;
    for (MPlace* p = n->first_place; p; p = p->next)
        if (p->type == PLACE_EXIT) {
            ++exits;
            EXPECT_EQ(p->in, nullptr);
        }
    EXPECT_EQ(exits, 1);
}

TEST_F(Bpn2Translation, DeclarationsInitialiseInOrderAndTerminateInReverse) {
    // The initialisation transitions of x and y follow each other in
    // declaration order down the net, the terminations in reverse.
    open_scope();
    var("x");
    var("y");
    MNet* n = translate(block(action()));
    std::map<std::string, std::int32_t> y_of;
    for (MTransition* t = n->first_trans; t; t = t->next)
        for (const RefEntry& r : t->refs)
            if (r.decoration == 32 || r.decoration == 64) {
                auto* ident = dynamic_cast<IdentRec*>(ref_get(r.number));
                ASSERT_TRUE(ident);
                y_of[ident->name + (r.decoration == 32 ? " init" : " term")] = t->y;
            }
    ASSERT_EQ(y_of.size(), 4u);
    EXPECT_LT(y_of["x init"], y_of["y init"]);
    EXPECT_LT(y_of["y term"], y_of["x term"]);
}

TEST_F(Bpn2Translation, InitialMarkingMacroGetsTheValueText) {
    // A template set whose data box starts marked with $INIT$.
    testsupport::TempDir dir;
    for (const char* f : {"initvar_init.hl_net", "initvar_term.hl_net"})
        ASSERT_TRUE(testsupport::write_file(dir.file(f), testsupport::read_file(our_set + "no_procs.hl/" + f)));
    ASSERT_TRUE(testsupport::write_file(dir.file("initvar_box.hl_net"),
                                        "VOS\nHLNet\nFORMAT_N\nPL\n1 0@0 z\"{$INIT$}\" Z\"$DECL_SET$\"\nTR\nTP\nPT\n"));
    set_template_directory(dir.path());
    open_scope();
    IdentToken t;
    lookup_ident("b", t);
    declare_ident(t);
    give_typ(VARIABLE, merge_range(new_range(VAL_FF, VAL_TT), nullptr), VAL_TT);
    lookup_ident("n", t);
    declare_ident(t);
    give_typ(VARIABLE, merge_range(new_range(0, 9), nullptr), 7);
    MNet* n = translate(block(nullptr));
    std::set<std::string> markings;
    for (MPlace* p = n->first_place; p; p = p->next) markings.insert(p->initial_marking.value_or(""));
    EXPECT_EQ(markings, (std::set<std::string>{"{tt}", "{7}"}));
}

TEST_F(Bpn2Translation, InstanceSets) {
    EXPECT_EQ(new_instance_set(2), (ValueSet{1, 2}));
    EXPECT_EQ(new_instance_set(3), (ValueSet{3, 4, 5}));
    MNetOptions[1] = OPT1_FRESH_INSTANCES;
    EXPECT_EQ(new_instance_set(2), (ValueSet{1, 2}));
    EXPECT_EQ(new_instance_set(32763).back(), 32763);
    EXPECT_EXIT(new_instance_set(32764), ::testing::ExitedWithCode(1), "Too many procedure instances !");
}

TEST_F(Bpn2Translation, ReferenceParametersAreQualified) {
    IdentToken t;
    lookup_ident("a", t);
    IdentRec* a = declare_param(t);
    give_typ(VARIABLE, nullptr, NO_VALUE);
    lookup_ident("b", t);
    IdentRec* b = declare_param(t);
    give_typ(VARIABLE, nullptr, NO_VALUE);
    IdentRec* list = append_param(append_param(nullptr, BY_VALUE, a), BY_REFERENCE, b);
    qualify_ref_params(list, "P");
    qualify_ref_params(list, "P");
    EXPECT_EQ(a->name, "a");
    EXPECT_EQ(b->name, "b@P");
}

TEST_F(Bpn2Translation, NestedProceduresAreFatal) {
    procedure_semantics = true;
    set_template_directory(our_set + "___procs.hl");
    open_scope();
    IdentToken t;
    lookup_ident("P", t);
    IdentRec* p = declare_ident(t);
    give_typ(PROCEDURE, nullptr, 0);
    open_scope();  // P's body
    lookup_ident("Q", t);
    IdentRec* q = declare_ident(t);
    give_typ(PROCEDURE, nullptr, 0);
    open_scope();
    q->body.reset(block(action()));
    p->body.reset(block(action()));
    Node* outer = block(action());
    trees.push_back(outer);
    EXPECT_EXIT(trans_block(outer), ::testing::ExitedWithCode(1), "Nested procedures are not allowed !");
}

}  // namespace
