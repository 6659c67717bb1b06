// The ERV loop: sound and complete prefixes on random 1-safe nets, never
// larger than McMillan's, the same prefix whatever the queue insertion and
// key form, and the order's tie-breaks on small nets.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "erv.h"
#include "outfile.h"
#include "prefix_check.h"
#include "unfold.h"
#include "writers.h"

using namespace trelmik;
using testsupport::RandomNetParams;
using testsupport::TestNet;

namespace {

struct Variant {
    const char* name;
    ErvOptions options;
};

Prefix run_erv(const InputNet& in, const Settings& s, const ErvOptions& o) {
    erv_options = o;
    return unfold_erv(in, s);
}

TestNet make(std::vector<std::string> places, std::vector<int> m0,
             std::vector<std::tuple<std::string, std::vector<int>, std::vector<int>>> trans) {
    TestNet n;
    n.place_names = std::move(places);
    n.m0 = std::move(m0);
    for (auto& [name, pre, post] : trans) {
        n.trans_names.push_back(name);
        n.pre.push_back(pre);
        n.post.push_back(post);
    }
    return n;
}

std::string co_errors(const Prefix& pf) {
    for (std::uint32_t a = 1; a <= pf.conditions(); ++a) {
        if (!pf.cond_has_row[a - 1]) continue;
        for (std::uint32_t b = 1; b < a; ++b)
            if (pf.concurrent(a, b) != unftest::brute_concurrent(pf, a, b))
                return "co of B" + std::to_string(a) + " and B" + std::to_string(b);
    }
    return "";
}

}  // namespace

TEST(Erv, RandomNetsAreCompleteSmallAndAlike) {
    const std::vector<Variant> variants = {
        {"y", {'e', true, false, false, false}},
        {"w", {'e', false, true, false, false}},
        {"Q", {'q', false, false, false, false}},
        {"+", {'b', false, false, false, false}},
    };
    int checked = 0;
    std::uint64_t equal_vectors = 0;  // ties broken by the Foata normal forms
    testsupport::TempDir dir;
    for (std::uint64_t seed = 1; seed <= 160; ++seed) {
        RandomNetParams params;
        params.general = seed % 2 == 0;
        if (params.general) {
            params.places = 6 + static_cast<int>(seed % 5);
            params.transitions = 8 + static_cast<int>(seed % 7);
            params.max_preset = 2 + static_cast<int>(seed % 2);
        } else {
            params.components = 2 + static_cast<int>(seed % 4);
            params.states_per_component = 2 + static_cast<int>(seed % 3);
            params.max_sync = 1 + static_cast<int>(seed % 3);
            params.transitions = params.components * params.states_per_component * 3 / 2;
        }
        const TestNet net = testsupport::random_safe_net(seed, params);
        if (std::none_of(net.m0.begin(), net.m0.end(), [](int m) { return m != 0; })) continue;
        const InputNet in = unftest::to_input(net);
        for (int variant = 0; variant < 2; ++variant) {
            Settings s;
            s.conditions_behind_cutoffs = variant == 0;
            s.last_corresponding = variant == 1;
            const Prefix pf = run_erv(in, s, ErvOptions{});
            equal_vectors += erv_counters.equality;
            ASSERT_EQ(unftest::check_prefix(net, pf, s.conditions_behind_cutoffs, false), "")
                << "seed " << seed << " variant " << variant << "\n" << testsupport::to_vos(net);
            if (seed % 4 == 1) {
                ASSERT_EQ(co_errors(pf), "") << "seed " << seed;
            }
            const Prefix mc = unfold_mcmillan(in, s);
            const auto kept = [](const Prefix& p) { return p.events() - p.cutoffs.size(); };
            EXPECT_LE(kept(pf), kept(mc)) << "seed " << seed;
            EXPECT_LE(pf.events(), mc.events()) << "seed " << seed;
            if (variant != 0) continue;
            write_mci(dir.file("base.mci"), in, pf, Configurations{});
            outfile::commit();
            const std::string base = testsupport::read_file(dir.file("base.mci"));
            for (const Variant& v : variants) {
                // -y and -w print the vectors they compare.
                Settings quiet = s;
                std::FILE* sink = std::fopen("/dev/null", "w");
                ASSERT_NE(sink, nullptr);
                quiet.out = sink;
                const Prefix other = run_erv(in, quiet, v.options);
                std::fclose(sink);
                write_mci(dir.file("other.mci"), in, other, Configurations{});
                outfile::commit();
                ASSERT_EQ(testsupport::read_file(dir.file("other.mci")), base) << "seed " << seed << " -" << v.name;
                ASSERT_EQ(other.cutoffs, pf.cutoffs) << "seed " << seed << " -" << v.name;
            }
        }
        ++checked;
    }
    EXPECT_GT(checked, 120);
    EXPECT_GT(equal_vectors, 0u);
}

// Two events of equal size reach the same cut: McMillan keeps both, the ERV
// order makes the later one (the higher transition number) a cut-off.
// Without co sets (no co-matrix writer) both loops find their extensions
// from the histories of the conditions: the prefixes equal those built with
// co sets, and the co test from histories agrees with the brute-force one,
// conditions behind cut-offs included.
TEST(CoTest, LoopsWithoutCoSetsBuildTheSamePrefixes) {
    for (std::uint64_t seed = 500; seed < 560; ++seed) {
        RandomNetParams params;
        params.general = seed % 3 != 0;
        params.places = 6 + static_cast<int>(seed % 5);
        params.transitions = 8 + static_cast<int>(seed % 7);
        params.max_preset = 2 + static_cast<int>(seed % 3);
        const TestNet net = testsupport::random_safe_net(seed, params);
        if (std::none_of(net.m0.begin(), net.m0.end(), [](int m) { return m != 0; })) continue;
        const InputNet in = unftest::to_input(net);
        for (int loop = 0; loop < 2; ++loop) {
            Settings with_sets, without;
            without.co_rows = false;
            const Prefix a = loop ? run_erv(in, with_sets, ErvOptions{}) : unfold_mcmillan(in, with_sets);
            const Prefix b = loop ? run_erv(in, without, ErvOptions{}) : unfold_mcmillan(in, without);
            ASSERT_TRUE(b.co.empty());
            ASSERT_EQ(a.ev_trans, b.ev_trans) << "seed " << seed << " loop " << loop;
            ASSERT_EQ(a.ev_pre_conds, b.ev_pre_conds) << "seed " << seed << " loop " << loop;
            ASSERT_EQ(a.cond_place, b.cond_place) << "seed " << seed << " loop " << loop;
            ASSERT_EQ(a.cutoffs, b.cutoffs) << "seed " << seed << " loop " << loop;
            if (b.conditions() > 80) continue;
            for (std::uint32_t x = 1; x <= b.conditions(); ++x)
                for (std::uint32_t y = 1; y < x; ++y)
                    ASSERT_EQ(b.concurrent(x, y), unftest::brute_concurrent(b, x, y))
                        << "seed " << seed << " loop " << loop << " B" << x << " B" << y;
        }
    }
}

TEST(Erv, EqualCutOfEqualSizeIsACutoff) {
    const TestNet net = make({"p0", "p1"}, {1, 0}, {{"t1", {0}, {1}}, {"t2", {0}, {1}}});
    const InputNet in = unftest::to_input(net);
    Settings s;
    s.conditions_behind_cutoffs = false;
    const Prefix pf = run_erv(in, s, ErvOptions{});
    ASSERT_EQ(pf.events(), 2u);
    EXPECT_EQ(pf.ev_trans[0], 0u);
    EXPECT_EQ(pf.ev_trans[1], 1u);
    EXPECT_EQ(pf.cutoffs, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{2, 1}}));
    EXPECT_TRUE(unfold_mcmillan(in, s).cutoffs.empty());
}

// A count of the sparse Parikh vector that passes its limit is reported by
// where its entry lies from the entry counted just before it.
TEST(Erv, PvCountMessageNamesTheInsertionCase) {
    struct Case {
        std::vector<std::uint32_t> order;
        const char* message;
    } cases[] = {
        {{5, 5, 5}, "PV_Count size is too small for this net!\n"},
        {{3, 5, 3, 5, 3}, "Size of PV_Count is too small!\n"},
        {{5, 3, 5, 3, 5}, "PV_Count size is too small!\n"},
        {{7, 1, 7, 2, 2, 2}, "PV_Count size is too small for this net!\n"},
        {{4, 2, 6, 4, 2, 6}, nullptr},
        {{}, nullptr},
    };
    for (const Case& c : cases) {
        const char* got = pv_count_overflow(c.order, 2);
        EXPECT_STREQ(got, c.message) << ::testing::PrintToString(c.order);
    }
}

// The component loop on random nets of state machines: every Silex variant
// gives a complete prefix whose condition kinds are the depths within their
// components.
TEST(Spts, RandomComponentNetsAreComplete) {
    struct SilexVariant {
        char order;
        bool descending, sum;
    };
    const std::vector<SilexVariant> silex = {{'2', false, false}, {'1', false, false}, {'2', true, false},
                                             {'1', false, true}};
    int checked = 0;
    for (std::uint64_t seed = 500; seed < 620; ++seed) {
        RandomNetParams params;
        params.components = 2 + static_cast<int>(seed % 3);
        params.states_per_component = 2 + static_cast<int>(seed % 3);
        params.max_sync = 1 + static_cast<int>(seed % 3);
        params.transitions = params.components * params.states_per_component * 3 / 2;
        const TestNet net = testsupport::random_safe_net(seed, params);
        InputNet in = unftest::to_input(net);
        in.components = static_cast<std::uint32_t>(params.components);
        for (std::uint32_t p = 0; p < in.places(); ++p)
            in.place_comp[p] = p / static_cast<std::uint32_t>(params.states_per_component) + 1;
        std::FILE* sink = std::fopen("/dev/null", "w");
        ASSERT_NE(sink, nullptr);
        ASSERT_TRUE(check_components(in, sink)) << "seed " << seed;
        for (std::size_t v = 0; v < silex.size(); ++v) {
            ErvOptions o;
            o.silex_order = silex[v].order;
            o.descending = silex[v].descending;
            o.sum_step = silex[v].sum;
            o.insertion = v % 2 ? 'q' : 'e';
            erv_options = o;
            Settings s;
            s.conditions_behind_cutoffs = v != 1;
            s.out = sink;
            const Prefix pf = unfold_spts(in, s);
            ASSERT_EQ(unftest::check_prefix(net, pf, s.conditions_behind_cutoffs, false), "")
                << "seed " << seed << " variant " << v << "\n" << testsupport::to_vos(net);
            for (std::uint32_t c = 1; c <= pf.conditions(); ++c) {
                const std::uint32_t e = pf.cond_pre[c - 1];
                if (e == 0) {
                    ASSERT_EQ(pf.cond_kind[c - 1], 0);
                } else if (!pf.is_cutoff[e - 1]) {
                    // One deeper than the consumed condition of its component.
                    const std::uint32_t comp = in.place_comp[pf.cond_place[c - 1]];
                    for (std::uint32_t k = pf.ev_pre_begin[e - 1]; k < pf.ev_pre_begin[e]; ++k) {
                        const std::uint32_t b = pf.ev_pre_conds[k];
                        if (in.place_comp[pf.cond_place[b - 1]] == comp) {
                            ASSERT_EQ(pf.cond_kind[c - 1], pf.cond_kind[b - 1] + 1) << "seed " << seed;
                        }
                    }
                }
            }
        }
        std::fclose(sink);
        ++checked;
    }
    EXPECT_EQ(checked, 120);
}

// Nets that are not made of one-token components are refused before a run.
TEST(Spts, ComponentFaultsAreFound) {
    auto net = [] {
        InputNet in = unftest::to_input(make({"a1", "a2", "b1", "b2"}, {1, 0, 1, 0},
                                             {{"t", {0, 2}, {1, 3}}, {"u", {1}, {0}}}));
        in.components = 2;
        in.place_comp = {1, 1, 2, 2};
        return in;
    };
    std::FILE* sink = std::fopen("/dev/null", "w");
    ASSERT_NE(sink, nullptr);
    EXPECT_TRUE(check_components(net(), sink));
    InputNet two_tokens = net();
    two_tokens.marking = {1, 1, 1, 0};
    EXPECT_FALSE(check_components(two_tokens, sink));
    InputNet out_of_range = net();
    out_of_range.place_comp[3] = 3;
    EXPECT_FALSE(check_components(out_of_range, sink));
    InputNet empty_component = net();
    empty_component.components = 3;
    EXPECT_FALSE(check_components(empty_component, sink));
    InputNet crossing = net();
    crossing.post.replace(1, {2});  // u moves a token from component 1 to component 2
    EXPECT_FALSE(check_components(crossing, sink));
    InputNet twice = net();
    twice.pre.replace(0, {0, 1});  // t takes two places of component 1
    EXPECT_FALSE(check_components(twice, sink));
    std::fclose(sink);
}
