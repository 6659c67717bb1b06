// The ERV loop: sound and complete prefixes on random 1-safe nets, never
// larger than McMillan's, the same prefix whatever the queue insertion and
// key form, and the order's tie-breaks on small nets.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "erv.h"
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

// Events of the local configuration of condition c's pre-event (none for an initial one).
std::set<std::uint32_t> past(const Prefix& pf, std::uint32_t c) {
    std::set<std::uint32_t> out;
    std::vector<std::uint32_t> stack;
    if (pf.cond_pre[c - 1]) stack.push_back(pf.cond_pre[c - 1]);
    while (!stack.empty()) {
        const std::uint32_t e = stack.back();
        stack.pop_back();
        if (!out.insert(e).second) continue;
        for (std::uint32_t i = pf.ev_pre_begin[e - 1]; i < pf.ev_pre_begin[e]; ++i)
            if (pf.cond_pre[pf.ev_pre_conds[i] - 1]) stack.push_back(pf.cond_pre[pf.ev_pre_conds[i] - 1]);
    }
    return out;
}

// Two conditions are concurrent when the union of their pasts is free of
// conflicts and consumes neither.
bool brute_concurrent(const Prefix& pf, std::uint32_t a, std::uint32_t b) {
    std::set<std::uint32_t> u = past(pf, a);
    const std::set<std::uint32_t> pb = past(pf, b);
    u.insert(pb.begin(), pb.end());
    std::set<std::uint32_t> consumed;
    for (std::uint32_t e : u)
        for (std::uint32_t i = pf.ev_pre_begin[e - 1]; i < pf.ev_pre_begin[e]; ++i)
            if (!consumed.insert(pf.ev_pre_conds[i]).second) return false;
    return !consumed.count(a) && !consumed.count(b);
}

std::string co_errors(const Prefix& pf) {
    for (std::uint32_t a = 1; a <= pf.conditions(); ++a) {
        if (!pf.cond_has_row[a - 1]) continue;
        for (std::uint32_t b = 1; b < a; ++b)
            if (pf.concurrent(a, b) != brute_concurrent(pf, a, b))
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
                ASSERT_EQ(testsupport::read_file(dir.file("other.mci")), base) << "seed " << seed << " -" << v.name;
                ASSERT_EQ(other.cutoffs, pf.cutoffs) << "seed " << seed << " -" << v.name;
            }
        }
        ++checked;
    }
    EXPECT_GT(checked, 120);
}

// Two events of equal size reach the same cut: McMillan keeps both, the ERV
// order makes the later one (the higher transition number) a cut-off.
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
