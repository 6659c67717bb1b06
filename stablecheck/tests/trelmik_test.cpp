// End to end: random 1-safe nets unfolded by trelmik and checked against the
// explicit-state explorer: the prefix file read back and checked at every
// optimisation level with and without lookahead, and the program itself run
// on it.  Skipped when trelmik is not built.
#include "bra_process.h"
#include "check_helpers.h"
#include "petri_test.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {


const std::string bin_dir = VOS_BIN_DIR;
const std::string trelmik = bin_dir + "/trelmik";
const std::string velcheck = bin_dir + "/velcheck";

bool have_trelmik() { return access(trelmik.c_str(), X_OK) == 0; }

std::vector<testsupport::RandomNetParams> shapes() {
    std::vector<testsupport::RandomNetParams> v(4);
    v[1].components = 4;
    v[1].states_per_component = 2;
    v[1].max_sync = 3;
    v[2].general = true;
    v[3].general = true;
    v[3].places = 7;
    v[3].transitions = 5;
    v[3].max_preset = 2;
    return v;
}

// Unfolds the net with trelmik; returns the ".mci" path or "" on failure.
std::string unfold(const testsupport::TempDir& d, const testsupport::TestNet& net) {
    const std::string ll = d.file("net.ll_net");
    EXPECT_TRUE(testsupport::write_vos(net, ll));
    const auto r = minitest::spawn({trelmik, ll, "-m=" + d.file("net.mci")}, d.path());
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return r.exit_code == 0 ? d.file("net.mci") : "";
}

// The events "E%d(name)" of the printed configuration, in event order.
std::vector<std::string> witness_transitions(const std::string& out) {
    std::vector<std::pair<long, std::string>> evs;
    for (std::size_t i = out.find('E'); i != std::string::npos; i = out.find('E', i + 1)) {
        if (i > 0 && out[i - 1] != '\n' && out[i - 1] != ' ') continue;
        std::size_t j = i + 1;
        long n = 0;
        while (j < out.size() && std::isdigit(static_cast<unsigned char>(out[j]))) n = n * 10 + (out[j++] - '0');
        if (j == i + 1 || j >= out.size() || out[j] != '(') continue;
        const std::size_t close = out.find(')', j);
        evs.emplace_back(n, out.substr(j + 1, close - j - 1));
        i = close;
    }
    std::sort(evs.begin(), evs.end());
    std::vector<std::string> names;
    for (auto& e : evs) names.push_back(e.second);
    return names;
}

// The part of the output before the time line.
std::string verdict_part(const std::string& out) {
    std::string v = out.substr(0, out.find("\nTime needed:"));
    while (!v.empty() && v.back() == '\n') v.pop_back();
    return v;
}

velcheck::BraProcess read_back(const std::string& mci) {
    velcheck::BraProcess bp;
    std::string error;
    std::FILE* f = std::fopen(mci.c_str(), "rb");
    EXPECT_TRUE(f);
    if (f) {
        EXPECT_TRUE(bp.ReadPrefix(f, error)) << error;
        std::fclose(f);
    }
    return bp;
}

// Each test runs over the seeds from its parameter on (ten for deadlocks,
// eight for formulas), so that the nets are checked in parallel test entries.
class VelcheckWithTrelmik : public testing::TestWithParam<std::uint64_t> {};

TEST_P(VelcheckWithTrelmik, DeadlockVerdictsAgreeWithExplorer) {
    if (!have_trelmik()) GTEST_SKIP() << "trelmik is not built";
    const auto params = shapes();
    int checked = 0, deadlocks = 0;
    for (std::uint64_t seed = GetParam(); seed < GetParam() + 10; ++seed) {
        const testsupport::TestNet net = testsupport::random_safe_net(seed * 7, params[seed % params.size()]);
        const testsupport::StateSpace ss = testsupport::explore(net, 20000);
        if (!ss.complete) continue;
        testsupport::TempDir d;
        const std::string mci = unfold(d, net);
        ASSERT_FALSE(mci.empty());
        const bool expected = testsupport::has_deadlock(ss);
        ++checked;
        deadlocks += expected;
        velcheck::BraProcess bp = read_back(mci);
        for (int level = 0; level <= 3; ++level)
            for (bool lookahead : {true, false}) {
                const minitest::DeadlockResult r = minitest::check_deadlock(bp, net, level, lookahead);
                if (r.every) {
                    EXPECT_TRUE(expected) << "seed " << seed;
                    continue;
                }
                ASSERT_EQ(r.found, expected) << "seed " << seed << " level " << level << " lookahead " << lookahead;
                if (r.found) {
                    EXPECT_TRUE(r.witness_ok) << "seed " << seed << " level " << level;
                }
            }
        // The program on the same file, with options that change from net to net.
        static const char* const kOptions[] = {"-O3", "-O0 -n", "-O2", "-O1 -n", "-O3 -n"};
        for (const char* args : {kOptions[seed % 5]}) {
            std::vector<std::string> argv{velcheck};
            std::istringstream words(args);
            for (std::string w; words >> w;) argv.push_back(w);
            argv.push_back(mci);
            const auto r = minitest::spawn(argv, d.path());
            ASSERT_EQ(r.exit_code, 0) << "seed " << seed << " " << args << "\n" << r.out << r.err;
            const std::string v = verdict_part(r.out);
            if (!expected) {
                EXPECT_EQ(v, "TRUE") << "seed " << seed << " " << args;
                continue;
            }
            if (v == "FALSE - EVERY") continue;
            ASSERT_TRUE(v == "FALSE" || v.rfind("FALSE\n", 0) == 0) << "seed " << seed << " " << args << "\n" << r.out;
            const auto m = testsupport::replay_names(net, witness_transitions(v));
            ASSERT_TRUE(m.has_value()) << "seed " << seed << " " << args << "\n" << v;
            EXPECT_TRUE(testsupport::is_dead(net, *m)) << "seed " << seed << " " << args << "\n" << v;
        }
    }
    EXPECT_GT(checked, 5);
    EXPECT_GT(deadlocks, 0);
    EXPECT_LT(deadlocks, checked);
}

TEST_P(VelcheckWithTrelmik, ReachabilityFormulasAgreeWithExplorer) {
    if (!have_trelmik()) GTEST_SKIP() << "trelmik is not built";
    const auto params = shapes();
    int checked = 0, reachable = 0;
    for (std::uint64_t seed = GetParam(); seed < GetParam() + 8; ++seed) {
        const testsupport::TestNet net = testsupport::random_safe_net(seed * 11 + 3, params[seed % params.size()]);
        const testsupport::StateSpace ss = testsupport::explore(net, 20000);
        if (!ss.complete) continue;
        testsupport::TempDir d;
        const std::string mci = unfold(d, net);
        ASSERT_FALSE(mci.empty());
        // Places that the unfolder kept in its name list.
        velcheck::BraProcess bp = read_back(mci);
        std::vector<int> places;
        for (int p = 0; p < net.places(); ++p)
            if (bp.FindPlace(net.place_names[p])) places.push_back(p);
        if (places.empty()) continue;
        std::mt19937_64 rng(seed);
        for (int i = 0; i < 5; ++i) {
            const minitest::RandomFormula phi =
                minitest::random_formula(rng, net, places, 1 + static_cast<int>(rng() % 3));
            const bool negate = rng() % 3 == 0;
            const std::string text = (negate ? "-^" : "^") + phi.text + "\n";
            const bool reach = testsupport::reachable(ss, phi.holds);
            const bool expected = negate ? !reach : reach;
            ++checked;
            reachable += reach;
            for (int level = 0; level <= 3; ++level)
                for (bool lookahead : {true, false}) {
                    const minitest::Verdict v = minitest::check_formula(bp, text, level, lookahead);
                    ASSERT_TRUE(v.ok) << text;
                    ASSERT_EQ(v.answer, expected)
                        << "seed " << seed << " " << text << " level " << level << " lookahead " << lookahead;
                    if (!reach) continue;
                    const auto m = minitest::replay_config(net, bp, v.config);
                    ASSERT_TRUE(m.has_value()) << text;
                    EXPECT_TRUE(phi.holds(*m)) << "seed " << seed << " " << text;
                }
            if (i > 0) continue;
            // The program on the same question.
            testsupport::write_file(d.file("phi"), text);
            const auto r = minitest::spawn({velcheck, seed % 2 ? "-n" : "-O3", "-f=" + d.file("phi"), mci}, d.path());
            ASSERT_EQ(r.exit_code, 0) << phi.text << "\n" << r.err;
            const std::string v = verdict_part(r.out);
            ASSERT_EQ(v.rfind(expected ? "TRUE" : "FALSE", 0), 0u)
                << "seed " << seed << " " << text << "\n" << r.out;
            if (!reach) continue;
            // A reachable marking comes with a configuration leading to it.
            const auto m = testsupport::replay_names(net, witness_transitions(v));
            ASSERT_TRUE(m.has_value()) << v;
            EXPECT_TRUE(phi.holds(*m)) << "seed " << seed << " " << phi.text << "\n" << v;
        }
    }
    EXPECT_GT(checked, 20);
    EXPECT_GT(reachable, 5);
    EXPECT_LT(reachable, checked - 5);
}

INSTANTIATE_TEST_SUITE_P(Seeds, VelcheckWithTrelmik, testing::Values(1, 11, 21, 31));

}  // namespace
