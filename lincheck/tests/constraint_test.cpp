// Linear constraints: evaluation, bound propagation, undo and systems.
#include <gtest/gtest.h>

#include "constraints.h"
#include "prefix_fixture.h"
#include "unfolding.h"

using namespace vorga;
using namespace vorga_test;

namespace {

// n independent events, each consuming its own initial condition.
class ConstraintTest : public testing::Test {
protected:
    void SetUp() override {
        Prefix p;
        p.places = {"p"};
        p.transitions = {"t"};
        for (std::uint32_t e = 1; e <= 4; ++e) {
            p.event_trans.push_back(1);
            p.conds.push_back({1, 0, {e}});
        }
        ASSERT_TRUE(u_.parse(mci_bytes(p)));
        store.init_store(u_);
        store.level = 2;
    }
    void TearDown() override { store.free_store(); }

    template <class C>
    std::shared_ptr<C> make(std::vector<std::pair<std::uint32_t, std::int64_t>> terms, std::int64_t bound) {
        auto c = std::make_shared<C>();
        for (auto [i, a] : terms) c->func.add(i, a);
        c->bound = bound;
        c->normalise();
        return c;
    }
    unfolding u_;
};

}  // namespace

TEST_F(ConstraintTest, InequalityWithoutFreeEventsIsDecided) {
    store.include_event(0);
    store.exclude_event(1);
    auto ok = make<inequat>({{0, 2}, {1, 5}}, 2);
    EXPECT_EQ(ok->propagate(), PROP_CONSISTENT | PROP_SATISFIED);
    EXPECT_EQ(ok->stamp, 2u);
    auto bad = make<inequat>({{0, 2}, {1, 5}}, 1);
    EXPECT_EQ(bad->propagate(), PROP_CONTRADICTION);
}

TEST_F(ConstraintTest, ExtremeInequalityExcludesEverything) {
    auto c = make<inequat>({{0, 1}, {1, 1}}, 0);  // x1 + x2 <= 0
    EXPECT_EQ(c->propagate(), PROP_CONSISTENT | PROP_FIXED | PROP_SATISFIED);
    EXPECT_TRUE(store.is_zero_fixed(0));
    EXPECT_TRUE(store.is_zero_fixed(1));
    EXPECT_EQ(c->stamp, 2u);
}

TEST_F(ConstraintTest, InequalityForcesOnlyWhatItMust) {
    // -x1 - x2 + 3 x3 <= -1 with x3 = 1: needs x1 + x2 >= 4 - impossible
    store.include_event(2);
    EXPECT_EQ(make<inequat>({{0, -1}, {1, -1}, {2, 3}}, -1)->propagate(), PROP_CONTRADICTION);
    store.undo(2);
    // -x1 - 2 x2 + x3 <= -2: x2 must be 1; x3 = 1 then needs x1 = 1 too, so x3 stays open.
    auto c = make<inequat>({{0, -1}, {1, -2}, {2, 1}}, -2);
    EXPECT_EQ(c->propagate(), PROP_CONSISTENT | PROP_FIXED);
    EXPECT_TRUE(store.is_one(1));
    EXPECT_TRUE(store.is_free(0));
    EXPECT_TRUE(store.is_free(2));
}

TEST_F(ConstraintTest, EquationPropagatesBothWays) {
    store.include_event(0);
    auto c = make<equat>({{0, 1}, {1, -1}}, 0);  // x1 - x2 = 0
    EXPECT_NE(c->propagate() & PROP_FIXED, 0);
    EXPECT_TRUE(store.is_one(1));
    store.undo(2);
    store.exclude_event(0);
    auto d = make<equat>({{0, 1}, {1, -1}}, 0);
    EXPECT_NE(d->propagate() & PROP_SATISFIED, 0);
    EXPECT_TRUE(store.is_zero_fixed(1));
    // 2 x1 + x2 + x3 = 2 with x1 = 0: x2 and x3 both 1.
    store.undo(2);
    store.exclude_event(0);
    auto e = make<equat>({{0, 2}, {1, 1}, {2, 1}}, 2);
    EXPECT_NE(e->propagate(), PROP_CONTRADICTION);
    EXPECT_TRUE(store.is_one(1));
    EXPECT_TRUE(store.is_one(2));
    EXPECT_TRUE(e->holds());
}

TEST_F(ConstraintTest, NormaliseSumsMixedOccurrences) {
    lin_func f;
    f.add(0, 2);
    f.add(0, -3);
    f.add(0, 1);   // x1: 2 - 3 + 1 = 0, dropped
    f.add(1, -1);
    f.add(1, 2);   // x2: +1
    f.add(2, -1);
    f.add(2, -1);  // x3: -2
    f.add(3, 1);
    f.add(3, -2);  // x4: -1
    f.normalise();
    ASSERT_EQ(f.pos.count(), 1u);
    EXPECT_EQ(f.pos.items[0].index, 1u);
    EXPECT_EQ(f.pos.items[0].coef, 1);
    ASSERT_EQ(f.neg.count(), 2u);
    EXPECT_EQ(f.neg.items[0].coef, -2);
    EXPECT_EQ(f.neg.items[1].coef, -1);
    // x1 + x2 + x3 + x4 = 1 reached only as x2 = 1: the equation must not
    // call this impossible.
    equat eq;
    eq.func = f;
    eq.bound = 1;
    EXPECT_NE(eq.propagate(), PROP_CONTRADICTION);
}

TEST_F(ConstraintTest, SparseListMergesAtItsLimit) {
    sparse_list l;
    l.merge_limit = 4;
    for (int k = 0; k < 10; ++k) l.append(k % 2, 1);
    l.sort_merge();
    ASSERT_EQ(l.count(), 2u);
    EXPECT_EQ(l.items[0].coef + l.items[1].coef, 10);
}

TEST_F(ConstraintTest, SystemsPropagateHoldAndUndo) {
    lin_constr_system empty;
    EXPECT_TRUE(empty.holds());
    EXPECT_EQ(empty.propagate(), PROP_CONSISTENT);

    lin_constr_system sys;
    sys.add(make<inequat>({{0, 1}, {1, 1}}, 0));  // closes at once
    sys.add(make<inequat>({{2, -1}}, 0));         // -x3 <= 0: always true
    sys.add(make<equat>({{3, 1}}, 1));            // x4 = 1
    store.level = 3;
    EXPECT_EQ(sys.propagate(), PROP_CONSISTENT);
    EXPECT_EQ(sys.first_open, 3u);
    EXPECT_TRUE(store.is_one(3));
    EXPECT_TRUE(sys.holds());
    sys.undo(3);
    store.undo(3);
    EXPECT_EQ(sys.first_open, 0u);
    EXPECT_FALSE(sys.holds());        // x4 = 1 open again
    EXPECT_FALSE(sys.holds_active());
}

TEST_F(ConstraintTest, ScoreMaskBranchesOnlyTowardsTheBounds) {
    lin_constr_system sys;
    sys.add(make<inequat>({{0, -1}, {1, 1}}, -1));  // x1 - ... needs x1
    sys.holds();
    std::vector<std::uint8_t> bits(1, 0);
    sys.branching_mask(bits);
    EXPECT_FALSE(mask_bit(bits, 0));  // branching on x1 helps
    EXPECT_TRUE(mask_bit(bits, 1));
    EXPECT_TRUE(mask_bit(bits, 2));   // not in the system
}
