#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "mnet_commands.h"
#include "mnet_labels.h"
#include "mnet_textform.h"

using namespace mnet;

namespace {
struct Labels : ::testing::Test {
    void SetUp() override {
        MNetOptions[0] = MNetOptions[1] = MNetOptions[2] = 0;
        variable_rendering_mode = 0;
        init_action_buffers();
        init_var_buffers();
        init_symtabs();
    }
    void TearDown() override {
        variable_rendering_mode = 0;
        init_symtabs();
    }
    MTransition t;
};

// Prefix form of a conjunct with variables by name, for structural checks.
std::string shape(const TermTable& table, const ComVars& vars, std::uint16_t n) {
    const TermNode& x = table[n];
    switch (x.kind) {
    case N_CONST: return std::to_string(static_cast<std::int16_t>(x.left));
    case N_VAR: {
        std::string s = var_name(vars[x.left].var);
        if (x.right != NO_COMPONENT) s = "pr" + std::to_string(x.right) + s;
        return s;
    }
    case N_NOT: case N_NEG: case N_PAREN:
        return std::to_string(x.kind) + "(" + shape(table, vars, x.left) + ")";
    default:
        return std::to_string(x.kind) + "(" + shape(table, vars, x.left) + "," + shape(table, vars, x.right) + ")";
    }
}

// The terms of a label text (split at top-level commas), sorted: tuples with
// variables get other numbers when read back, so their order may change.
std::vector<std::string> sorted_terms(const std::string& text) {
    std::vector<std::string> out(1);
    int depth = 0;
    for (char c : text) {
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (c == ',' && depth == 0) out.emplace_back();
        else out.back() += c;
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string shapes(const MTransition& t) {
    std::string s;
    for (const auto& c : t.guard) s += shape(c, t.comvars, static_cast<std::uint16_t>(c.size() - 1)) + ";";
    return s;
}
}  // namespace

TEST_F(Labels, ArcLabelsValidAndMerged) {
    Inscription a = parse_arclabel("x,x", &t);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].count, 2);
    EXPECT_EQ(parse_arclabel("x, y", &t).size(), 2u);
    EXPECT_EQ(parse_arclabel("x ,y", &t).size(), 2u);
    Inscription c = parse_arclabel("1,dot,-10,(x,tt)", &t);
    EXPECT_EQ(inscription_text(c, t.comvars), "-10,1,dot,(x@0,tt)");
    variable_rendering_mode = 2;
    EXPECT_EQ(inscription_text(c, t.comvars), "-10,1,dot,(x,tt)");
}

TEST_F(Labels, TildeAndMinusVariablesShareASlot) {
    parse_arclabel("~x", &t);
    parse_arclabel("x,-y", &t);
    ASSERT_EQ(t.comvars.size(), 2u);
    EXPECT_EQ(t.comvars[0].flags, 1);
    EXPECT_EQ(t.comvars[1].flags, 2);
}

TEST(LabelsDeath, BadArcLabels) {
    for (const char* text : {"x y", "(x)", "((x,y),z)", "2*x", "{dot}", "00", "-0", "x,", ""}) {
        EXPECT_EXIT(
            {
                MTransition t;
                parse_arclabel(text, &t);
            },
            ::testing::ExitedWithCode(1), "Syntax-Error in arclabel")
            << text;
    }
    EXPECT_EXIT(
        {
            MTransition t;
            parse_arclabel("(x,y,z,w,v)", &t);
        },
        ::testing::ExitedWithCode(1), "Tupel exceeds maximum dimension !");
    EXPECT_EXIT(
        {
            MTransition t;
            parse_arclabel("32764", &t);
        },
        ::testing::ExitedWithCode(1), "Constant in arc label out of range !");
    EXPECT_EXIT(
        {
            MTransition t;
            for (int i = 0; i < 257; ++i) parse_arclabel("v" + std::to_string(i), &t);
        },
        ::testing::ExitedWithCode(1), "Transition has too many ComVars !");
}

TEST_F(Labels, ActionSets) {
    ActionSet s = parse_actionset("a(x),b(y),c", &t);
    EXPECT_EQ(s.size(), 3u);
    ActionSet c = parse_actionset("^a(x)", &t);
    EXPECT_EQ(c[0].code, action_code("a") + 1);
    EXPECT_EQ(parse_actionset("a(0), a(-10) ,a( 1 , dot )", &t).size(), 3u);
    EXPECT_TRUE(parse_actionset("", &t).empty());
    ActionSet collected;
    action_collector = &collected;
    parse_actionset("q,q", nullptr);
    action_collector = nullptr;
    ASSERT_EQ(collected.size(), 1u);
    EXPECT_EQ(collected[0].mult, 2);
}

TEST(LabelsDeath, BadActionSets) {
    for (const char* text : {"a(00)", "a(-0)", "a ()", "a()", "a (x)", "a b", "1a", "a(x"}) {
        EXPECT_EXIT(
            {
                MTransition t;
                parse_actionset(text, &t);
            },
            ::testing::ExitedWithCode(1), "Syntax-Error in actionset")
            << text;
    }
}

TEST_F(Labels, GuardPrecedence) {
    struct Case {
        const char* text;
        const char* shape;
    } cases[] = {
        {"x | y & z", "102(x,101(y,z));"},
        {"!x & y", "103(x);y;"},
        {"- x * y", "115(118(x),y);"},
        {"x - y - z", "114(114(x,y),z);"},
        {"!x = y", "103(107(x,y));"},
        {"a = !b + c", "107(a,103(113(b,c)));"},
        {"(a & b) & c", "106(101(a,b));c;"},
        {"a & (b & c)", "a;106(101(b,c));"},
        {"a & b & c", "101(a,b);c;"},
        {"pr1(x) = 0", "107(pr1x,0);"},
        {"x >= 2 & y <= dot", "112(x,2);111(y,32766);"},
        {"x-5", "114(x,5);"},
        {"tt", ""},
        {"  ", ""},
    };
    for (const auto& c : cases) {
        MTransition u;
        u.guard = parse_guard(c.text, &u);
        EXPECT_EQ(shapes(u), c.shape) << c.text;
    }
}

TEST(LabelsDeath, GuardErrors) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"x = y = z", "parse error in Guard/Set"},
        {"x <= y >= z", "parse error in Guard/Set"},
        {"x-y", "parse error in Guard/Set while reading \"-y\""},
        {"x = 32764", "Constant out of range !"},
        {"x{-10001}: x", "Constant out of range !"},
        {"pr4(x) = 1", "Index of projection exceeds maximum dimension !"},
        {"x{1}X{2}X{3}X{4}X{5}: x", "Range exceeds maximum dimension !"},
        {"x{1", "parse error"},
        {"$MAX$ = 1", "Macros are not allowd in the source net !"},
    };
    for (const auto& c : cases) {
        EXPECT_EXIT(
            {
                MTransition t;
                parse_guard(c.text, &t);
            },
            ::testing::ExitedWithCode(1), c.message)
            << c.text;
    }
    EXPECT_EXIT(
        {
            MTransition t;
            parse_guard(std::string(5000, '(') + "x" + std::string(5000, ')'), &t);
        },
        ::testing::ExitedWithCode(1), "parser stack overflow");
}

TEST_F(Labels, DeclarationsRestrictComponentByComponent) {
    t.guard = parse_guard("x{1..3,tt} X {0}: pr1(x) = 0", &t);
    ASSERT_EQ(t.restrictions.size(), 2u);
    EXPECT_EQ(t.restrictions[0].component, 0);
    EXPECT_EQ(t.restrictions[0].values, (ValueSet{1, 2, 3, VAL_TT}));
    EXPECT_EQ(t.restrictions[1].component, 1);
    EXPECT_EQ(t.restrictions[1].values, (ValueSet{0}));
    MTransition u;
    u.guard = parse_guard("x{-10000..-9998} & y{}: x = y", &u);
    EXPECT_EQ(u.restrictions[0].component, NO_COMPONENT);
    EXPECT_EQ(u.restrictions[0].values, (ValueSet{-10000, -9999, -9998}));
    EXPECT_TRUE(u.restrictions[1].values.empty());
}

TEST_F(Labels, SetsAndTypes) {
    std::vector<TypeComponent> sets;
    parse_sets("", sets, SEL_RANGE);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(*sets[0], (ValueSet{VAL_DOT}));
    parse_sets("{1..3,5,tt} X {ff, 0..1}", sets, SEL_RANGE);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(valueset_text(*sets[0]), "{1..3,5,tt}");
    EXPECT_EQ(valueset_text(*sets[1]), "{0..1,ff}");
    EXPECT_EQ(valueset_text(ValueSet{1, 2, 3, 5, VAL_TT}), "{1..3,5,tt}");
    EXPECT_EQ(valueset_text(ValueSet{}), "{}");
}

TEST_F(Labels, GuardTextForm) {
    t.guard = parse_guard("x{0..3}: a = b & (c < 1 | d > 2)", &t);
    variable_rendering_mode = 2;
    EXPECT_EQ(guard_text(&t), "x{0..3}: a=b & (c<1 | d>2)");
    MTransition u;
    EXPECT_EQ(guard_text(&u), "tt");
    u.guard = parse_guard("a - b = - c", &u);
    EXPECT_EQ(guard_text(&u), "a- b=- c");
}

// Random guard trees print and read back as the same text and tree.
TEST_F(Labels, RandomGuardsRoundTrip) {
    variable_rendering_mode = 2;
    std::mt19937 rng(7);
    const char* names[] = {"a", "b'", "c_1", "@d", "'e", "f@2"};
    for (int round = 0; round < 300; ++round) {
        MTransition t0;
        for (const char* n : names) t0.comvars.push_back(ComVar{var_code(n), 0});
        TermTable table = new_term_table();
        // Level of a node: 1 or, 2 and, 3 not, 4 comparison, 5 add, 6 mul, 7 neg, 8 atom.
        std::function<std::pair<std::uint16_t, int>(int)> gen = [&](int depth) -> std::pair<std::uint16_t, int> {
            int pick = depth > 4 ? 0 : static_cast<int>(rng() % 10);
            auto wrap = [&](std::pair<std::uint16_t, int> c, bool need) {
                return need ? std::make_pair(add_node(table, N_PAREN, c.first, 0), 8) : c;
            };
            if (pick <= 2) {
                int leaf = static_cast<int>(rng() % 5);
                if (leaf == 0) return {add_node(table, N_CONST, static_cast<std::uint16_t>(rng() % 32764), 0), 8};
                if (leaf == 1)
                    return {add_node(table, N_CONST, static_cast<std::uint16_t>(VAL_FF + rng() % 3), 0), 8};
                auto slot = static_cast<std::uint16_t>(rng() % 6);
                std::uint16_t comp = NO_COMPONENT;
                if (leaf == 4) comp = static_cast<std::uint16_t>(rng() % 4);
                return {add_node(table, N_VAR, slot, comp), 8};
            }
            if (pick == 3) {
                auto c = wrap(gen(depth + 1), false);
                c = wrap(c, c.second < 4);
                return {add_node(table, N_NOT, c.first, 0), 3};
            }
            if (pick == 4) {
                auto c = gen(depth + 1);
                c = wrap(c, c.second < 7);
                return {add_node(table, N_NEG, c.first, 0), 7};
            }
            static const std::uint16_t kinds[] = {N_OR, N_AND, N_EQ, N_NE, N_LT, N_GT, N_LE, N_GE,
                                                  N_ADD, N_SUB, N_MUL, N_DIV, N_MOD};
            std::uint16_t k = kinds[rng() % 13];
            int level = k == N_OR ? 1 : k == N_AND ? 2 : k <= N_GE ? 4 : k <= N_SUB ? 5 : 6;
            auto l = gen(depth + 1);
            l = wrap(l, level == 4 ? l.second <= level : l.second < level);
            auto r = gen(depth + 1);
            r = wrap(r, r.second <= level);
            return {add_node(table, k, l.first, r.first), level};
        };
        gen(0);
        t0.guard = normalize_guard(std::move(table), false);
        std::string text1 = guard_text(&t0);
        MTransition t1;
        t1.guard = parse_guard(text1, &t1);
        std::string text2 = guard_text(&t1);
        ASSERT_EQ(text1, text2) << round;
        if (t0.guard.size() == 1 && !t1.guard.empty()) {
            EXPECT_EQ(shapes(t0), shapes(t1)) << text1;
        }
    }
}

// Rendering mode 0 appends slots: the text is stable from the second round.
TEST_F(Labels, SlotRenderingIsStableFromTheSecondRound) {
    MTransition t0;
    t0.comvars = {{var_code("y"), 0}, {var_code("x"), 0}, {var_code("x"), 0}};
    t0.guard = parse_guard("x = 1", &t0);  // x gets slot 1
    TermTable tb = new_term_table();
    add_node(tb, N_EQ, add_node(tb, N_VAR, 2, NO_COMPONENT), add_node(tb, N_VAR, 0, NO_COMPONENT));
    t0.guard.push_back(tb);
    std::string text1 = guard_text(&t0);
    EXPECT_EQ(text1, "x@1=1 & x@2=y@0");
    MTransition t1;
    t1.guard = parse_guard(text1, &t1);
    std::string text2 = guard_text(&t1);
    MTransition t2;
    t2.guard = parse_guard(text2, &t2);
    EXPECT_EQ(guard_text(&t2), text2);
}

TEST_F(Labels, RandomLabelsRoundTrip) {
    variable_rendering_mode = 2;
    std::mt19937 rng(11);
    const char* names[] = {"x", "y'", "'z", "w_2"};
    const char* actions[] = {"a", "^a", "snd", "^rcv", "b@1"};
    for (int round = 0; round < 300; ++round) {
        MTransition t0;
        for (const char* n : names) t0.comvars.push_back(ComVar{var_code(n), 0});
        auto simple = [&]() -> std::uint16_t {
            switch (rng() % 4) {
            case 0: return static_cast<std::uint16_t>(rng() % 4);
            case 1: return const_to_code(static_cast<std::int32_t>(rng() % 42764) - 10000);
            case 2: return static_cast<std::uint16_t>(CODE_FF + rng() % 3);
            default: return static_cast<std::uint16_t>(rng() % 4);
            }
        };
        Inscription ins;
        int terms = 1 + static_cast<int>(rng() % 4);
        for (int k = 0; k < terms; ++k) {
            std::uint16_t code = simple();
            if (rng() % 3 == 0) {
                Tuple tu;
                int n = 2 + static_cast<int>(rng() % 3);
                for (int e = 0; e < n; ++e) tu.push_back(simple());
                code = static_cast<std::uint16_t>(TUPLE_BASE + intern_tuple(std::move(tu)));
            }
            inscription_add(ins, code, static_cast<std::uint16_t>(1 + rng() % 2));
        }
        std::string text1 = inscription_text(ins, t0.comvars);
        MTransition t1;
        Inscription back = parse_arclabel(text1, &t1);
        ASSERT_EQ(sorted_terms(inscription_text(back, t1.comvars)), sorted_terms(text1));
        ASSERT_EQ(inscription_size(back), inscription_size(ins));

        ActionSet as;
        int nterms = 1 + static_cast<int>(rng() % 3);
        for (int k = 0; k < nterms; ++k) {
            ActionTerm at;
            std::string nm = actions[rng() % 5];
            at.code = nm[0] == '^' ? static_cast<std::uint16_t>(action_code(nm.substr(1)) + 1) : action_code(nm);
            at.nparams = static_cast<std::uint16_t>(rng() % 4);
            for (int p = 0; p < at.nparams; ++p) at.params[p] = simple();
            at.mult = static_cast<std::uint16_t>(1 + rng() % 2);
            actset_add_term(as, at);
        }
        std::string a1 = actset_text(as, t0.comvars);
        MTransition t2;
        ActionSet back_as = parse_actionset(a1, &t2);
        ASSERT_EQ(actset_text(back_as, t2.comvars), a1);
    }
}
