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
    for (bool procedures : {true, false}) {
        procedure_semantics = procedures;
        variable_rendering_mode = procedures ? NAMING_NAMES : NAMING_ID;
        ComVars w;
        new_comvars(w, 2);
        EXPECT_EQ(var_name(w[0].var), "id");
        EXPECT_EQ(var_name(w[1].var), "ie");
    }
}

TEST_F(Terms, FreeingTheWorkBuffers) {
    begin_action(nullptr);
    add_node(N_CONST, VAL_TT, 0);
    max_multiplicity = 4;
    free_work_buffers();
    EXPECT_EQ(current_nodes, nullptr);
    EXPECT_TRUE(current_action.vars.empty());
    EXPECT_EQ(max_multiplicity, 1);
    // The builder starts again as before.
    begin_action(nullptr);
    EXPECT_EQ(current_action.vars.size(), 1u);
    end_action();
    EXPECT_TRUE(current_action.guard.empty());
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

namespace {
// A tree as text with every operator in parentheses, parentheses nodes left
// out, so that two trees compare by their shape.
std::string shape(const TermTable& t, std::uint16_t i, const ComVars& vars) {
    const TermNode& n = t[i];
    switch (n.kind) {
    case N_PAREN: return shape(t, n.left, vars);
    case N_CONST: return std::to_string(static_cast<std::int16_t>(n.left));
    case N_VAR: return var_name(vars[n.left].var);
    case N_NOT: case N_NEG: return "(" + std::to_string(n.kind) + " " + shape(t, n.left, vars) + ")";
    default:
        return "(" + std::to_string(n.kind) + " " + shape(t, n.left, vars) + " " + shape(t, n.right, vars) + ")";
    }
}
}  // namespace

TEST_F(Terms, TermTextReadsBackAsTheSameTree) {
    MTransition t;
    std::uint16_t x = add_comvar("x", t.comvars, &t), a = add_comvar("a", t.comvars, &t),
                  b = add_comvar("b", t.comvars, &t);
    // kind(v, k2(u, w)) or kind(k2(u, w), v); a '-' is kept apart from a
    // following name.
    auto text = [&](std::uint16_t kind, std::uint16_t ll, std::uint16_t lk, std::uint16_t rl, std::uint16_t k2,
                    bool inner_right) {
        TermTable tt = new_term_table();
        std::uint16_t l1 = add_node(tt, N_VAR, ll, NO_COMPONENT), l2 = add_node(tt, N_VAR, lk, NO_COMPONENT);
        std::uint16_t in = add_node(tt, k2, l1, l2);
        std::uint16_t other = add_node(tt, N_VAR, rl, NO_COMPONENT);
        std::uint16_t root = inner_right ? add_node(tt, kind, other, in) : add_node(tt, kind, in, other);
        return term_text(tt, t.comvars, root);
    };
    EXPECT_EQ(text(N_EQ, a, b, x, N_OR, true), "x=(a | b)");
    EXPECT_EQ(text(N_OR, x, a, b, N_EQ, false), "x=a | b");
    EXPECT_EQ(text(N_SUB, a, b, x, N_SUB, true), "x-(a- b)");
    EXPECT_EQ(text(N_SUB, x, a, b, N_SUB, false), "x- a- b");
    EXPECT_EQ(text(N_EQ, x, a, b, N_EQ, false), "(x=a)=b");
    EXPECT_EQ(text(N_MUL, a, b, x, N_ADD, true), "x*(a+b)");
    TermTable tt = new_term_table();
    std::uint16_t prod = add_node(tt, N_MUL, add_node(tt, N_VAR, x, NO_COMPONENT), add_node(tt, N_VAR, a, NO_COMPONENT));
    EXPECT_EQ(term_text(tt, t.comvars, add_node(tt, N_NEG, prod, 0)), "-(x*a)");
    std::uint16_t either = add_node(tt, N_OR, add_node(tt, N_VAR, x, NO_COMPONENT), add_node(tt, N_VAR, b, NO_COMPONENT));
    EXPECT_EQ(term_text(tt, t.comvars, add_node(tt, N_NOT, either, 0)), "! (x | b)");

    // Random trees of every operator, printed and parsed back.
    std::uint32_t seed = 7;
    auto next = [&seed](std::uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    const std::uint16_t binary[] = {N_OR, N_AND, N_EQ, N_NE, N_LT, N_GT, N_LE, N_GE,
                                    N_ADD, N_SUB, N_MUL, N_DIV, N_MOD};
    for (int round = 0; round < 300; ++round) {
        TermTable r = new_term_table();
        std::vector<std::uint16_t> pool;
        for (int k = 0; k < 3; ++k) pool.push_back(add_node(r, N_VAR, static_cast<std::uint16_t>(next(3)), NO_COMPONENT));
        pool.push_back(add_node(r, N_CONST, static_cast<std::uint16_t>(next(5)), 0));
        std::uint16_t root = 0;
        for (int k = 0, n = 1 + static_cast<int>(next(6)); k < n; ++k) {
            std::uint32_t op = next(16);
            std::uint16_t l = pool[next(static_cast<std::uint32_t>(pool.size()))];
            std::uint16_t rr = pool[next(static_cast<std::uint32_t>(pool.size()))];
            if (op < 13) root = add_node(r, binary[op], l, rr);
            else root = add_node(r, op == 13 ? N_NOT : op == 14 ? N_NEG : N_PAREN, l, 0);
            pool.push_back(root);
        }
        if (r[root].kind == N_AND) root = add_node(r, N_NOT, root, 0);  // one conjunct
        const std::string printed = term_text(r, t.comvars, root);
        MTransition back;
        Guard g = parse_guard(printed, &back);
        ASSERT_EQ(g.size(), 1u) << printed;
        EXPECT_EQ(shape(g[0], static_cast<std::uint16_t>(g[0].size() - 1), back.comvars), shape(r, root, t.comvars))
            << printed;
    }
}
