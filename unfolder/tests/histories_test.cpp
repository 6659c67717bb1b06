// The walks that stand in for whole histories: the two-sided walk, the cut
// summaries and comparisons, and the lazily explored co test, each against
// sets of events built plainly on random prefixes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <utility>

#include "cotest.h"
#include "cuts.h"
#include "histwalk.h"
#include "prefix_check.h"
#include "unfold.h"

using namespace trelmik;
using testsupport::RandomNetParams;
using testsupport::TestNet;

namespace {

// Random prefixes, small enough for quadratic checks; conditions behind
// cut-offs are made, so every event has its outputs.  Both shapes of net
// take turns unless only state machines are asked for.
template <class Check>
void for_random_prefixes(std::uint64_t first, std::uint64_t last, const RandomNetParams& base, bool both_shapes,
                         Check&& check) {
    for (std::uint64_t seed = first; seed < last; ++seed) {
        RandomNetParams params = base;
        params.general = both_shapes && seed % 2 == 0;
        const TestNet net = testsupport::random_safe_net(seed, params);
        if (std::none_of(net.m0.begin(), net.m0.end(), [](int m) { return m != 0; })) continue;
        const InputNet in = unftest::to_input(net);
        Settings s;
        s.co_rows = false;
        s.event_limit = 150;
        Prefix pf;
        testing::internal::CaptureStderr();
        try {
            pf = unfold_mcmillan(in, s);
        } catch (const ExitRequest&) {
            testing::internal::GetCapturedStderr();
            continue;  // more events than the checks are meant for
        }
        testing::internal::GetCapturedStderr();
        check(seed, in, pf);
    }
}

std::set<std::uint32_t> minus(const std::set<std::uint32_t>& a, const std::set<std::uint32_t>& b) {
    std::set<std::uint32_t> out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::inserter(out, out.end()));
    return out;
}

// A chain of n one-place buffers, all empty at first: a conflict-free net
// whose prefix grows as n * n / 2 events, with histories of a hundred events
// and more for n = 14.
TestNet buffer_chain(int n) {
    TestNet net;
    for (int i = 0; i < n; ++i) {
        net.place_names.push_back("empty" + std::to_string(i));
        net.place_names.push_back("full" + std::to_string(i));
        net.m0.push_back(1);
        net.m0.push_back(0);
    }
    auto add = [&](const std::string& name, std::vector<int> pre, std::vector<int> post) {
        net.trans_names.push_back(name);
        net.pre.push_back(std::move(pre));
        net.post.push_back(std::move(post));
    };
    add("produce", {0}, {1});
    for (int i = 0; i + 1 < n; ++i) add("move" + std::to_string(i), {2 * i + 1, 2 * i + 2}, {2 * i, 2 * i + 3});
    add("consume", {2 * n - 1}, {2 * n - 2});
    return net;
}

// The events below exactly one of e (left) and f (right), as a walk over
// both histories visits them.
std::pair<std::set<std::uint32_t>, std::set<std::uint32_t>> walk_both(TwoSidedWalk& walk, const Prefix& pf,
                                                                     std::uint32_t e, std::uint32_t f) {
    std::set<std::uint32_t> left, right;
    walk.start(pf, TwoSidedWalk::kBoth);
    walk.seed(e, TwoSidedWalk::kLeft);
    walk.seed(f, TwoSidedWalk::kRight);
    walk.run(pf, [&](std::uint32_t x, std::uint8_t side) {
        ASSERT_TRUE((side == TwoSidedWalk::kLeft ? left : right).insert(x).second) << "twice: E" << x;
    });
    return {left, right};
}

// Nets large enough for histories that share some events and not others.
RandomNetParams mid_sized() {
    RandomNetParams params;
    params.components = 4;
    params.states_per_component = 3;
    params.places = 8;
    params.transitions = 10;
    return params;
}

}  // namespace

TEST(TwoSidedWalk, VisitsExactlyTheEventsBelowOneSide) {
    TwoSidedWalk walk;
    int mixed = 0;  // pairs that share events and differ on both sides
    for_random_prefixes(700, 740, mid_sized(), true, [&](std::uint64_t seed, const InputNet&, const Prefix& pf) {
        const std::uint32_t E = std::min<std::uint32_t>(pf.events(), 40);
        for (std::uint32_t e = 0; e <= E; ++e) {
            const std::set<std::uint32_t> le = unftest::local_configuration(pf, e);
            for (std::uint32_t f = 0; f <= E; ++f) {
                const std::set<std::uint32_t> lf = unftest::local_configuration(pf, f);
                auto [left, right] = walk_both(walk, pf, e, f);
                ASSERT_EQ(left, minus(le, lf)) << "seed " << seed << " E" << e << " E" << f;
                ASSERT_EQ(right, minus(lf, le)) << "seed " << seed << " E" << e << " E" << f;
                mixed += !left.empty() && !right.empty() && left.size() < le.size() && right.size() < lf.size();
                // One side only, below two seeds: what [f] and [g] add to [e].
                const std::uint32_t g = (e * 7 + f * 3) % (E + 1);
                std::set<std::uint32_t> lfg = unftest::local_configuration(pf, g);
                lfg.insert(lf.begin(), lf.end());
                right.clear();
                walk.start(pf, TwoSidedWalk::kRight);
                walk.seed(e, TwoSidedWalk::kLeft);
                walk.seed(f, TwoSidedWalk::kRight);
                walk.seed(g, TwoSidedWalk::kRight);
                walk.run(pf, [&](std::uint32_t x, std::uint8_t side) {
                    ASSERT_EQ(side, TwoSidedWalk::kRight);
                    right.insert(x);
                });
                ASSERT_EQ(right, minus(lfg, le)) << "seed " << seed << " E" << e << " E" << f << " E" << g;
            }
        }
    });
    EXPECT_GT(mixed, 100);
}

// Along a buffer chain the walks between two histories pass long bands of
// shared events; every pair of events, one walk after the other on one walk
// object, sees exactly the differences, and the summaries and comparisons of
// cuts follow the cuts.
TEST(TwoSidedWalk, LongWalksAlongABufferChain) {
    const InputNet in = unftest::to_input(buffer_chain(14));
    const Prefix pf = unfold_mcmillan(in, Settings{});
    std::vector<std::set<std::uint32_t>> configs(pf.events() + 1);
    std::vector<std::vector<std::uint32_t>> cut(pf.events() + 1);
    for (std::uint32_t e = 0; e <= pf.events(); ++e) {
        configs[e] = unftest::local_configuration(pf, e);
        cut[e] = cut_of(in, pf, e);
    }
    TwoSidedWalk walk;
    std::size_t longest = 0;
    for (std::uint32_t e = 0; e <= pf.events(); ++e)
        for (std::uint32_t f = 0; f <= pf.events(); ++f) {
            const auto [left, right] = walk_both(walk, pf, e, f);
            ASSERT_EQ(left, minus(configs[e], configs[f])) << "E" << e << " E" << f;
            ASSERT_EQ(right, minus(configs[f], configs[e])) << "E" << e << " E" << f;
            longest = std::max(longest, left.size() + right.size());
        }
    EXPECT_GT(longest, 100u);
    CutIndex cuts;
    cuts.reset(in);
    for (std::uint32_t e = 1; e <= pf.events(); ++e) {
        const CutIndex::Summary sum = cuts.analyse(pf, e);
        ASSERT_EQ(sum.size, configs[e].size()) << "E" << e;
        ASSERT_EQ(sum.length, cut[e].size()) << "E" << e;
    }
    for (std::uint32_t e = 0; e <= pf.events(); ++e)
        for (std::uint32_t f = 0; f <= pf.events(); ++f)
            ASSERT_EQ(cuts.same_cut(in, pf, e, f), cut[e] == cut[f]) << "E" << e << " E" << f;
}

// Summaries give |[e]| and the number of tokens of the cut; two cuts compare
// equal, and hash alike, exactly when they are the same set of places.
TEST(CutIndex, SummariesAndComparisonsFollowTheCuts) {
    int equal_pairs = 0;
    for_random_prefixes(800, 860, mid_sized(), true, [&](std::uint64_t seed, const InputNet& in, const Prefix& pf) {
        CutIndex cuts;
        cuts.reset(in);
        std::vector<CutIndex::Summary> sums(pf.events() + 1, CutIndex::Summary{0, cuts.initial_hash(), cuts.initial_length()});
        std::vector<std::vector<std::uint32_t>> cut(pf.events() + 1);
        cut[0] = cut_of(in, pf, 0);
        for (std::uint32_t e = 1; e <= pf.events(); ++e) {
            sums[e] = cuts.analyse(pf, e);
            cut[e] = cut_of(in, pf, e);
            ASSERT_EQ(sums[e].size, unftest::local_configuration(pf, e).size()) << "seed " << seed << " E" << e;
            ASSERT_EQ(sums[e].length, cut[e].size()) << "seed " << seed << " E" << e;
        }
        for (std::uint32_t e = 0; e <= pf.events(); ++e)
            for (std::uint32_t f = 0; f <= pf.events(); ++f) {
                const bool same = cut[e] == cut[f];
                ASSERT_EQ(cuts.same_cut(in, pf, e, f), same) << "seed " << seed << " E" << e << " E" << f;
                ASSERT_EQ(sums[e].hash == sums[f].hash, same) << "seed " << seed << " E" << e << " E" << f;
                equal_pairs += same && e != f;
            }
    });
    EXPECT_GT(equal_pairs, 100);
}

// Summaries from the counts per transition of recent events equal those
// from walks alone, whichever events still keep their counts: a few slots
// make the summaries of one run mix the join of the producers' counts, the
// search below the other producers that stops at the base's history, and
// the walk where the base's counts are gone.
TEST(CutIndex, SummariesFromCountsEqualThoseFromWalks) {
    const std::uint32_t kept[] = {1, 2, 3, 5, 8, 1000};
    auto expect_same = [&](const std::string& what, const InputNet& in, const Prefix& pf) {
        CutIndex walks;
        walks.reset(in);
        walks.keep_counts(0);
        std::vector<CutIndex::Summary> plain(pf.events() + 1);
        for (std::uint32_t e = 1; e <= pf.events(); ++e) plain[e] = walks.analyse(pf, e);
        for (std::uint32_t k : kept) {
            CutIndex cuts;
            cuts.reset(in);
            cuts.keep_counts(k);
            for (std::uint32_t e = 1; e <= pf.events(); ++e) {
                const CutIndex::Summary sum = cuts.analyse(pf, e);
                ASSERT_EQ(sum.size, plain[e].size) << what << " kept " << k << " E" << e;
                ASSERT_EQ(sum.hash, plain[e].hash) << what << " kept " << k << " E" << e;
                ASSERT_EQ(sum.length, plain[e].length) << what << " kept " << k << " E" << e;
            }
        }
    };
    for_random_prefixes(800, 860, mid_sized(), true, [&](std::uint64_t seed, const InputNet& in, const Prefix& pf) {
        expect_same("seed " + std::to_string(seed), in, pf);
    });
    const InputNet chain = unftest::to_input(buffer_chain(14));
    expect_same("buffer chain", chain, unfold_mcmillan(chain, Settings{}));
}

// One anchor, every condition asked in a random order: the answers share
// the anchor's exploration and the walks found harmless.  Few places and
// many transitions give conditions with many consumers, which are asked
// about by exploring the anchor's history rather than consumer by consumer.
namespace {

// Asks one anchor about every condition, in a random order, for every
// anchor of the prefix.
void expect_anchored_answers(const Prefix& pf, std::uint64_t seed, std::mt19937& rng) {
    std::vector<std::set<std::uint32_t>> configs(pf.events() + 1);
    for (std::uint32_t e = 1; e <= pf.events(); ++e) configs[e] = unftest::local_configuration(pf, e);
    std::vector<std::uint32_t> order(pf.conditions());
    for (std::uint32_t c = 1; c <= pf.conditions(); ++c) order[c - 1] = c;
    CoTest test;
    for (std::uint32_t a = 1; a <= pf.conditions(); ++a) {
        test.anchor(pf, a);
        std::shuffle(order.begin(), order.end(), rng);
        for (std::uint32_t d : order)
            ASSERT_EQ(test.with(pf, d), d != a && unftest::brute_concurrent(pf, a, d, &configs))
                << "seed " << seed << " B" << a << " B" << d;
    }
}

}  // namespace

TEST(CoTest, OneAnchorAnswersEveryConditionLikeTheirPasts) {
    RandomNetParams params;
    params.transitions = 16;
    params.components = 2;
    params.states_per_component = 2;
    params.max_sync = 2;
    std::size_t most_consumers = 0;
    std::mt19937 rng(5);
    for_random_prefixes(900, 940, params, false, [&](std::uint64_t seed, const InputNet&, const Prefix& pf) {
        if (pf.conditions() > 120) return;
        for (std::uint32_t c = 1; c <= pf.conditions(); ++c) {
            std::size_t n = 0;
            pf.for_each_consumer(c, [&](std::uint32_t) { ++n; });
            most_consumers = std::max(most_consumers, n);
        }
        expect_anchored_answers(pf, seed, rng);
    });
    EXPECT_GT(most_consumers, 8u);
}

// A chain of one-place buffers: histories of a hundred events, deep enough
// that an anchor's history is finally marked in one plain walk.
TEST(CoTest, DeepHistoriesAnswerLikeTheirPasts) {
    const Prefix pf = unfold_mcmillan(unftest::to_input(buffer_chain(14)), Settings{});
    std::size_t deepest = 0;
    for (std::uint32_t e = 1; e <= pf.events(); ++e) deepest = std::max<std::size_t>(deepest, pf.ev_size[e - 1]);
    ASSERT_GT(deepest, 80u);
    std::mt19937 rng(7);
    expect_anchored_answers(pf, 0, rng);
}
