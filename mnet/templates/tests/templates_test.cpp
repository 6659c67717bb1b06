// The template interpreter on small template nets written by the tests, and
// the template sets of the source tree passing the consistency check.
#include <gtest/gtest.h>

#include <cstdlib>

#include "mnet_algebra.h"
#include "mnet_labels.h"
#include "mnet_templates.h"
#include "mnet_textform.h"
#include "petri_test.h"

using namespace mnet;

namespace {

struct BoxTemplates : ::testing::Test {
    testsupport::TempDir dir;
    std::vector<MNet*> boxes;

    void SetUp() override {
        MNetOptions[0] = MNetOptions[1] = MNetOptions[2] = 0;
        frontend_kind = FE_BPN2;
        procedure_semantics = false;
        init_action_buffers();
        init_var_buffers();
        init_symtabs();
        init_blocks();
        free_boxes();
        set_template_directory(dir.path());
        template_params = TemplateParams();
        template_runtime = TemplateRuntime();
    }
    void TearDown() override {
        for (MNet*& b : boxes) FreeNet(&b);
        free_boxes();
        set_template_directory("");
    }
    // A template file: the HLNet header and the sections given.
    void put(int n, const std::string& sections) {
        ASSERT_TRUE(testsupport::write_file(dir.file(box_template(n).file), "VOS\nHLNet\nFORMAT_N\n" + sections));
    }
    MNet* get(int n, bool required = true) {
        MNet* b = get_box(n, required);
        if (b) boxes.push_back(b);
        return b;
    }
};

std::string arc_text(const MArc* a) { return inscription_text(a->inscription, a->trans->comvars); }

const std::string one_place_one_transition =
    "PL\n1 0@0 b\"$NAME$ has $CAPACITY$\" Z\"{0..$CAPACITY$}\"\nTR\n1 0@60 i\"^$NAME$(v)\"\nTP\n1<1 p\"v\"\nPT\n";

TEST_F(BoxTemplates, CopiesRunTheirCommandsWithTheParametersOfTheirCall) {
    put(BOX_VAR, one_place_one_transition);
    template_params.name = "x";
    template_params.capacity = 3;
    MNet* a = get(BOX_VAR);
    template_params.name = "y";
    template_params.capacity = 1;
    MNet* b = get(BOX_VAR);
    ASSERT_TRUE(a && b);
    EXPECT_NE(a->first_place, b->first_place);
    EXPECT_EQ(*a->first_place->label, "x has 3");
    EXPECT_EQ(*b->first_place->label, "y has 1");
    EXPECT_EQ(place_type_text(a->first_place), "{0..3}");
    EXPECT_EQ(place_type_text(b->first_place), "{0..1}");
    EXPECT_EQ(actset_text(a->first_trans->label, a->first_trans->comvars), "^x(v@0)");
    EXPECT_EQ(actset_text(b->first_trans->label, b->first_trans->comvars), "^y(v@0)");
    // The template itself keeps its macros.
    EXPECT_EQ(*load_box(BOX_VAR, true)->first_place->label, "$NAME$ has $CAPACITY$");
}

TEST_F(BoxTemplates, OptionalTemplateFoundMissingStaysMissing) {
    EXPECT_EQ(get(BOX_PROC, false), nullptr);
    put(BOX_PROC, one_place_one_transition);
    EXPECT_EQ(get(BOX_PROC, false), nullptr);
    EXPECT_EQ(box_template(BOX_PROC).state, BoxTemplate::State::Missing);
}

TEST_F(BoxTemplates, VariantLetterRenamesTheFileAndRereadsIt) {
    put(BOX_CHAN, one_place_one_transition);
    template_params.name = "c";
    ASSERT_TRUE(get(BOX_CHAN));
    set_box_variant(BOX_CHAN, 's');
    EXPECT_EQ(box_template(BOX_CHAN).file, "chan_box_s.hl_net");
    EXPECT_EQ(box_template(BOX_CHAN).state, BoxTemplate::State::NotLoaded);
    put(BOX_CHAN, "PL\n1 0@0 b\"$NAME$ variant\"\nTR\nTP\nPT\n");
    MNet* b = get(BOX_CHAN);
    ASSERT_TRUE(b);
    EXPECT_EQ(*b->first_place->label, "c variant");
    set_box_variant(BOX_CHAN, '0');
}

TEST_F(BoxTemplates, ForeachOverAValueListRunsItsBodyPerValue) {
    // Kind 23 with index 1, 2, 3 and element 5, 6, 7; a tuple made from
    // macros is interned per copy, so an earlier copy keeps its tokens.
    put(BOX_VAR,
        "PL\n1 0@0 Z\"{1..3} X {5..9}\"\n2 0@120 Z\"{0..9} X {0..9}\"\nTR\n1 0@60\nTP\n"
        "1<1 p\"$FOREACH${5..7}:($INDEX$,$ELEMENT$)\"\n1<2 p\"($MAX$,v)\"\nPT\n");
    template_params.max = 4;
    MNet* a = get(BOX_VAR);
    template_params.max = 8;
    MNet* b = get(BOX_VAR);
    ASSERT_TRUE(a && b);
    std::vector<std::string> texts;
    for (MArc* arc = a->first_trans->post; arc; arc = arc->tnext) texts.push_back(arc_text(arc));
    EXPECT_EQ(texts, (std::vector<std::string>{"(1,5),(2,6),(3,7)", "(4,v@0)"}));
    EXPECT_EQ(arc_text(b->first_trans->post->tnext), "(8,v@0)");
}

TEST_F(BoxTemplates, ForeachInAGuardExpandsIntoConjuncts) {
    put(BOX_VAR, "PL\n1 0@0\nTR\n1 0@60 g\"$FOREACH$ $ID_SET$ : (x # $ELEMENT$ + $MAX$)\"\nTP\nPT\n1>1 p\"x\"\n");
    template_params.id_set = {1, 2};
    template_params.max = 10;
    MNet* a = get(BOX_VAR);
    ASSERT_TRUE(a);
    EXPECT_EQ(guard_text(a->first_trans), "x@0#2+10 & x@0#1+10");
    template_params.id_set.clear();
    MNet* b = get(BOX_VAR);
    ASSERT_TRUE(b);
    EXPECT_EQ(guard_text(b->first_trans), "tt");  // the empty set gives true
}

TEST_F(BoxTemplates, VariablesNamedByMacrosInForeachBodies) {
    // Kind 24 on the arc, kind 54 in the guard: one variable per value.
    put(BOX_VAR_INIT,
        "PL\n1 0@0\nTR\n1 0@60 g\"$FOREACH$ {1..2} : (w$ELEMENT$ # $INDEX$)\"\nTP\nPT\n"
        "1>1 p\"$FOREACH${1..2}:w$ELEMENT$\"\n");
    MNet* a = get(BOX_VAR_INIT);
    ASSERT_TRUE(a);
    EXPECT_EQ(arc_text(a->first_trans->pre), "w2@0,w1@1");  // the guard, expanded first, made w2
    EXPECT_EQ(guard_text(a->first_trans), "w2@0#2 & w1@1#1");
}

TEST_F(BoxTemplates, RangesAndSetsOfPlacesAndRestrictions) {
    put(BOX_VAR,
        "PL\n1 0@0 Z\"$DECL_SET$ U {dot} X {1..$MAX$}\"\nTR\n1 0@60 g\"v $DECL_SET$ & w {0..$MAX$} : v = w\" i\"a(v,w)\"\n"
        "TP\nPT\n");
    template_params.decl_set = {3, 4};
    template_params.max = 2;
    MNet* a = get(BOX_VAR);
    ASSERT_TRUE(a);
    EXPECT_EQ(place_type_text(a->first_place), "{3..4,dot} X {1..2}");
    EXPECT_EQ(guard_text(a->first_trans), "v@0{3..4} & w@1{0..2}: v@0=w@1");
}

TEST_F(BoxTemplates, MarksAndRememberedPlaceBelongToTheLastBox) {
    put(BOX_PROC_CALL,
        "PL\n1 0@0 e\n2 0@120 R\"$REF_PAR$\"\n3 0@240 x\nTR\n1 0@60 g\"$CALL_PAR$ tt\"\n2 0@180 g\"$RETURN_PAR$ tt\"\n"
        "TP\n1<2 p\"dot\"\n2<3 p\"dot\"\nPT\n1>1 p\"dot\"\n2>2 p\"dot\"\n");
    put(BOX_VAR, one_place_one_transition);
    MNet* call = get(BOX_PROC_CALL);
    ASSERT_TRUE(call);
    ASSERT_TRUE(template_runtime.marks[MARK_CALL_PAR] && template_runtime.marks[MARK_RETURN_PAR]);
    EXPECT_EQ(template_runtime.marks[MARK_CALL_PAR]->y, 60);
    ASSERT_TRUE(template_runtime.remembered_place);
    EXPECT_EQ(template_runtime.remembered_place->y, 120);
    ASSERT_TRUE(get(BOX_VAR));
    for (MTransition* m : template_runtime.marks) EXPECT_EQ(m, nullptr);
    EXPECT_EQ(template_runtime.remembered_place, nullptr);
}

TEST_F(BoxTemplates, RefinementReplacesTheBodyTransitionOnce) {
    put(BOX_PROC, "PL\n1 0@0 e\n2 0@120 x\nTR\n1 0@60 g\"$BODY$ tt\"\nTP\n1<2 p\"dot\"\nPT\n1>1 p\"dot\"\n");
    put(BOX_VAR, one_place_one_transition);
    MTransition tmp;
    new_comvars(tmp.comvars, 1);
    ActionSet label = parse_actionset("b", &tmp);
    template_runtime.refinement = M_atomic_box(label, nullptr, nullptr, tmp.comvars, 0);
    MNet* p = get(BOX_PROC);
    ASSERT_TRUE(p);
    EXPECT_EQ(template_runtime.refinement, nullptr);
    ASSERT_EQ(p->trans_count, 1u);
    EXPECT_EQ(actset_text(p->first_trans->label, p->first_trans->comvars), "b");
    EXPECT_EQ(CheckNet(p), 0);
    EXPECT_EXIT(get_box(BOX_PROC, true), ::testing::ExitedWithCode(1), "no net to refine");
}

TEST_F(BoxTemplates, MacroWordsInNames) {
    // Words built from several macros and the channel suffixes read and
    // come out whole.
    put(BOX_VAR, "PL\n1 0@0\nTR\n1 0@60 i\"^$NAME$$EXT$($ARG$$EXT$,v$INDEX$),^$NAME$!!(tt)\"\nTP\nPT\n1>1 p\"v$INDEX$\"\n");
    template_params.name = "c@P";
    template_params.arg = "d";
    template_params.ext = "?";
    template_params.index = 7;
    MNet* a = get(BOX_VAR);
    ASSERT_TRUE(a);
    EXPECT_EQ(actset_text(a->first_trans->label, a->first_trans->comvars), "^c@P?(d?@0,v7@1),^c@P!!(tt)");
    EXPECT_EQ(arc_text(a->first_trans->pre), "v7@1");
    // The text reads back.
    MTransition t;
    EXPECT_EQ(actset_text(parse_actionset("^c@P?(d?@0,v7@1),c!!(x!@2)", &t), t.comvars),
              "^c@P?(d?@0,v7@1),c!!(x!@2)");
}

TEST_F(BoxTemplates, SubstituteMacros) {
    template_params.name = "x";
    template_params.capacity = 3;
    template_params.init = 32765;
    EXPECT_EQ(substitute_macros("$NAME$:$CAPACITY$/$INIT$"), "x:3/32765");
    EXPECT_EXIT(substitute_macros("$NAME$ $SIZE$"), ::testing::ExitedWithCode(1), "Unknown macro in hl_net-box !");
}

using BoxTemplatesDeath = BoxTemplates;

TEST_F(BoxTemplatesDeath, FatalErrors) {
    put(BOX_VAR, "PL\n1 0@0 b\"$NAME$ $SIZE$\"\nTR\nTP\nPT\n");
    EXPECT_EXIT(get_box(BOX_VAR, true), ::testing::ExitedWithCode(1), "Unknown macro in hl_net-box !");
    EXPECT_EXIT(get_box(BOX_VAR_INIT, true), ::testing::ExitedWithCode(4), "could not open file");
    set_template_directory("");
    unsetenv("VOSHOME");
    EXPECT_EXIT(get_box(BOX_VAR_INIT, true), ::testing::ExitedWithCode(1),
                "Environment variable \\$VOSHOME must be set !");
}

TEST_F(BoxTemplates, DirectoryFromVoshomeByFrontEndAndProcedureSemantics) {
    set_template_directory("");
    setenv("VOSHOME", dir.path().c_str(), 1);
    const std::string sub = dir.path() + "/lib/progcast/___procs.hl";
    ASSERT_EQ(testsupport::run("mkdir -p " + testsupport::shell_quote(sub)).exit_code, 0);
    ASSERT_TRUE(testsupport::write_file(sub + "/var_box.hl_net", "VOS\nHLNet\nFORMAT_N\n" + one_place_one_transition));
    procedure_semantics = true;
    EXPECT_TRUE(get(BOX_VAR));
    EXPECT_EQ(template_directory(), dir.path() + "/lib/progcast/___procs.hl/");
    procedure_semantics = false;
    unsetenv("VOSHOME");
}

// Every template of our two sets, with the parameters the translation sets,
// copies into a consistent box.
TEST(ProgcastTemplateSets, EveryTemplatePassesTheConsistencyCheck) {
    for (bool procedures : {false, true}) {
        SCOPED_TRACE(procedures);
        init_symtabs();
        init_blocks();
        free_boxes();
        procedure_semantics = procedures;
        set_template_directory(std::string(VOS_SOURCE_DIR) + "/frontends/templates/lib/progcast/" +
                               (procedures ? "___procs.hl" : "no_procs.hl"));
        template_params = TemplateParams();
        template_params.name = "x";
        template_params.arg = "y";
        template_params.ext = "?";
        template_params.decl_set = {0, 1, 2};
        template_params.id_set = {32766};
        template_params.new_ids = {1, 2};
        template_params.capacity = 3;
        template_params.capacity_plus_one = 4;
        template_params.max = 2;
        template_params.init = 1;
        for (int n = 0; n < (procedures ? 32 : 18); ++n) {
            SCOPED_TRACE(box_template(n).file);
            if (procedures && (n == BOX_PROC || n == BOX_PROC_SET)) {
                ComVars vars;
                new_comvars(vars, 1);
                template_runtime.refinement = M_atomic_box(ActionSet(), nullptr, nullptr, vars, 0);
            }
            MNet* b = get_box(n, true);
            ASSERT_TRUE(b);
            EXPECT_EQ(CheckNet(b), 0);
            if (n == BOX_PROC || n == BOX_PROC_SET) {
                EXPECT_EQ(template_runtime.refinement, nullptr);
                EXPECT_TRUE(template_runtime.marks[MARK_PAR_PRE] && template_runtime.marks[MARK_PAR_POST]);
            }
            if (n == BOX_PROC_CALL) {
                EXPECT_TRUE(template_runtime.remembered_place);
            }
            FreeNet(&b);
        }
        free_boxes();
    }
    procedure_semantics = false;
    set_template_directory("");
}

}  // namespace
