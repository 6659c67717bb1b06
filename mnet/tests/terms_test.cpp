#include <gtest/gtest.h>

#include "mnet_commands.h"
#include "mnet_labels.h"
#include "mnet_textform.h"

using namespace mnet;

namespace {
struct Terms : ::testing::Test {
    void SetUp() override {
        MNetOptions[0] = MNetOptions[1] = MNetOptions[2] = 0;
        procedure_semantics = false;
        variable_rendering_mode = 2;
        init_symtabs();
    }
    void TearDown() override {
        variable_rendering_mode = 0;
        procedure_semantics = false;
        current_nodes = nullptr;
        current_commands = nullptr;
        init_symtabs();
    }
    // The text of a finished action's guard as a transition would write it.
    std::string action_guard_text() {
        MTransition t;
        t.comvars = current_action.vars;
        t.guard = current_action.guard;
        t.restrictions = current_action.restrictions;
        return guard_text(&t);
    }
};
}  // namespace

TEST_F(Terms, ValueSetRangesAndRestrictions) {
    ValueSet s{1, 7};
    valueset_add_range(s, 3, 5);
    valueset_add_range(s, 4, 8);
    valueset_add_range(s, 9, 2);  // empty range: nothing
    EXPECT_EQ(s, (ValueSet{1, 3, 4, 5, 6, 7, 8}));
    RestrictionList r;
    restrict_var(r, 2, NO_COMPONENT, ValueSet{1, 2, 3, 4, 5});
    restrict_var(r, 2, NO_COMPONENT, ValueSet{3, 4, 5, 6, 7, 8, 9});
    restrict_var(r, 1, 0, ValueSet{0});
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].var, 1);
    EXPECT_EQ(r[1].values, (ValueSet{3, 4, 5}));
}

TEST_F(Terms, NormalisationSplitsTopLevelConjuncts) {
    TermTable t = new_term_table();
    auto a = add_node(t, N_EQ, add_node(t, N_VAR, 0, NO_COMPONENT), add_node(t, N_CONST, 1, 0));
    auto b = add_node(t, N_EQ, add_node(t, N_VAR, 1, NO_COMPONENT), add_node(t, N_CONST, 2, 0));
    add_node(t, N_AND, a, b);
    Guard g = normalize_guard(std::move(t), false);
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[0].size(), 4u);  // header, operands before their operator
    EXPECT_EQ(g[0][3].kind, N_EQ);
    EXPECT_EQ(g[0][3].left, 1);
    TermTable one = new_term_table();
    add_node(one, N_VAR, 0, NO_COMPONENT);
    EXPECT_EQ(normalize_guard(std::move(one), false).size(), 1u);
    EXPECT_TRUE(normalize_guard(new_term_table(), false).empty());
}

TEST(TermsDeath, UnknownNodeTypeIsFatal) {
    EXPECT_EXIT(
        {
            TermTable t = new_term_table();
            add_node(t, 77, 0, 0);
            normalize_guard(std::move(t), false);
        },
        ::testing::ExitedWithCode(1), "Internal Error: Unknown node type !");
}

TEST_F(Terms, ForeachExpansionGoesThroughTheInterpreterHooks) {
    TermTable t = new_term_table();
    auto body = add_node(t, N_EQ, add_node(t, N_VAR, 0, NO_COMPONENT), add_node(t, N_CONST, 0, 1));
    add_node(t, N_FOREACH, body, 0);
    ValueSet values{4, 5, 6};
    std::vector<std::pair<int, std::size_t>> calls;
    foreach_expansion.values = [&](std::uint16_t) { return &values; };
    foreach_expansion.before_copy = [&](std::uint16_t, std::int32_t v, std::size_t k) { calls.emplace_back(v, k); };
    Guard g = normalize_guard(std::move(t), true);
    ASSERT_EQ(g.size(), 1u);
    EXPECT_EQ(calls, (std::vector<std::pair<int, std::size_t>>{{6, 2}, {5, 1}, {4, 0}}));
    EXPECT_EQ(g[0].back().kind, N_AND);
    values.clear();
    TermTable e = new_term_table();
    add_node(e, N_FOREACH, add_node(e, N_VAR, 0, NO_COMPONENT), 0);
    Guard g2 = normalize_guard(std::move(e), true);
    EXPECT_EQ(g2[0].back().left, VAL_TT);  // an empty list gives true
    foreach_expansion = ForeachExpansion();
}

TEST_F(Terms, FreshCommunicationVariables) {
    ComVars v;
    new_comvars(v, 3);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(var_name(v[0].var), "@c");
    EXPECT_EQ(var_name(v[1].var), "@d");
    EXPECT_EQ(var_name(v[2].var), "@e");
    ComVars w;
    procedure_semantics = true;
    new_comvars(w, 2);
    EXPECT_EQ(var_name(w[0].var), "id");
    EXPECT_EQ(var_name(w[1].var), "ie");
}

TEST_F(Terms, ReadingAVariableAddsTheAccessTermAndOneConjunct) {
    begin_action(nullptr);
    AccessIdent x{"x"};
    read_value(x);
    std::uint16_t leaf = read_value(x);
    add_node(N_EQ, leaf, add_node(N_CONST, 3, 0));
    end_action();
    ASSERT_EQ(current_action.label.size(), 1u);
    EXPECT_EQ(actset_text(current_action.label, current_action.vars), "x('x,x')");
    EXPECT_EQ(action_guard_text(), "'x=3 & 'x=x'");
}

TEST_F(Terms, AssignmentAndChannels) {
    begin_action(nullptr);
    AccessIdent x{"x"};
    channel_term("c", 2);
    add_node(N_EQ, post_value(x), add_node(N_ADD, pre_value(x), add_node(N_CONST, 1, 0)));
    end_action();
    EXPECT_EQ(actset_text(current_action.label, current_action.vars), "c!(c!),x('x,x')");
    EXPECT_EQ(action_guard_text(), "x'='x+1");
    begin_action(nullptr);
    channel_value("d", 4 | 1);
    EXPECT_TRUE(current_action.procedure_action);
    end_action();
    EXPECT_EQ(actset_text(current_action.label, current_action.vars), "d?" "?(d)");
}

TEST_F(Terms, ProcedureSemanticsAddsTheInstanceParameter) {
    procedure_semantics = true;
    begin_action(nullptr);
    AccessIdent x{"x"};
    access_term(x);
    end_action();
    EXPECT_EQ(actset_text(current_action.label, current_action.vars), "x('x,x',id_x)");
    EXPECT_EQ(action_guard_text(), "id_x=dot");
    begin_action(nullptr);
    AccessIdent r{"r", true, false};
    template_params.max = 5;
    arc_weight_bound = 1;
    access_term(r);
    end_action();
    EXPECT_EQ(actset_text(current_action.label, current_action.vars), "r('r,r',id)");
    EXPECT_EQ(arc_weight_bound, 4);
    EXPECT_EQ(current_action.vars[0].flags & 1, 1);
    arc_weight_bound = 1;
    template_params.max = 0;
}

TEST_F(Terms, ActionVariablesAreLimited) {
    EXPECT_EXIT(
        {
            begin_action(nullptr);
            for (int i = 0; i < 200; ++i) pre_value(AccessIdent{"v" + std::to_string(i)});
        },
        ::testing::ExitedWithCode(1), "A single action produces a transition with too many ComVars !");
}

TEST_F(Terms, TemplateCommandsAreRecordedPoppedAndCancelled) {
    CommandList list;
    EXPECT_EXIT(add_command(3, 0, 0, 0), ::testing::ExitedWithCode(1), "Macros are not allowd in the source net !");
    current_commands = &list;
    add_command(12, 0, 0, 0).flags = 7;
    add_command(11, 0, 7, 0);
    add_command(51, 0, 2, 0);
    set_command_arg3(51, 2, 9);
    EXPECT_EQ(list.back()->a3, 9);
    EXPECT_EXIT(set_command_arg3(51, 3, 1), ::testing::ExitedWithCode(1), "Internal Error: Command not found !");
    CommandList popped = pop_commands(1);
    ASSERT_EQ(popped.size(), 1u);
    EXPECT_EQ(popped[0]->kind, 51);
    cancel_commands(7);
    EXPECT_EQ(list[0]->a3, CMD_CANCELLED);
    EXPECT_EQ(list[1]->a3, CMD_CANCELLED);
    MNetOptions[1] = OPT1_SOURCE_NET;
    EXPECT_EXIT(add_command(3, 0, 0, 0), ::testing::ExitedWithCode(1), "Macros are not allowd in the source net !");
    MNetOptions[1] = 0;
}

TEST_F(Terms, MacrosInTemplateTextsRecordCommands) {
    CommandList list;
    current_commands = &list;
    MTransition t;
    ActionSet s = parse_actionset("$NAME$(x),go", &t);
    EXPECT_EQ(s.size(), 1u);  // the macro term waits for the interpreter
    Inscription i = parse_arclabel("$MAX$,(x,$INDEX$),y", &t);
    t.guard = parse_guard("z $ID_SET$ U {3}: z = $CAPACITY$", &t);
    std::vector<std::uint16_t> kinds;
    for (auto& c : list) kinds.push_back(c->kind);
    EXPECT_EQ(kinds, (std::vector<std::uint16_t>{14, 21, 31, 22, 11, 12, 51}));
    EXPECT_EQ(list[3]->a1, list[2]->a3);  // the element command points at its tuple
    EXPECT_EQ(list[4]->a3, CMD_CANCELLED);  // a single set: no component
    EXPECT_EQ(list[5]->a3, CMD_CANCELLED);
    EXPECT_EQ(inscription_size(i), 1u);
    list.clear();
    std::vector<TypeComponent> sets;
    Inscription f = parse_arclabel("$FOREACH${1..3}:x", &t);
    kinds.clear();
    for (auto& c : list) kinds.push_back(c->kind);
    EXPECT_EQ(kinds, (std::vector<std::uint16_t>{43, 42, 23}));
    EXPECT_EQ(list.back()->sub.size(), 1u);  // the body's variable command
    list.clear();
    t.guard = parse_guard("$FOREACH${1,2}:(x = $ELEMENT$)", &t);
    kinds.clear();
    for (auto& c : list) kinds.push_back(c->kind);
    EXPECT_EQ(kinds, (std::vector<std::uint16_t>{43, 42, 42, 52, 53}));
    ASSERT_EQ(t.guard.size(), 1u);
    EXPECT_EQ(t.guard[0].back().kind, N_FOREACH);
}
