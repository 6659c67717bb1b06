// Maximal configurations kept by the run against brute-force enumeration on
// the prefixes of random nets, and the consistency check's reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "erv.h"
#include "kconf.h"
#include "maxconf.h"
#include "outfile.h"
#include "prefix_check.h"
#include "unfold.h"

using namespace trelmik;
using testsupport::RandomNetParams;

namespace {

using Set = std::vector<std::uint32_t>;

// Every maximal causally closed, conflict-free set of events (the events
// 1 … limit of the prefix, cut-offs included, all of them when limit is 0),
// by extending sets one event at a time.
std::set<Set> brute_force(const Prefix& pf, std::uint32_t limit = 0) {
    const std::uint32_t E = limit ? limit : pf.events();
    auto enabled = [&](const std::vector<bool>& in, const std::vector<bool>& used, std::uint32_t e) {
        if (in[e]) return false;
        for (std::uint32_t i = pf.ev_pre_begin[e - 1]; i < pf.ev_pre_begin[e]; ++i) {
            const std::uint32_t c = pf.ev_pre_conds[i];
            const std::uint32_t g = pf.cond_pre[c - 1];
            if ((g != 0 && !in[g]) || used[c]) return false;
        }
        return true;
    };
    std::set<Set> result, seen;
    std::vector<Set> todo{Set{}};
    while (!todo.empty()) {
        const Set cur = todo.back();
        todo.pop_back();
        std::vector<bool> in(E + 1, false), used(pf.conditions() + 1, false);
        for (std::uint32_t e : cur) {
            in[e] = true;
            for (std::uint32_t i = pf.ev_pre_begin[e - 1]; i < pf.ev_pre_begin[e]; ++i) used[pf.ev_pre_conds[i]] = true;
        }
        bool maximal = true;
        for (std::uint32_t e = 1; e <= E; ++e) {
            if (!enabled(in, used, e)) continue;
            maximal = false;
            Set next = cur;
            next.insert(std::upper_bound(next.begin(), next.end(), e), e);
            if (seen.insert(next).second) todo.push_back(next);
        }
        if (maximal) result.insert(cur);
    }
    return result;
}

}  // namespace

TEST(MaxConf, RunListEqualsBruteForce) {
    int checked = 0;
    for (std::uint64_t seed = 1; seed <= 120; ++seed) {
        RandomNetParams params;
        params.general = seed % 2 == 0;
        params.places = 5 + static_cast<int>(seed % 3);
        params.transitions = 5 + static_cast<int>(seed % 4);
        params.components = 2 + static_cast<int>(seed % 2);
        params.states_per_component = 2 + static_cast<int>(seed % 2);
        params.max_sync = 1 + static_cast<int>(seed % 2);
        const auto net = testsupport::random_safe_net(seed, params);
        if (std::none_of(net.m0.begin(), net.m0.end(), [](int m) { return m != 0; })) continue;
        const InputNet in = unftest::to_input(net);
        Settings s;
        s.event_limit = 200;
        s.conditions_behind_cutoffs = seed % 3 != 0;  // cut-offs without outputs too
        for (int loop = 0; loop < 2; ++loop) {
            Prefix pf;
            try {
                pf = loop == 0 ? unfold_mcmillan(in, s) : (erv_options = ErvOptions{}, unfold_erv(in, s));
            } catch (const ExitRequest&) {
                continue;
            }
            if (pf.events() > 14) continue;
            // Both update forms (-z leaves out the reduction step).
            const Configurations got = maximal_configurations(pf);
            ASSERT_TRUE(got.computed);
            const Configurations unreduced = maximal_configurations(pf, false);
            if (pf.events() == 0) {
                EXPECT_TRUE(got.sets.empty());
                continue;
            }
            const std::set<Set> want = brute_force(pf);
            const std::set<Set> have(got.sets.begin(), got.sets.end());
            ASSERT_EQ(have.size(), got.sets.size()) << "seed " << seed << ": listed twice";
            ASSERT_EQ(have, want) << "seed " << seed << " loop " << loop << "\n" << testsupport::to_vos(net);
            const std::set<Set> have_z(unreduced.sets.begin(), unreduced.sets.end());
            ASSERT_EQ(have_z.size(), unreduced.sets.size()) << "seed " << seed << ": -z lists one twice";
            ASSERT_EQ(have_z, want) << "seed " << seed << " loop " << loop << " -z\n" << testsupport::to_vos(net);
            std::FILE* sink = std::fopen("/dev/null", "w");
            ASSERT_NE(sink, nullptr);
            EXPECT_TRUE(consistency_check(sink, pf, got)) << "seed " << seed;
            // -k: the reduced prefix lists the same configurations.
            testsupport::TempDir dir;
            const SeparateResult k = separate_configurations(pf, false, sink, dir.file("SR_CONFIGFILE"));
            std::fclose(sink);
            const std::set<Set> listed(k.sets.begin(), k.sets.end());
            ASSERT_EQ(listed.size(), k.sets.size()) << "seed " << seed << ": -k lists one twice";
            ASSERT_EQ(listed, want) << "seed " << seed << " loop " << loop << "\n" << testsupport::to_vos(net);
            EXPECT_EQ(k.configurations, want.size());
            ++checked;
        }
    }
    EXPECT_GT(checked, 60);
}

// The loops update the configurations with every event they create: the
// count in each progress line is the number of maximal configurations of the
// events created so far, and the final list is that of the finished prefix.
TEST(MaxConf, ProgressLineCountsTheConfigurationsOfTheRunSoFar) {
    int lines = 0;
    for (std::uint64_t seed = 1; seed <= 60; ++seed) {
        RandomNetParams params;
        params.general = seed % 2 == 0;
        params.components = 2 + static_cast<int>(seed % 2);
        const auto net = testsupport::random_safe_net(seed, params);
        if (std::none_of(net.m0.begin(), net.m0.end(), [](int m) { return m != 0; })) continue;
        const InputNet in = unftest::to_input(net);
        for (int loop = 0; loop < 2; ++loop) {
            char* text = nullptr;
            std::size_t size = 0;
            std::FILE* out = open_memstream(&text, &size);
            MaxConfigurations running;
            Settings s;
            s.event_limit = 60;
            s.progress = 'p';
            s.out = out;
            s.configs = &running;
            Prefix pf;
            bool ended = true;
            try {
                pf = loop == 0 ? unfold_mcmillan(in, s) : (erv_options = ErvOptions{}, unfold_erv(in, s));
            } catch (const ExitRequest&) {
                ended = false;
            }
            std::fclose(out);
            const std::string printed(text, size);
            std::free(text);
            if (!ended || pf.events() > 14) continue;
            EXPECT_EQ(running.result().sets, maximal_configurations(pf).sets) << "seed " << seed;
            std::size_t at = 0;
            while ((at = printed.find("|E|=", at)) != std::string::npos) {
                unsigned events = 0, cutoffs = 0, configs = 0;
                ASSERT_EQ(std::sscanf(printed.c_str() + at, "|E|=%u, Cutoffs:%u, Config's:%u", &events, &cutoffs,
                                      &configs), 3);
                EXPECT_EQ(configs, brute_force(pf, events).size()) << "seed " << seed << " at |E|=" << events;
                ++lines;
                ++at;
            }
        }
    }
    EXPECT_GT(lines, 100);
}

TEST(MaxConf, CheckReportsFaults) {
    // E1 and E2 consume the one initial condition; E3 follows E1.
    Prefix pf;
    pf.cond_place = {0, 1, 2};
    pf.cond_pre = {0, 1, 0};
    pf.ev_trans = {0, 1, 2};
    pf.ev_pre_begin = {0, 1, 2, 3};
    pf.ev_pre_conds = {1, 1, 2};
    pf.ev_post_first = {2, 0, 0};
    pf.ev_post_count = {1, 0, 0};
    pf.cond_first_arc = {1, 3, 0};
    pf.cond_last_arc = {2, 3, 0};
    pf.arc_event = {1, 2, 3};
    pf.arc_next = {2, 0, 0};
    pf.cutoffs = {{2, 0}};
    pf.is_cutoff = {0, 1, 0};
    const Configurations good = maximal_configurations(pf);
    EXPECT_EQ(good.sets, (std::vector<Set>{{1, 3}, {2}}));  // newest first
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    Configurations bad;
    bad.computed = true;
    bad.sets = {{3}, {1, 3}, {1, 3}};
    EXPECT_FALSE(consistency_check(out, pf, bad));
    std::fclose(out);
    EXPECT_EQ(std::string(text, size),
              "Consistency Check\n"
              "### Inconsistency: Event E1.\n{3}\n"
              "### Inconsistency: Configuration not maximal: {3}\n"
              "### Inconsistency: Configuration not maximal: {3}\n"
              "### Inconsistency: Configuration multiply listed: {1,3}\n"
              "There is a cut-off event not contained in any maximal configuration: E2\n"
              "End of Consistency Check\n");
    std::free(text);
}

namespace {

std::string run_k(const Prefix& pf, const testsupport::TempDir& dir, SeparateResult* res) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    *res = separate_configurations(pf, false, out, dir.file("SR_CONFIGFILE"));
    outfile::commit();   // the file takes its name as at the end of a run
    std::fclose(out);
    std::string s(text, size);
    std::free(text);
    return s;
}

}  // namespace

TEST(SeparateConfigurations, SingleEventGoesToTheCommonList) {
    // One transition, one marked input place, one output place.
    testsupport::TestNet net;
    net.place_names = {"a", "b"};
    net.m0 = {1, 0};
    net.trans_names = {"t"};
    net.pre = {{0}};
    net.post = {{1}};
    const Prefix pf = unfold_mcmillan(unftest::to_input(net), Settings{});
    testsupport::TempDir dir;
    SeparateResult res;
    const std::string out = run_k(pf, dir, &res);
    EXPECT_EQ(out,
              "=== " "    1 ===> E1\n"
              "Events which are contained in each configuration : {1}\n"
              "There is 1 maximal configuration.\n");
    EXPECT_EQ(res.events, 0u);
    EXPECT_EQ(testsupport::read_file(dir.file("SR_CONFIGFILE")), "E1.\n");
}

TEST(SeparateConfigurations, TwoRootsInConflict) {
    testsupport::TestNet net;
    net.place_names = {"a", "b", "c"};
    net.m0 = {1, 0, 0};
    net.trans_names = {"t", "u"};
    net.pre = {{0}, {0}};
    net.post = {{1}, {2}};
    const Prefix pf = unfold_mcmillan(unftest::to_input(net), Settings{});
    testsupport::TempDir dir;
    SeparateResult res;
    const std::string out = run_k(pf, dir, &res);
    EXPECT_NE(out.find("E1topo: (1) {1}\nE2topo: (1) {2}\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Konflikttabelle:\n     1. | O#\n     2. | #O\nmaxevent=2\n"), std::string::npos) << out;
    EXPECT_NE(out.find("=== " "    1 ===> E1\n"), std::string::npos) << out;
    EXPECT_NE(out.find("=== " "    2 ===> E2\n"), std::string::npos) << out;
    EXPECT_NE(out.find("There are 2 maximal configurations.\n"), std::string::npos) << out;
    EXPECT_EQ(testsupport::read_file(dir.file("SR_CONFIGFILE")), "E1.\nE2.\n");
}

// -k on prefixes too large for the brute force above, against the run's list
// (which the brute force checks on the small ones): the enumeration must not
// lose a configuration that leaves out an event for a conflict further on.
TEST(SeparateConfigurations, AgreeWithTheRunOnLargerPrefixes) {
    int checked = 0;
    for (std::uint64_t seed = 1; seed <= 150; ++seed) {
        RandomNetParams params;
        params.general = seed % 2 == 0;
        params.places = 5 + static_cast<int>(seed % 5);
        params.transitions = 5 + static_cast<int>(seed % 6);
        params.components = 2 + static_cast<int>(seed % 3);
        params.states_per_component = 2 + static_cast<int>(seed % 3);
        params.max_sync = 1 + static_cast<int>(seed % 3);
        const auto net = testsupport::random_safe_net(seed, params);
        if (std::none_of(net.m0.begin(), net.m0.end(), [](int m) { return m != 0; })) continue;
        const InputNet in = unftest::to_input(net);
        Settings s;
        s.event_limit = 300;
        s.conditions_behind_cutoffs = seed % 3 != 0;
        for (int loop = 0; loop < 2; ++loop) {
            Prefix pf;
            try {
                pf = loop == 0 ? unfold_mcmillan(in, s) : (erv_options = ErvOptions{}, unfold_erv(in, s));
            } catch (const ExitRequest&) {
                continue;
            }
            if (pf.events() > 40 || pf.events() == 0) continue;
            const Configurations run = maximal_configurations(pf);
            std::FILE* sink = std::fopen("/dev/null", "w");
            ASSERT_NE(sink, nullptr);
            testsupport::TempDir dir;
            const SeparateResult k = separate_configurations(pf, false, sink, dir.file("SR_CONFIGFILE"));
            std::fclose(sink);
            const std::set<Set> want(run.sets.begin(), run.sets.end()), listed(k.sets.begin(), k.sets.end());
            ASSERT_EQ(listed.size(), k.sets.size()) << "seed " << seed << ": -k lists one twice";
            ASSERT_EQ(listed, want) << "seed " << seed << " loop " << loop << "\n" << testsupport::to_vos(net);
            // The reduced prefix holds what the summary counts.
            EXPECT_EQ(k.reduced.conditions(), k.conditions);
            EXPECT_EQ(k.reduced.events(), k.events);
            ++checked;
        }
    }
    EXPECT_GT(checked, 100);
}
