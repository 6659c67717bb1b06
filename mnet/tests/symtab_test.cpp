#include <gtest/gtest.h>

#include "mnet_symtab.h"

using namespace mnet;

namespace {
struct Symtabs : ::testing::Test {
    void SetUp() override {
        MNetOptions[0] = MNetOptions[1] = MNetOptions[2] = 0;
        variable_rendering_mode = 0;
        init_action_buffers();
        init_var_buffers();
        init_symtabs();
    }
    void TearDown() override { init_symtabs(); }
};

ActionTerm term(std::uint16_t code, std::initializer_list<std::uint16_t> params, std::uint16_t mult = 1) {
    ActionTerm t;
    t.code = code;
    for (auto p : params) t.params[t.nparams++] = p;
    t.mult = mult;
    return t;
}
}  // namespace

TEST_F(Symtabs, ActionCodesAndConjugates) {
    EXPECT_EQ(action_code("a"), 2);
    EXPECT_EQ(action_code("b"), 4);
    EXPECT_EQ(action_code("a"), 2);
    std::string buf;
    EXPECT_EQ(action_name(3, buf), "^a");
    EXPECT_EQ(action_name(4, buf), "b");
    for (int i = 0; i < 101; ++i) action_code("n" + std::to_string(i));
    EXPECT_EQ(action_count(), 103u);
    EXPECT_EQ(action_name(2, buf), "a");  // codes handed out earlier stay valid
}

TEST_F(Symtabs, VariablesIgnoreOneLeadingTildeOrMinus) {
    std::uint16_t x = var_code("~x");
    EXPECT_EQ(var_code("-x"), x);
    EXPECT_EQ(var_code("x"), x);
    EXPECT_EQ(var_name(x), "x");
    EXPECT_NE(var_code("x'"), x);
}

TEST_F(Symtabs, ReferencesSharedByPositionAndTuplesInterned) {
    auto* r1 = new RefRecord{};
    r1->line1 = 3;
    r1->kind = 9;
    auto* r2 = new RefRecord{};
    r2->line1 = 3;
    r2->kind = 9;
    EXPECT_EQ(ref_code(r1), 1);
    EXPECT_EQ(ref_code(r2), 1);
    delete r2;
    EXPECT_EQ(ref_get(1), r1);
    EXPECT_EQ(ref_get(2), nullptr);
    Tuple t1{1, 2}, t2{1, 2}, t3{2, 1};
    EXPECT_EQ(intern_tuple(std::move(t1)), 1);
    EXPECT_EQ(intern_tuple(std::move(t2)), 1);
    EXPECT_TRUE(t2.empty());
    EXPECT_EQ(intern_tuple(std::move(t3)), 2);
    EXPECT_EQ(get_tuple(2), (Tuple{2, 1}));
}

TEST_F(Symtabs, SourceNetModeMakesANewReferenceEveryTime) {
    MNetOptions[1] = OPT1_SOURCE_NET;
    auto* a = new RefRecord{};
    auto* b = new RefRecord{};
    EXPECT_EQ(ref_code(a), 1);
    EXPECT_EQ(ref_code(b), 2);
    free_symtab(Symtab::References);  // owns and frees both
    MNetOptions[1] = 0;
}

TEST_F(Symtabs, ConstantsRender) {
    ComVars none;
    std::string b;
    EXPECT_EQ(render_term(10256, none, b), "0");
    EXPECT_EQ(render_term(256, none, b), "-10000");
    EXPECT_EQ(render_term(CODE_TT, none, b), "tt");
    EXPECT_EQ(render_term(CODE_DOT, none, b), "dot");
    EXPECT_EQ(render_term(CODE_FF, none, b), "ff");
    Tuple t{const_to_code(1), CODE_DOT};
    std::uint16_t n = intern_tuple(std::move(t));
    EXPECT_EQ(render_term(static_cast<std::uint16_t>(TUPLE_BASE + n), none, b), "(1,dot)");
}

TEST_F(Symtabs, VariableRenderingModes) {
    ComVars v{{var_code("x"), 0}, {var_code("y'"), 1}, {var_code("x"), 0}, {var_code("z@3"), 0}};
    std::string b;
    EXPECT_EQ(render_term(0, v, b), "x@0");
    EXPECT_EQ(render_term(1, v, b), "y@1'");
    EXPECT_EQ(render_term(3, v, b), "z@3");  // already carries its slot
    // Written by name in the modes of autocast and of progcast -n; the "id"
    // mode of fresh variables writes slots.
    for (int mode : {NAMING_NAMES, NAMING_BPN2}) {
        variable_rendering_mode = mode;
        EXPECT_EQ(render_term(0, v, b), "x@2");
        EXPECT_EQ(render_term(2, v, b), "x@1");
        EXPECT_EQ(render_term(1, v, b), "y'");
    }
    variable_rendering_mode = NAMING_ID;
    EXPECT_EQ(render_term(0, v, b), "x@0");
    variable_rendering_mode = NAMING_SLOTS;
}

TEST_F(Symtabs, ActionSetOperations) {
    std::uint16_t a = action_code("a"), b = action_code("b");
    ActionSet s;
    actset_add_term(s, term(b, {}));
    actset_add_term(s, term(a, {1}));
    actset_add_term(s, term(a, {0}));
    actset_add_term(s, term(a, {0}, 2));
    ASSERT_EQ(actset_size(s), 3u);
    EXPECT_EQ(s[0].params[0], 0);
    EXPECT_EQ(s[0].mult, 3);
    EXPECT_EQ(actset_multiplicity(s), 5);
    EXPECT_NE(find_action(a, 1, &s), nullptr);
    EXPECT_EQ(find_action(a, 2, &s), nullptr);
    EXPECT_EQ(find_action(0, 0, &s), nullptr);

    ActionSet minus{term(a, {7}, 1)};
    ActionSet c = s;
    actset_minus(c, minus);  // any parameters: both a-terms lose one
    EXPECT_EQ(actset_multiplicity(c), 3);
    ActionSet d = s;
    actset_minus_exact(d, ActionSet{term(a, {0}, 5)});
    EXPECT_EQ(actset_size(d), 2u);

    ActionSet e{term(a, {0}, 1), term(static_cast<std::uint16_t>(a + 1), {0}, 1), term(b, {})};
    std::uint16_t map[256];
    for (int i = 0; i < 256; ++i) map[i] = static_cast<std::uint16_t>(i);
    actset_remove_pair(e, &e[0], map, 1);
    ASSERT_EQ(actset_size(e), 1u);
    EXPECT_EQ(e[0].code, b);

    EXPECT_EQ(actsets_disjoint(ActionSet{term(a, {})}, ActionSet{term(static_cast<std::uint16_t>(a + 1), {})}), 0);
    EXPECT_EQ(actsets_disjoint(ActionSet{term(a, {})}, ActionSet{term(a, {1})}), 1);

    ComVars v{{var_code("x"), 0}, {var_code("y"), 0}};
    ActionSet p{term(a, {0, const_to_code(5)}, 3)};
    EXPECT_EQ(actset_text(p, v), "a(x@0,5),a(x@0,5),a(x@0,5)");
}

TEST_F(Symtabs, InscriptionOperations) {
    Inscription a = new_inscription(1);
    inscription_union(a, new_inscription(0));
    inscription_union(a, new_inscription(1));
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(inscription_count(1, &a), 2);
    EXPECT_EQ(inscription_count(0, nullptr), 0);
    EXPECT_EQ(inscription_size(a), 3u);
    std::uint16_t map[256] = {};
    map[0] = 1;
    map[1] = 1;
    Inscription b = copy_inscription(a, map);  // both slots become 1 and merge
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].count, 3);
    EXPECT_EQ(inscription_identical(a, a), 1);
    EXPECT_EQ(inscription_identical(a, b), 0);
    Tuple t{0, const_to_code(4)};
    auto code = static_cast<std::uint16_t>(TUPLE_BASE + intern_tuple(std::move(t)));
    map[0] = 7;
    std::uint16_t sub = substitute_tuple(code, map);
    EXPECT_EQ(get_tuple(static_cast<std::uint16_t>(sub - TUPLE_BASE)), (Tuple{7, const_to_code(4)}));
}

TEST_F(Symtabs, TermsAddedOneByOneGiveTheUnion) {
    // Terms added one at a time (as data boxes fill a block's action list)
    // end as the union of the one-term sets, in order, multiplicities summed.
    std::uint32_t seed = 12345;
    auto next = [&](std::uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<std::uint16_t>((seed >> 16) % n);
    };
    ActionSet added, merged;
    for (int k = 0; k < 3000; ++k) {
        ActionTerm t = k % 3 ? term(static_cast<std::uint16_t>(2 + next(40)), {next(3)}, static_cast<std::uint16_t>(1 + next(2)))
                             : term(static_cast<std::uint16_t>(2 + next(40)), {}, 1);
        actset_add_term(added, t);
        actset_union(merged, ActionSet{t});
    }
    EXPECT_TRUE(actset_equal(added, merged));
    EXPECT_EQ(actset_multiplicity(added), actset_multiplicity(merged));
    for (std::size_t i = 1; i < added.size(); ++i) EXPECT_GT(compare_action_terms(added[i - 1], added[i]), 0);
    EXPECT_EXIT(
        {
            ActionSet a{term(2, {}, 65535)};
            actset_add_term(a, term(2, {}, 1));
        },
        ::testing::ExitedWithCode(1), "Overflow: action name too often used");
}

TEST(SymtabsDeath, MultiplicityOverflowIsFatal) {
    EXPECT_EXIT(
        {
            ActionSet a{term(2, {}, 65535)};
            actset_union(a, ActionSet{term(2, {}, 1)});
        },
        ::testing::ExitedWithCode(1), "Overflow: action name too often used. Remedy: 'action'");
    EXPECT_EXIT(
        {
            Inscription a = new_inscription(0);
            a[0].count = 65535;
            inscription_union(a, new_inscription(0));
        },
        ::testing::ExitedWithCode(1), "Overflow: variable name too often used. Remedy: 'Variable'");
}

TEST_F(Symtabs, DebugListings) {
    action_code("go");
    var_code("v");
    testing::internal::CaptureStdout();
    print_action_table();
    print_variable_table();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "table of action symbols:\n     2. 'go'.\nend of action symbols\n"
              "table of variable symbols:\n     1. 'v'.\nend of variable symbols\n");
}
