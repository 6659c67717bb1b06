#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <random>

#include "dlbacktrack_driver.h"
#include "unf_text.h"
#include "dlbacktrack_search.h"

using namespace dlbacktrack;
using testsupport::Prefix;
using testsupport::mci_string;
using prefixfile_test::unf_text;

namespace {

// A prefix of events that consume only initial conditions: `consumers[k]`
// lists the events (1-based) consuming initial condition k+1; `cutoffs`
// names the cut-off events.
Prefix flat_prefix(std::uint32_t events, const std::vector<std::vector<std::uint32_t>>& consumers,
                          const std::vector<std::uint32_t>& cutoffs) {
    Prefix p;
    p.places = {"p"};
    p.transitions = {"t"};
    for (std::uint32_t e = 0; e < events; ++e) p.add_event(1);
    for (const auto& c : consumers) p.add_condition(1, 0, c);
    for (std::uint32_t e : cutoffs) p.cutoffs.push_back({e, 0});
    return p;
}

struct Run {
    PrefixGraph graph;
    std::unique_ptr<DeadlockSearch> search;
    bool found = false;
};

std::unique_ptr<Run> search(const Prefix& p) {
    auto r = std::make_unique<Run>();
    r->graph = prefixfile::read_mci_bytes(mci_string(p), "s.mci");
    r->search = std::make_unique<DeadlockSearch>(r->graph);
    r->search->AllConflicts();
    if (!r->search->CutoffWithoutConflicts()) r->found = r->search->BacktrackSearch();
    return r;
}

}  // namespace

TEST(DlbacktrackSearch, CutoffWithoutConflictsMeansNoDeadlockWithoutSearch) {
    // B1 -> E1 (cut-off) -> B2: nothing is in conflict with E1.
    Prefix p;
    p.places = {"p"};
    p.transitions = {"t"};
    p.add_event(1);
    p.add_condition(1, 0, {1});
    p.add_condition(1, 1);
    p.cutoffs = {{1, 0}};
    auto r = search(p);
    EXPECT_TRUE(r->search->CutoffWithoutConflicts());
    EXPECT_EQ(r->search->steps(), 0u);
    PrefixGraph f = prefixfile::read_mci_bytes(mci_string(p), "s.mci");
    EXPECT_EQ(check_prefix(f).verdict, Verdict::NoDeadlock);
}

TEST(DlbacktrackSearch, ConflictListsSkipCutoffsAndTheLocalConfiguration) {
    // B1 consumed by E1, E2, E3 (E3 a cut-off); B2 (after E1) consumed by E4
    // (cut-off) and E5.  [E4] = {E1, E4}: conflicts are E2 (on B1) and E5
    // (on B2); E3 is a cut-off and stays out.
    Prefix p;
    p.places = {"p"};
    p.transitions = {"t"};
    for (int i = 0; i < 5; ++i) p.add_event(1);
    p.add_condition(1, 0, {1, 2, 3});
    p.add_condition(1, 1, {4, 5});
    p.cutoffs = {{4, 0}, {3, 0}};
    auto r = search(p);
    EXPECT_EQ(r->search->cutoff_table(), (std::vector<std::uint32_t>{3, 4}));
    EXPECT_EQ(r->search->conflict_list(0), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(r->search->conflict_list(1), (std::vector<std::uint32_t>{2, 5}));
}

TEST(DlbacktrackSearch, EqualLiveCountsTakeTheEarlierCutoffFirst) {
    // Two independent choices: B1 by E1 (cut-off) or E2, B2 by E3 (cut-off) or E4.
    auto r = search(flat_prefix(4, {{1, 2}, {3, 4}}, {3, 1}));
    ASSERT_TRUE(r->found);
    EXPECT_EQ(r->search->mark(1), 1u);   // excluded at depth 1 by candidate E2
    EXPECT_EQ(r->search->mark(3), 2u);   // then E3 at depth 2 by E4
    EXPECT_EQ(r->search->DeadlockConfiguration(), (std::vector<std::uint32_t>{2, 4}));
}

TEST(DlbacktrackSearch, BacktracksToTheNextCandidate) {
    // E1, E2 cut-offs; B1: E1, E3, E4; B2: E2, E4, E5; B3: E3, E5.  Choosing
    // E3 for E1 leaves E2 without a live candidate; E4 kills both.
    auto r = search(flat_prefix(5, {{1, 3, 4}, {2, 4, 5}, {3, 5}}, {1, 2}));
    ASSERT_TRUE(r->found);
    EXPECT_EQ(r->search->steps(), 3u);
    EXPECT_EQ(r->search->mark(1), 1u);   // cut-offs are marked like any event
    EXPECT_EQ(r->search->mark(2), 1u);
    EXPECT_EQ(r->search->mark(3), 1u);
    EXPECT_EQ(r->search->mark(4), 0u);
    EXPECT_EQ(r->search->DeadlockConfiguration(), (std::vector<std::uint32_t>{4}));
}

TEST(DlbacktrackSearch, NoCandidateLeftAtDepthZeroMeansNoDeadlock) {
    // B1: E1 (cut-off), E3; B2: E2 (cut-off), E4; B3: E3, E4.
    auto r = search(flat_prefix(4, {{1, 3}, {2, 4}, {3, 4}}, {1, 2}));
    EXPECT_FALSE(r->found);
    EXPECT_GT(r->search->steps(), 0u);
    for (std::uint32_t e = 1; e <= 4; ++e) EXPECT_EQ(r->search->mark(e), 0u) << e;
}

TEST(DlbacktrackSearch, WitnessIsAConfigurationOfTheUnmarkedEvents) {
    // B1: E1 (cut-off), E2.  B2: E3, E4 (both unmarked after choosing E2,
    // but in conflict with each other); the witness takes E3 only.
    Prefix p = flat_prefix(4, {{1, 2}, {3, 4}}, {1});
    PrefixGraph f = prefixfile::read_mci_bytes(mci_string(p), "s.mci");
    CheckResult r = check_prefix(f);
    ASSERT_EQ(r.verdict, Verdict::Deadlock);
    EXPECT_EQ(r.witness, (std::vector<std::uint32_t>{2, 3}));
    EXPECT_EQ(result_text(f, r), "FALSE\nE2(t), E3(t).\n\n");
}

TEST(DlbacktrackSearch, ListFormWithoutCutoffs) {
    Prefix p = flat_prefix(2, {{1, 2}}, {});
    PrefixGraph none = prefixfile::read_mci_bytes(mci_string(p), "l.mci");
    CheckResult r = check_prefix(none);
    EXPECT_EQ(r.verdict, Verdict::DeadlockEvery);
    EXPECT_FALSE(r.search_form);
    EXPECT_EQ(result_text(none, r), "FALSE - EVERY\n");

    p.configs = {{2}, {1}};
    PrefixGraph named = prefixfile::read_mci_bytes(mci_string(p), "l.mci");
    r = check_prefix(named);
    EXPECT_EQ(result_text(named, r), "FALSE\nE2(t).\n\n");

    // A listed set that is not a maximal configuration is replaced.
    p.configs = {{1, 2}};
    PrefixGraph bad = prefixfile::read_mci_bytes(mci_string(p), "l.mci");
    EXPECT_EQ(result_text(bad, check_prefix(bad)), "FALSE\nE1(t).\n\n");
}

TEST(DlbacktrackOutput, ItemsWrapPast65Columns) {
    std::vector<std::pair<std::string, std::string>> items;
    for (int i = 1; i <= 9; ++i) items.push_back({"E" + std::to_string(i), "trans"});
    // Each item is 11 wide: five fit (55), the sixth would make 66.
    EXPECT_EQ(item_list(items),
              "E1(trans), E2(trans), E3(trans), E4(trans), E5(trans),\n"
              "  E6(trans), E7(trans), E8(trans), E9(trans)");
    EXPECT_EQ(item_list({{"E1", std::string(70, 'x')}}), "E1(" + std::string(70, 'x') + ")");
}

TEST(DlbacktrackOutput, ProcessTimeSurvivesCounterWraps) {
    // A 32-bit microsecond counter wraps after 4294.97 s.
    ProcessTime t(32, 1e6);
    t.reading(4000000000u);
    t.reading(100);                  // wrapped
    t.reading(2000000000u);
    t.reading(5);                    // wrapped again
    double expected = (2.0 * 4294967296.0 - 4000000000.0 + 5.0) / 1e6;
    EXPECT_NEAR(t.seconds(), expected, 1e-6);
    EXPECT_EQ(time_line(t.seconds()), "Time needed:   4589.93 s\n");
    EXPECT_EQ(time_line(0.004), "Time needed:      0.00 s\n");
}

// Chains far longer than any call stack could follow recursively.
TEST(DlbacktrackSearch, LongChainsNeedNoRecursion) {
    const std::uint32_t n = 150000;
    // B1 -> E1 -> B2 -> ... -> En -> B(n+1); B(n+1) is consumed by the
    // cut-off E(n+1) and by X = E(n+2); B1 also by Y = E(n+3).
    Prefix p;
    p.places = {"p", "q"};
    p.transitions = {"step", "stop"};
    for (std::uint32_t i = 0; i < n + 3; ++i) p.add_event(i < n + 1 ? 1 : 2);
    p.add_condition(1, 0, {1, n + 3});
    for (std::uint32_t i = 1; i < n; ++i) p.add_condition(1, i, {i + 1});
    p.add_condition(1, n, {n + 1, n + 2});
    p.add_condition(2, n + 1);
    p.cutoffs = {{n + 1, 0}};
    PrefixGraph f = prefixfile::read_mci_bytes(mci_string(p), "deep.mci");
    CheckResult r = check_prefix(f);
    ASSERT_EQ(r.verdict, Verdict::Deadlock);
    ASSERT_EQ(r.witness.size(), n + 1);
    EXPECT_EQ(r.witness.back(), n + 2);

    // And the other way: an early conflict whose successors form the chain.
    // B1 is consumed by E1 (start of the chain, whose end En+1 is the
    // cut-off) and by X = E(n+2); choosing X marks the whole chain.
    Prefix q;
    q.places = {"p"};
    q.transitions = {"t"};
    for (std::uint32_t i = 0; i < n + 2; ++i) q.add_event(1);
    q.add_condition(1, 0, {1, n + 2});
    for (std::uint32_t i = 1; i <= n; ++i) q.add_condition(1, i, {i + 1});
    q.cutoffs = {{n + 1, 0}};
    PrefixGraph g = prefixfile::read_mci_bytes(mci_string(q), "deep.mci");
    r = check_prefix(g);
    ASSERT_EQ(r.verdict, Verdict::Deadlock);
    EXPECT_EQ(r.witness, (std::vector<std::uint32_t>{n + 2}));
}

// ---------------------------------------------------------------------------
// Random 1-safe nets: the verdict on prefixes of the shared test unfolder, in
// both file forms, agrees with the explorer, and every witness fired in event
// order ends in a dead marking.
namespace {

// How many nets were checked, with and without deadlock, searched or not.
struct Coverage {
    int checked = 0, deadlocks = 0, searched = 0;
};

void check_against_explorer(const testsupport::TestNet& net, std::uint64_t seed, Coverage& cov) {
    testsupport::StateSpace ss = testsupport::explore(net);
    ASSERT_TRUE(ss.complete);
    testsupport::UnfoldOptions opt;
    opt.max_events = 250;
    opt.maximal_configuration = true;
    const Prefix p = testsupport::unfold_prefix(net, opt);
    if (!p.complete) return;
    const bool deadlock = testsupport::has_deadlock(ss);
    ++cov.checked;
    cov.deadlocks += deadlock;
    cov.searched += !p.cutoffs.empty();
    for (int form = 0; form < 2; ++form) {
        SCOPED_TRACE("seed " + std::to_string(seed) + (form ? " .unf" : " .mci"));
        PrefixGraph f = form ? prefixfile::read_unf_text(unf_text(p, "r.unf"), "r.unf")
                            : prefixfile::read_mci_bytes(mci_string(p), "r.mci");
        CheckResult r = check_prefix(f);
        ASSERT_EQ(r.verdict != Verdict::NoDeadlock, deadlock);
        if (r.verdict != Verdict::Deadlock) continue;
        const PrefixGraph& g = f;
        EXPECT_TRUE(is_maximal_configuration(g, r.witness));
        std::vector<std::string> labels;
        for (std::uint32_t e : r.witness) labels.emplace_back(f.label(e));
        auto m = testsupport::replay_names(net, labels);
        ASSERT_TRUE(m) << "witness not fireable";
        EXPECT_TRUE(testsupport::is_dead(net, *m));
    }
}

}  // namespace

TEST(DlbacktrackRandom, StateMachineNetsAgreeWithTheExplorer) {
    testsupport::RandomNetParams params;
    Coverage cov;
    for (std::uint64_t seed = 1; seed <= 300; ++seed) {
        params.components = 2 + static_cast<int>(seed % 3);
        params.states_per_component = 2 + static_cast<int>(seed % 2);
        params.max_sync = 1 + static_cast<int>(seed % 3);
        check_against_explorer(testsupport::random_safe_net(seed, params), seed, cov);
    }
    std::printf("checked %d nets, %d with deadlock, %d with cut-offs\n", cov.checked, cov.deadlocks,
                cov.searched);
    EXPECT_GE(cov.checked, 80);
    EXPECT_GE(cov.deadlocks, 20);
    EXPECT_GE(cov.checked - cov.deadlocks, 10);
    EXPECT_GE(cov.searched, 20);
}

TEST(DlbacktrackRandom, GeneralNetsAgreeWithTheExplorer) {
    testsupport::RandomNetParams params;
    params.general = true;
    Coverage cov;
    for (std::uint64_t seed = 1; seed <= 120; ++seed) {
        params.places = 4 + static_cast<int>(seed % 3);
        params.transitions = params.places + 2 + static_cast<int>(seed % 4);
        params.max_preset = 2 + static_cast<int>(seed % 2);
        check_against_explorer(testsupport::random_safe_net(seed, params), seed, cov);
    }
    std::printf("checked %d nets, %d with deadlock, %d with cut-offs\n", cov.checked, cov.deadlocks,
                cov.searched);
    EXPECT_GE(cov.checked, 80);
    EXPECT_GE(cov.deadlocks, 20);
    EXPECT_GE(cov.checked - cov.deadlocks, 10);
    EXPECT_GE(cov.searched, 20);
}

// ---------------------------------------------------------------------------
// Random occurrence nets with random cut-offs, decided by brute force: the
// search succeeds exactly when some configuration without cut-off events
// enables no event at all, and then its witness is such a configuration.
namespace {

struct RandomPrefix {
    Prefix prefix;
    std::vector<std::vector<std::uint32_t>> pre;   // per event (0-based), conditions (1-based)
};

RandomPrefix random_prefix(std::mt19937& rng, std::uint32_t events) {
    RandomPrefix r;
    Prefix& p = r.prefix;
    p.places = {"p"};
    p.transitions = {"t"};
    std::vector<std::uint32_t> pool;   // conditions that events may consume
    std::vector<std::vector<std::uint32_t>> consumers;
    std::vector<std::uint32_t> cond_pre;
    auto add_cond = [&](std::uint32_t pre) {
        cond_pre.push_back(pre);
        consumers.emplace_back();
        pool.push_back(static_cast<std::uint32_t>(cond_pre.size()));
    };
    for (int i = 0, n = 2 + static_cast<int>(rng() % 3); i < n; ++i) add_cond(0);
    // Local configuration of each event as a bit mask over events.
    std::vector<std::uint32_t> local;
    for (std::uint32_t tries = 0; r.pre.size() < events && tries < 200; ++tries) {
        std::vector<std::uint32_t> pre;
        for (int k = 0, n = 1 + static_cast<int>(rng() % 2); k < n; ++k) {
            std::uint32_t c = pool[rng() % pool.size()];
            if (std::find(pre.begin(), pre.end(), c) == pre.end()) pre.push_back(c);
        }
        // The preset must be a co-set: the union of the pre-events' local
        // configurations is conflict-free and consumes none of it.
        std::uint32_t mask = 0;
        for (std::uint32_t c : pre)
            if (cond_pre[c - 1]) mask |= local[cond_pre[c - 1] - 1];
        bool ok = true;
        std::vector<int> used(cond_pre.size() + 1, 0);
        for (std::uint32_t e = 0; e < r.pre.size(); ++e)
            if (mask >> e & 1)
                for (std::uint32_t c : r.pre[e]) ok = ok && used[c]++ == 0;
        for (std::uint32_t c : pre) ok = ok && used[c] == 0;
        if (!ok) continue;
        std::uint32_t e = static_cast<std::uint32_t>(r.pre.size());
        r.pre.push_back(pre);
        local.push_back(mask | (1u << e));
        for (std::uint32_t c : pre) consumers[c - 1].push_back(e + 1);
        p.add_event(1);
        bool cutoff = rng() % 3 == 0;
        if (cutoff) p.cutoffs.push_back({e + 1, 0});
        for (int k = 0, n = 1 + static_cast<int>(rng() % 2); k < n; ++k) {
            add_cond(e + 1);
            if (cutoff) pool.pop_back();   // nothing follows a cut-off
        }
    }
    for (std::size_t c = 0; c < cond_pre.size(); ++c) p.add_condition(1, cond_pre[c], consumers[c]);
    return r;
}

// Whether some configuration without cut-off events enables no event.
bool brute_force_deadlock(const RandomPrefix& r) {
    const auto n = static_cast<std::uint32_t>(r.pre.size());
    std::vector<std::uint8_t> cutoff(n, 0);
    for (const auto& c : r.prefix.cutoffs) cutoff[c.first - 1] = 1;
    const auto conds = static_cast<std::uint32_t>(r.prefix.conds.size());
    for (std::uint32_t set = 0; set < (1u << n); ++set) {
        std::vector<std::uint8_t> cut(conds + 1, 0);
        for (std::uint32_t c = 1; c <= conds; ++c) cut[c] = r.prefix.conds[c - 1].pre == 0;
        bool config = true;
        for (std::uint32_t e = 0; e < n && config; ++e) {
            if (!(set >> e & 1)) continue;
            if (cutoff[e]) config = false;
            for (std::uint32_t c : r.pre[e]) config = config && cut[c];
            for (std::uint32_t c : r.pre[e]) cut[c] = 0;
            for (std::uint32_t c = 1; c <= conds; ++c)
                if (r.prefix.conds[c - 1].pre == e + 1) cut[c] = 1;
        }
        if (!config) continue;
        bool dead = true;
        for (std::uint32_t e = 0; e < n && dead; ++e) {
            if (set >> e & 1) continue;
            bool enabled = true;
            for (std::uint32_t c : r.pre[e]) enabled = enabled && cut[c];
            dead = !enabled;
        }
        if (dead) return true;
    }
    return false;
}

}  // namespace

TEST(DlbacktrackRandom, SearchAgreesWithBruteForceOnRandomPrefixes) {
    std::mt19937 rng(11);
    int deadlocks = 0, searched_without = 0;
    for (int round = 0; round < 1500; ++round) {
        RandomPrefix r = random_prefix(rng, 4 + rng() % 11);
        if (r.prefix.cutoffs.empty()) continue;
        SCOPED_TRACE("round " + std::to_string(round));
        PrefixGraph f = prefixfile::read_mci_bytes(mci_string(r.prefix), "r.mci");
        const PrefixGraph& g = f;
        DeadlockSearch s(g);
        s.AllConflicts();
        const bool found = !s.CutoffWithoutConflicts() && s.BacktrackSearch();
        ASSERT_EQ(found, brute_force_deadlock(r));
        deadlocks += found;
        searched_without += !found && s.steps() > 1;
        if (!found) continue;
        std::vector<std::uint32_t> w = s.DeadlockConfiguration();
        EXPECT_TRUE(is_maximal_configuration(g, w));
        for (std::uint32_t e : w) EXPECT_FALSE(g.cutoff[e]) << e;
    }
    EXPECT_GT(deadlocks, 100);
    EXPECT_GT(searched_without, 50);   // deadlock-free verdicts that needed backtracking
}

namespace {
// Runs the program for its usage text, then calls the handler it installed
// for failed allocations.
void usage_then_out_of_memory() {
    std::freopen("/dev/null", "w", stdout);
    char name[] = "dlbacktrack";
    char* argv[] = {name, nullptr};
    dlbacktrack::run(1, argv);
    std::get_new_handler()();
}
}  // namespace

TEST(DlbacktrackMemory, ExhaustedMemoryEndsWithTheLibraryMessage) {
    EXPECT_EXIT(usage_then_out_of_memory(), testing::ExitedWithCode(3),
                "^ERROR: NN.Malloc\\(\\): memory overflow \\(size=0\\).\n$");
}
