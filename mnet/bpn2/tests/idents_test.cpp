// Ranges, the scoped identifier table, the checks of identifier uses and
// procedure arguments, and the syntax tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "bpn2_idents.h"

using namespace bpn2;

namespace {

struct Bpn2Idents : ::testing::Test {
    void SetUp() override {
        mnet::parsing_flag = 0;
        mnet::error_counter = 0;
        init_idents();
    }
    void TearDown() override { init_idents(); }

    IdentToken token(const std::string& name) {
        IdentToken t;
        lookup_ident(name, t);
        t.pos = {1, 1, 1, 1 + static_cast<std::uint32_t>(name.size())};
        return t;
    }
    IdentRec* declare(const std::string& name, std::uint8_t cls, std::int32_t value = NO_VALUE,
                      RangePtr ranges = nullptr) {
        IdentRec* r = declare_ident(token(name));
        give_typ(cls, ranges, value);
        return r;
    }
};

RangePtr ranges(std::initializer_list<std::pair<int, int>> list) {
    RangePtr r;
    for (auto [a, b] : list) r = merge_range(new_range(a, b), r);
    return r;
}

std::string text(const RangePtr& r) {
    std::string s;
    for (const Range& x : r->ranges) s += "[" + std::to_string(x.low) + "," + std::to_string(x.high) + "]";
    return s;
}

TEST_F(Bpn2Idents, Ranges) {
    EXPECT_EQ(text(ranges({{3, 1}})), "[1,3]");
    EXPECT_EQ(text(ranges({{1, 3}, {4, 6}})), "[1,6]");
    EXPECT_EQ(text(ranges({{1, 3}, {5, 6}})), "[1,3][5,6]");
    EXPECT_EQ(text(ranges({{5, 6}, {1, 3}, {2, 5}})), "[1,6]");
    EXPECT_EQ(text(ranges({{8, 9}, {1, 1}, {4, 4}})), "[1,1][4,4][8,9]");
    EXPECT_EQ(ranges({{8, 9}})->high(), 9);
    EXPECT_EQ(mnet::error_counter, 0);

    testing::internal::CaptureStderr();
    EXPECT_EQ(text(ranges({{1, mnet::VAL_TT}})), "[32764,32765]");
    EXPECT_EQ(text(ranges({{1, 2}, {mnet::VAL_TT, mnet::VAL_TT}})), "[1,2]");
    EXPECT_EQ(text(ranges({{mnet::VAL_FF, mnet::VAL_FF}, {0, 0}})), "[32764,32764]");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "error  : true/false and numbers were mixed in a single declaration\n"
              "error  : true/false and numbers were mixed in a single declaration\n"
              "error  : true/false and numbers were mixed in a single declaration\n");
    EXPECT_EQ(mnet::error_counter, 3);

    RangePtr r = ranges({{1, 3}, {7, 9}});
    EXPECT_TRUE(in_range(r.get(), 8));
    EXPECT_FALSE(in_range(r.get(), 5));
    EXPECT_TRUE(range_subset(ranges({{2, 3}, {7, 7}}).get(), r.get()));
    EXPECT_FALSE(range_subset(ranges({{2, 7}}).get(), r.get()));
    EXPECT_EQ(range_list_to_set(r.get()), (ValueSet{1, 2, 3, 7, 8, 9}));
    EXPECT_EQ(range_list_to_set(nullptr), ValueSet{});
}

TEST_F(Bpn2Idents, RangesMergedInAnyOrderMatchTheirValues) {
    // Random ranges, added one by one, against the plain set of their values:
    // sorted, neither overlapping nor touching, covering exactly those values.
    std::uint32_t seed = 7;
    auto next = [&](std::uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) % n);
    };
    for (int round = 0; round < 50; ++round) {
        RangePtr r;
        std::set<std::int32_t> values;
        const int count = 1 + next(60);
        for (int k = 0; k < count; ++k) {
            const int a = next(300), b = next(4) ? a + next(3) : next(300);
            r = merge_range(new_range(a, b), r);
            for (int v = std::min(a, b); v <= std::max(a, b); ++v) values.insert(v);
        }
        for (std::size_t i = 1; i < r->ranges.size(); ++i)
            EXPECT_LT(std::int64_t(r->ranges[i - 1].high) + 1, r->ranges[i].low) << text(r);
        EXPECT_EQ(range_list_to_set(r.get()), ValueSet(values.begin(), values.end())) << text(r);
    }
    EXPECT_EQ(mnet::error_counter, 0);
}

TEST_F(Bpn2Idents, ScopesDeclarationsAndUse) {
    IdentRec* x = declare("x", VARIABLE, NO_VALUE, ranges({{0, 1}}));
    EXPECT_EQ(x->cls(), VARIABLE);
    testing::internal::CaptureStderr();
    IdentRec* again = declare_ident(token("x"));
    EXPECT_EQ(again, x);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "error  : multiple declaration of identifier x\n");

    open_scope();
    IdentRec* inner = declare("x", CHANNEL, 2, ranges({{0, 1}}));
    EXPECT_NE(inner, x);
    EXPECT_EQ(find_ident("x"), inner);
    IdentRec* y = declare("y", VARIABLE, 1, ranges({{0, 1}}));
    IdentToken tz;
    lookup_ident("z", tz);  // an undeclared use
    y->use = 0x11;
    testing::internal::CaptureStderr();
    IdentRec* closed = close_scope();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "warning: identifier x declared but not used\n");
    // Newest first; reversed they are in declaration order.
    std::vector<std::string> names;
    for (IdentRec* r = reverse_idents(closed); r; r = r->next) names.push_back(r->name);
    EXPECT_EQ(names, (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(find_ident("x"), x);
    EXPECT_EQ(find_ident("y"), nullptr);
    EXPECT_EQ(find_ident("-")->name, "-");

    // Parameters lie one level deeper.
    IdentRec* p = declare_param(token("a"));
    EXPECT_EQ(p->level, current_level() + 1);
    EXPECT_EQ(p->mode, BY_VALUE);
    give_typ(VARIABLE, ranges({{0, 1}}), NO_VALUE);
    testing::internal::CaptureStderr();
    declare_param(token("a"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "error  : multiple declaration of parameter a\n");
    IdentRec* list = append_param(nullptr, BY_REFERENCE, p);
    IdentRec* q = declare_param(token("b"));
    give_typ(VARIABLE, nullptr, NO_VALUE);
    list = append_param(list, BY_RESULT, q);
    EXPECT_EQ(list, p);
    EXPECT_EQ(p->next_param, q);
    EXPECT_EQ(p->mode, BY_REFERENCE);
    EXPECT_EQ(q->mode, BY_RESULT);
}

TEST_F(Bpn2Idents, TypesAndTheirErrors) {
    testing::internal::CaptureStderr();
    IdentRec* x = declare("x", VARIABLE, 7, ranges({{0, 5}}));
    IdentRec* c = declare("c", CHANNEL, -1, ranges({{0, 5}}));
    IdentRec* d = declare("d", STACK, mnet::VAL_TT, ranges({{0, 5}}));
    IdentRec* k = declare("k", CONSTANT, 12);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "error  : invalid initialization\nerror  : Capacity must be positive !\n"
              "error  : Capacity must be a number !\n");
    EXPECT_EQ(x->number, NO_VALUE);
    EXPECT_EQ(x->range, (ValueSet{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(c->number, -1);
    EXPECT_EQ(d->capacity, mnet::VAL_TT);
    EXPECT_EQ(k->number, 12);
    // The names of one declaration share their type.
    declare_ident(token("u"));
    declare_ident(token("v"));
    give_typ(VARIABLE, ranges({{0, 2}}), 1);
    EXPECT_EQ(find_ident("u")->number, 1);
    EXPECT_EQ(find_ident("v")->ranges, find_ident("u")->ranges);
    EXPECT_EXIT((declare_ident(token("w")), give_typ(9, nullptr, 0)), ::testing::ExitedWithCode(1),
                "Internal error: Unknown type in give_typ !");
}

TEST_F(Bpn2Idents, UsesOfIdentifiers) {
    IdentRec* x = declare("x", VARIABLE, NO_VALUE, ranges({{0, 1}}));
    IdentRec* p = declare("P", PROCEDURE);
    IdentToken t;
    IdentRec* q = lookup_ident("Q", t);
    testing::internal::CaptureStderr();
    check_ident(x, VARIABLE);
    check_ident(x, CHANNEL);
    check_ident(q, VARIABLE);
    check_ident2(x, CHANNEL, STACK);
    EXPECT_FALSE(check_proc_ident(p, PROCEDURE));
    EXPECT_FALSE(check_proc_ident(q, PROCEDURE));
    set_procedure_group_mode(true);
    EXPECT_TRUE(check_proc_ident(q, PROCEDURE_PARAMS));
    check_ident(q, PROCEDURE);  // a procedure of the group may come later
    check_ident(q, VARIABLE);   // but not a variable
    set_procedure_group_mode(false);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "error  : incorrect use of identifier x\nerror  : undeclared identifier Q\n"
              "error  : incorrect use of identifier x\nerror  : undeclared identifier Q\n"
              "error  : undeclared identifier Q\n");
    EXPECT_EQ(p->use, USED_FULLY);
}

// The argument checks: an argument (an expression, or an identifier of a
// class) against a formal (passing mode, class, range, capacity).
TEST_F(Bpn2Idents, ArgumentChecks) {
    IdentRec* v02 = declare("v02", VARIABLE, NO_VALUE, ranges({{0, 2}}));
    IdentRec* v09 = declare("v09", VARIABLE, NO_VALUE, ranges({{0, 9}}));
    IdentRec* c1 = declare("c1", CHANNEL, 1, ranges({{0, 2}}));
    IdentRec* s1 = declare("s1", STACK, 1, ranges({{0, 2}}));
    IdentRec* proc = declare("P", PROCEDURE);
    IdentRec* blk = declare("B", BLOCK_NAME);
    IdentToken t;
    IdentRec* und = lookup_ident("und", t);
    auto formal = [&](const std::string& name, std::uint8_t cls, std::uint8_t mode, int number = NO_VALUE) {
        IdentRec* f = declare_param(token(name));
        give_typ(cls, ranges({{0, 5}}), number);
        f->mode = mode;
        return f;
    };
    IdentRec* val = formal("fv", VARIABLE, BY_VALUE);
    IdentRec* con = formal("fc", VARIABLE, BY_CONST);
    IdentRec* res = formal("fr", VARIABLE, BY_RESULT);
    IdentRec* ref = formal("fx", VARIABLE, BY_REFERENCE);
    IdentRec* refc = formal("fk", CHANNEL, BY_REFERENCE, 1);
    IdentRec* refc2 = formal("fk2", CHANNEL, BY_REFERENCE, 2);
    struct Case {
        IdentRec* arg;  // null: an expression
        IdentRec* formal;
        std::string message;
        std::uint8_t use;
    } cases[] = {
        {nullptr, val, "", 0},
        {nullptr, res, "error  : pass by result expected for parameter fr\n", 0},
        {nullptr, ref, "error  : pass by reference expected for parameter fx\n", 0},
        {v02, val, "", USED_AS_ARGUMENT},
        {v09, con, "warning: argument v09 must have subset as range\n", USED_AS_ARGUMENT},
        {v02, res, "warning: argument v02 must have superset as range\n", USED_AS_ARGUMENT},
        {v09, res, "warning: argument v09 must have subset as range\n", USED_AS_ARGUMENT},
        {v09, ref, "", USED_BY_REFERENCE},
        {v02, refc, "error  : argument v02 has incompatible type\nwarning: argument v02 must have superset as range\n",
         USED_BY_REFERENCE},
        {c1, val, "error  : argument c1 has incompatible type\n", 0},
        {c1, refc2, "warning: argument c1 must have superset as range\nerror  : argument c1 has incompatible capacity\n",
         USED_FULLY},
        {s1, refc, "error  : argument s1 has incompatible type\nwarning: argument s1 must have superset as range\n",
         USED_FULLY},
        {und, val, "error  : undeclared identifier und\n", 0},
        {proc, val, "error  : incorrect use of procedure P as argument\n", 0},
        {blk, val, "error  : incorrect use of identifier B\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        if (c.arg) c.arg->use = 0;
        std::vector<ArgEntry> args;
        testing::internal::CaptureStderr();
        check_args(args, nullptr);  // nothing, nothing to check
        ArgEntry e;
        e.ident = c.arg;
        args.push_back(e);
        IdentRec* saved = c.formal->next_param;
        c.formal->next_param = nullptr;
        check_args(args, c.formal);
        c.formal->next_param = saved;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        EXPECT_EQ(args[0].mode, c.formal->mode);
        if (c.arg) {
            EXPECT_EQ(c.arg->use, c.use);
        }
    }
}

TEST_F(Bpn2Idents, ArgumentCounts) {
    IdentRec* p = declare("P", PROCEDURE_PARAMS);
    IdentRec* a = declare_param(token("a"));
    give_typ(VARIABLE, ranges({{0, 1}}), NO_VALUE);
    set_next_param(p, append_param(nullptr, BY_VALUE, a));
    std::vector<Node*> exprs;
    auto expression = [&] {
        exprs.push_back(new_node(mnet::N_CONST));
        return exprs.back();
    };
    std::vector<ArgEntry> args;
    testing::internal::CaptureStderr();
    start_arguments(p);
    check_arg(args, ARG_EXPRESSION, nullptr, expression());
    check_arg(args, ARG_EXPRESSION, nullptr, expression());
    end_arguments();
    start_arguments(p);
    end_arguments();
    start_arguments(nullptr);  // parameters not known yet: no checks
    check_arg(args, ARG_EXPRESSION, nullptr, expression());
    end_arguments();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "error  : too many arguments\nerror  : too few arguments\n");
    EXPECT_EQ(args.size(), 3u);
    for (Node* n : exprs) delete_tree(n);
}

TEST_F(Bpn2Idents, TreesAreFreedWithoutRecursion) {
    // A sequence of 200000 actions, nested to the left.
    Node* chain = new_node(K_ACTION, new_node(mnet::N_CONST));
    for (int k = 0; k < 200000; ++k) chain = new_node(K_SEQ, chain, new_node(K_ACTION, new_node(mnet::N_CONST)));
    delete_tree(chain);
    EXPECT_EXIT(delete_tree(new_node(99)), ::testing::ExitedWithCode(1), "Unknown node type in delete_tree !");
}

}  // namespace
