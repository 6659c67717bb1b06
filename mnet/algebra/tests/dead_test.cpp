// The dead-transition check against exhaustive enumeration, and its domains.
#include <functional>
#include <random>

#include "fixture.h"

namespace algebra_test {
namespace {

using AlgebraDead = Algebra;

// Reference semantics: 16-bit arithmetic, tt/ff truth values, and a division
// or remainder by zero anywhere in a conjunct makes it false.
struct Reference {
    const TermTable& c;
    const std::vector<std::int32_t>& values;  // by variable slot
    bool undefined = false;

    static std::int32_t w(std::int32_t v) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(v & 0xffff)); }
    std::int32_t eval(std::uint16_t i) {
        const TermNode& n = c[i];
        auto b = [](bool x) { return x ? std::int32_t(VAL_TT) : std::int32_t(VAL_FF); };
        switch (n.kind) {
        case N_CONST: return static_cast<std::int16_t>(n.left);
        case N_VAR: return values[n.left];
        case N_NOT: return b(eval(n.left) != VAL_TT);
        case N_PAREN: return eval(n.left);
        case N_NEG: return w(-eval(n.left));
        default: break;
        }
        std::int32_t l = eval(n.left), r = eval(n.right);
        switch (n.kind) {
        case N_AND: return b(l == VAL_TT && r == VAL_TT);
        case N_OR: return b(l == VAL_TT || r == VAL_TT);
        case N_EQ: return b(l == r);
        case N_NE: return b(l != r);
        case N_LT: return b(l < r);
        case N_GT: return b(l > r);
        case N_LE: return b(l <= r);
        case N_GE: return b(l >= r);
        case N_ADD: return w(l + r);
        case N_SUB: return w(l - r);
        case N_MUL: return w(l * r);
        case N_DIV:
        case N_MOD:
            if (r == 0) {
                undefined = true;
                return 0;
            }
            return w(n.kind == N_DIV ? l / r : l % r);
        }
        ADD_FAILURE() << "node kind " << n.kind;
        return 0;
    }
    bool holds() {
        std::int32_t v = eval(static_cast<std::uint16_t>(c.size() - 1));
        return !undefined && v == VAL_TT;
    }
};

struct RandomGuard {
    std::mt19937& rng;
    TermTable t = new_term_table();
    int nvars;
    std::set<int> used;

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
    std::uint16_t number(int depth) {
        int k = depth <= 0 ? pick(2) : pick(5);
        if (k == 0) {
            int v = pick(nvars);
            used.insert(v);
            return add_node(t, N_VAR, static_cast<std::uint16_t>(v), NO_COMPONENT);
        }
        if (k == 1) return add_node(t, N_CONST, static_cast<std::uint16_t>(static_cast<std::int16_t>(pick(7) - 3)), 0);
        if (k == 2) return add_node(t, N_NEG, number(depth - 1), 0);
        static const std::uint16_t ops[] = {N_ADD, N_SUB, N_MUL, N_DIV, N_MOD};
        std::uint16_t op = ops[pick(5)];
        std::uint16_t l = number(depth - 1);
        std::uint16_t r = number(depth - 1);
        return add_node(t, op, l, r);
    }
    std::uint16_t truth(int depth) {
        int k = depth <= 0 ? 0 : pick(5);
        if (k <= 1) {
            static const std::uint16_t ops[] = {N_EQ, N_NE, N_LT, N_GT, N_LE, N_GE};
            std::uint16_t op = ops[pick(6)];
            std::uint16_t l = number(depth - 1);
            std::uint16_t r = number(depth - 1);
            return add_node(t, op, l, r);
        }
        if (k == 2) return add_node(t, N_NOT, truth(depth - 1), 0);
        if (k == 3) return add_node(t, N_PAREN, truth(depth - 1), 0);
        std::uint16_t l = truth(depth - 1);
        std::uint16_t r = truth(depth - 1);
        return add_node(t, pick(2) ? N_AND : N_OR, l, r);
    }
};

TEST_F(AlgebraDead, AgreesWithExhaustiveEnumeration) {
    std::mt19937 rng(20261210);
    int satisfiable = 0, unsatisfiable = 0;
    for (int round = 0; round < 1500; ++round) {
        MTransition t;
        int nvars = 1 + static_cast<int>(rng() % 3);
        for (int v = 0; v < nvars; ++v) t.comvars.push_back(ComVar{var_code("v" + std::to_string(v)), 0});
        std::vector<ValueSet> dom(nvars);
        for (int v = 0; v < nvars; ++v) {
            if (rng() % 10 != 0)
                for (int x = -3; x <= 3; ++x)
                    if (rng() % 2) dom[v].push_back(x);
            restrict_var(t.restrictions, static_cast<std::uint16_t>(v), NO_COMPONENT, dom[v]);
        }
        std::set<int> used;
        int nconj = 1 + static_cast<int>(rng() % 3);
        for (int c = 0; c < nconj; ++c) {
            RandomGuard g{rng, new_term_table(), nvars, {}};
            g.truth(1 + static_cast<int>(rng() % 3));
            used.insert(g.used.begin(), g.used.end());
            t.guard.push_back(g.t);
        }
        // Every assignment of the variables the guard reads.
        std::vector<int> vars(used.begin(), used.end());
        std::vector<std::int32_t> values(nvars, 0);
        std::vector<std::size_t> idx(vars.size(), 0);
        bool expected = false, any = true;
        for (int v : vars) any = any && !dom[v].empty();
        while (any && !expected) {
            for (std::size_t k = 0; k < vars.size(); ++k) values[vars[k]] = dom[vars[k]][idx[k]];
            bool all = true;
            for (const TermTable& c : t.guard) all = all && Reference{c, values}.holds();
            expected = all;
            std::size_t k = 0;
            while (k < vars.size() && ++idx[k] == dom[vars[k]].size()) idx[k++] = 0;
            if (k == vars.size()) break;
        }
        ASSERT_EQ(transition_satisfiable(&t), expected) << "round " << round;
        (expected ? satisfiable : unsatisfiable)++;
    }
    // Both answers occur often enough to mean something.
    EXPECT_GT(satisfiable, 300);
    EXPECT_GT(unsatisfiable, 300);
}

// A net of one transition between typed places, built by hand.
struct OneTransition {
    MNet* net = M_new_net();
    MTransition* t;
    OneTransition() {
        MTransition* cursor = nullptr;
        t = M_fast_insert_transition(&net->trans_count, &net->first_trans, &net->last_trans, 1, &cursor, 0);
    }
    ~OneTransition() { FreeNet(&net); }
    MPlace* place(std::uint32_t number, std::vector<ValueSet> components) {
        MPlace* cursor = nullptr;
        MPlace* p = M_fast_insert_place(net, number, &cursor);
        for (auto& c : components) p->components.emplace_back(std::move(c));
        return p;
    }
    void arc(std::uint32_t place, bool pre, Inscription insc) {
        MArc* a = pre ? fast_insert_PT_edge(net->first_place, net->first_trans, place, 1, nullptr, nullptr, nullptr, 0)
                      : M_fast_insert_TP_edge(net->first_place, net->first_trans, place, 1, nullptr, nullptr, nullptr, 0);
        a->inscription = std::move(insc);
    }
    std::uint16_t var(const char* name) { return add_comvar(name, t->comvars, nullptr); }
    std::uint16_t tuple(std::vector<std::uint16_t> elements) {
        return static_cast<std::uint16_t>(TUPLE_BASE + intern_tuple(std::move(elements)));
    }
    bool with_guard(const std::string& text) {
        t->guard = parse_guard(text, t);
        return transition_satisfiable(t);
    }
};

TEST_F(AlgebraDead, DomainsComeFromArcsAndRestrictions) {
    OneTransition n;
    n.place(1, {{1, 2, 3}});
    n.place(2, {{2, 3, 4}});
    std::uint16_t x = n.var("x");
    n.arc(1, true, new_inscription(x));
    n.arc(2, false, new_inscription(x));  // no pre-set needed for this one
    EXPECT_FALSE(n.with_guard("x = 1"));
    EXPECT_TRUE(n.with_guard("x = 3"));
    restrict_var(n.t->restrictions, x, NO_COMPONENT, ValueSet{2});
    EXPECT_FALSE(n.with_guard("x = 3"));
    EXPECT_TRUE(n.with_guard("x = 2"));
    EXPECT_TRUE(n.with_guard(""));
}

TEST_F(AlgebraDead, TransitionWithoutPresetAndEmptyDomains) {
    OneTransition n;
    n.place(1, {{5}});
    std::uint16_t x = n.var("x");
    n.arc(1, false, new_inscription(x));
    EXPECT_TRUE(n.with_guard("x = 5"));
    std::uint16_t y = n.var("y");
    restrict_var(n.t->restrictions, y, NO_COMPONENT, ValueSet{});
    EXPECT_FALSE(n.with_guard("x = 5 & y = y"));
    // A guard variable without any domain: nothing can be said.
    n.var("z");
    EXPECT_TRUE(n.with_guard("z = 1"));
}

TEST_F(AlgebraDead, DivisionByZeroIsFalse) {
    OneTransition n;
    std::uint16_t x = n.var("x"), y = n.var("y");
    restrict_var(n.t->restrictions, x, NO_COMPONENT, ValueSet{1, 2});
    restrict_var(n.t->restrictions, y, NO_COMPONENT, ValueSet{0});
    EXPECT_FALSE(n.with_guard("x / y = 1"));
    EXPECT_FALSE(n.with_guard("x % y = 0"));
    EXPECT_FALSE(n.with_guard("x / y = 1 | x = 1"));
    restrict_var(n.t->restrictions, y, NO_COMPONENT, ValueSet{});
    valueset_add_range(n.t->restrictions.back().values, 0, 1);
    EXPECT_TRUE(n.with_guard("x / y = 2"));
}

TEST_F(AlgebraDead, TupleComponentsAndProjections) {
    OneTransition n;
    n.place(1, {{1, 2}, {5, 6}});
    std::uint16_t x = n.var("x"), y = n.var("y"), z = n.var("z");
    n.arc(1, true, Inscription{{n.tuple({x, y}), 1}});
    n.arc(1, false, new_inscription(z));
    EXPECT_TRUE(n.with_guard("x + y = 8"));
    EXPECT_FALSE(n.with_guard("x + y = 9"));
    EXPECT_TRUE(n.with_guard("pr1(z) = 6 & pr0(z) = x"));
    EXPECT_FALSE(n.with_guard("pr0(z) = 5"));
}

TEST_F(AlgebraDead, InconsistentArcsAndGuardsEndTheProgram) {
    auto run = [](std::function<void(OneTransition&)> f) {
        OneTransition n;
        f(n);
    };
    EXPECT_EXIT(run([](OneTransition& n) {
                    n.place(1, {{1, 2}, {5, 6}});
                    n.arc(1, true, new_inscription(const_to_code(1)));
                    n.with_guard("");
                }),
                ::testing::ExitedWithCode(1), "Single constant at an arc from/to a place with tupels !");
    EXPECT_EXIT(run([](OneTransition& n) {
                    n.place(1, {{1, 2}});
                    n.arc(1, true, new_inscription(const_to_code(3)));
                    n.with_guard("");
                }),
                ::testing::ExitedWithCode(1), "Constant at an arc is not in the corresponding set !");
    EXPECT_EXIT(run([](OneTransition& n) {
                    n.place(1, {{1, 2}, {5, 6}});
                    n.arc(1, true, new_inscription(n.var("z")));
                    n.with_guard("z = 1");
                }),
                ::testing::ExitedWithCode(1), "Identifier of vector used without projection !");
    EXPECT_EXIT(run([](OneTransition& n) {
                    n.place(1, {{1, 2}});
                    n.arc(1, true, new_inscription(n.var("z")));
                    n.with_guard("pr1(z) = 1");
                }),
                ::testing::ExitedWithCode(1), "Projection applied to a non-vector identifier !");
    EXPECT_EXIT(run([](OneTransition& n) {
                    std::uint16_t x = n.var("x");
                    n.place(1, {{1, 2}, {5, 6}});
                    n.place(2, {{1, 2}});
                    n.arc(1, true, new_inscription(x));
                    n.arc(2, false, new_inscription(x));
                    n.with_guard("");
                }),
                ::testing::ExitedWithCode(1), "Variable bound to ranges of different dimensions !");
}

TEST_F(AlgebraDead, CheckIsOnlyActiveWithItsOption) {
    MTransition t;
    t.comvars.push_back(ComVar{var_code("x"), 0});
    restrict_var(t.restrictions, 0, NO_COMPONENT, ValueSet{1});
    t.guard = parse_guard("x = 2", &t);
    EXPECT_TRUE(check_transition_bindings(&t));
    MNetOptions[0] = OPT0_DEAD_TRANSITIONS;
    EXPECT_FALSE(check_transition_bindings(&t));
}

}  // namespace
}  // namespace algebra_test
