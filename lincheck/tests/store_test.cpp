// Reading ".mci" files and the variable store's closures.
#include <gtest/gtest.h>

#include <fstream>

#include "petri_test.h"
#include "prefix_fixture.h"
#include "problems.h"
#include "unfolding.h"

using namespace vorga;
using namespace vorga_test;

namespace {

// Conflict fixture:
//   B1 (p1, initial) -> E1 (a) -> B3 (p2) -> E3 (c) -> B5 (p3) -> E4 (d)
//   B1               -> E2 (b) -> B4 (p2)
//   B2 (p4, initial) -> E5 (e, cut-off) -> B6 (p5)
Prefix conflict_prefix() {
    Prefix p;
    p.event_trans = {1, 2, 3, 4, 5};
    p.conds = {{1, 0, {1, 2}}, {4, 0, {5}}, {2, 1, {3}}, {2, 2, {}}, {3, 3, {4}}, {5, 5, {}}};
    p.cutoffs = {{5, 0}};
    p.configs = {{1, 3, 4}, {2}};
    p.places = {"p1", "p2", "p3", "p4", "p5"};
    p.transitions = {"a", "b", "c", "d", "e"};
    return p;
}

std::vector<std::uint32_t> vec(prefixfile::Span s) { return {s.begin(), s.end()}; }

unfolding load(const Prefix& p) {
    unfolding u;
    EXPECT_TRUE(u.parse(mci_bytes(p)));
    return u;
}

}  // namespace

TEST(ReadUnfolding, ReadsStructureNamesAndCutoffs) {
    unfolding u = load(conflict_prefix());
    EXPECT_EQ(u.n_conditions(), 6u);
    EXPECT_EQ(u.n_events(), 5u);
    EXPECT_EQ(u.cutoff_count(), 1u);
    EXPECT_TRUE(u.events[4].cutoff);
    EXPECT_EQ(vec(u.events[0].preset), std::vector<std::uint32_t>{1});
    EXPECT_EQ(vec(u.events[0].postset), std::vector<std::uint32_t>{3});
    EXPECT_EQ(vec(u.conditions[0].consumers), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(u.lookup_place("p3"), 3u);
    EXPECT_EQ(u.lookup_place("p9"), 0u);
    EXPECT_EQ(u.lookup_transition("d"), 4u);
    EXPECT_EQ(vec(u.place_conditions[2]), (std::vector<std::uint32_t>{3, 4}));
}

TEST(ReadUnfolding, RejectsDamagedFiles) {
    struct Damage {
        const char* what;
        std::function<void(Prefix&)> apply;
    };
    const Damage cases[] = {
        {"transition 0", [](Prefix& p) { p.event_trans[0] = 0; }},
        {"transition beyond the names", [](Prefix& p) { p.event_trans[1] = 6; }},
        {"place beyond the names", [](Prefix& p) { p.conds[2].place = 6; }},
        {"producer beyond the events", [](Prefix& p) { p.conds[2].pre = 9; }},
        {"consumer beyond the events", [](Prefix& p) { p.conds[1].post = {6}; }},
        {"consumer listed twice", [](Prefix& p) { p.conds[1].post = {5, 5}; }},
        {"cut-off beyond the events", [](Prefix& p) { p.cutoffs = {{7, 0}}; }},
        {"corresponding event beyond the events", [](Prefix& p) { p.cutoffs = {{5, 8}}; }},
        {"configuration event beyond the events", [](Prefix& p) { p.configs = {{1, 99}}; }},
        // E1 consumes B5, which E3 produces after E1: a cycle E1 -> B3 -> E3 -> B5 -> E1.
        {"cyclic flow", [](Prefix& p) { p.conds[4].post = {1, 4}; }},
        {"self loop", [](Prefix& p) { p.conds[2].post = {1}; }},
    };
    for (const Damage& d : cases) {
        Prefix p = conflict_prefix();
        d.apply(p);
        unfolding u;
        EXPECT_FALSE(u.parse(mci_bytes(p))) << d.what;
    }
    // Truncated anywhere, including inside the name block.
    std::vector<unsigned char> b = mci_bytes(conflict_prefix());
    for (std::size_t n : {std::size_t{0}, std::size_t{6}, std::size_t{40}, b.size() - 12, b.size() - 4}) {
        std::vector<unsigned char> cut(b.begin(), b.begin() + static_cast<long>(n));
        unfolding u;
        EXPECT_FALSE(u.parse(cut)) << "cut at " << n;
    }
    // Counts the file cannot hold are refused before allocation.
    std::vector<unsigned char> huge = b;
    huge[0] = huge[1] = huge[2] = huge[3] = 0xff;
    unfolding u;
    EXPECT_FALSE(u.parse(huge));
}

TEST(ReadUnfolding, ReportsMissingAndTruncatedFiles) {
    testsupport::TempDir dir;
    unfolding u;
    testing::internal::CaptureStderr();
    EXPECT_EQ(u.ReadUnfolding(dir.file("none.mci")), unfolding::ReadStatus::cannot_open);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), " Error: cannot open " + dir.file("none.mci") + "\n");
    std::vector<unsigned char> b = mci_bytes(conflict_prefix());
    std::ofstream(dir.file("t.mci"), std::ios::binary).write(reinterpret_cast<const char*>(b.data()), 60);
    testing::internal::CaptureStderr();
    EXPECT_EQ(u.ReadUnfolding(dir.file("t.mci")), unfolding::ReadStatus::bad_file);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\n Error while reading a file.\n");
}

TEST(VariableStore, IncludeClosesCausallyAndExcludesConflicts) {
    unfolding u = load(conflict_prefix());
    store.init_store(u);
    store.fix_cutoffs();
    EXPECT_TRUE(store.is_zero_fixed(4));
    store.level = 2;
    // E4 pulls in E3 and E1; E2 (in conflict with E1) is excluded.
    ASSERT_TRUE(store.include_event(3));
    EXPECT_TRUE(store.is_one(0));
    EXPECT_TRUE(store.is_one(2));
    EXPECT_TRUE(store.is_zero_fixed(1));
    EXPECT_EQ(store.ones, 3u);
    store.undo(2);
    for (std::uint32_t e = 0; e < 4; ++e) EXPECT_TRUE(store.is_free(e)) << e;
    EXPECT_TRUE(store.is_zero_fixed(4));  // level 1 stays
    // Including E2 excludes E1 and, transitively, E3 and E4.
    ASSERT_TRUE(store.include_event(1));
    EXPECT_TRUE(store.is_zero_fixed(0));
    EXPECT_TRUE(store.is_zero_fixed(2));
    EXPECT_TRUE(store.is_zero_fixed(3));
    EXPECT_FALSE(store.include_event(3));
    store.undo(2);
    // A cut-off event cannot be included.
    EXPECT_FALSE(store.include_event(4));
    store.free_store();
}

TEST(VariableStore, FailedIncludeIsUndoneWithItsLevel) {
    unfolding u = load(conflict_prefix());
    store.init_store(u);
    store.level = 2;
    ASSERT_TRUE(store.exclude_event(0));  // E1 and its future at 0
    EXPECT_TRUE(store.is_zero_fixed(3));
    store.level = 3;
    EXPECT_FALSE(store.include_event(3));  // its producer's producer is fixed at 0
    store.undo(3);
    EXPECT_TRUE(store.is_zero_fixed(0));
    for (std::uint32_t e : {1u, 4u}) EXPECT_TRUE(store.is_free(e));
    store.undo(2);
    for (std::uint32_t e = 0; e < 5; ++e) EXPECT_TRUE(store.is_free(e));
    EXPECT_EQ(store.ones, 0u);
    store.free_store();
}

namespace {

// Holds when every event is included; never propagates: the search must
// branch on every event, one level each.
class all_included : public constraint {
public:
    std::size_t size() const override { return 0; }
    void normalise() override {}
    bool holds() override { return store.ones == store.n_vars; }
    int propagate() override { return PROP_CONSISTENT; }
    void print(std::FILE*) const override {}
};

// A long chain B1 -> E1 -> B2 -> E2 -> ... (and n independent events when wide).
Prefix chain(std::uint32_t n, bool wide) {
    Prefix p;
    p.places = {"p"};
    p.transitions = {"t"};
    for (std::uint32_t e = 1; e <= n; ++e) p.event_trans.push_back(1);
    if (wide) {
        for (std::uint32_t e = 1; e <= n; ++e) p.conds.push_back({1, 0, {e}});
    } else {
        for (std::uint32_t c = 1; c <= n + 1; ++c)
            p.conds.push_back({1, c - 1, c <= n ? std::vector<std::uint32_t>{c} : std::vector<std::uint32_t>{}});
    }
    return p;
}

}  // namespace

TEST(VariableStore, DeepPrefixesNeedNoDeepRecursion) {
    const std::uint32_t n = 200000;
    unfolding u = load(chain(n, false));
    store.init_store(u);
    store.level = 2;
    ASSERT_TRUE(store.include_event(n - 1));  // the whole chain
    EXPECT_EQ(store.ones, n);
    store.undo(2);
    ASSERT_TRUE(store.exclude_event(0));  // and its whole future
    EXPECT_TRUE(store.is_zero_fixed(n - 1));
    store.free_store();

    // A search that branches once per event, 200000 levels deep.
    unfolding w = load(chain(n, true));
    Settings s;
    s.branching = 0;
    testing::internal::CaptureStdout();
    reachability_problem prob(w, s);
    prob.constr = std::make_shared<all_included>();
    prob.best = n + 1;
    EXPECT_TRUE(prob.DepthFirstSearch());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(prob.explored, n);
    EXPECT_EQ(store.solution_size(), n);
    prob.ExtractTrail();
    EXPECT_EQ(prob.trail->size(), n);
}
