// End to end: random 1-safe nets unfolded by trelmik, checked by velcheck at
// every optimisation level with and without lookahead, against the
// explicit-state explorer.  Skipped when trelmik is not built.
#include "bra_process.h"
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

TEST(VelcheckWithTrelmik, DeadlockVerdictsAgreeWithExplorer) {
    if (!have_trelmik()) GTEST_SKIP() << "trelmik is not built";
    const auto params = shapes();
    int checked = 0, deadlocks = 0;
    for (std::uint64_t seed = 1; seed <= 28; ++seed) {
        const testsupport::TestNet net = testsupport::random_safe_net(seed * 7, params[seed % params.size()]);
        const testsupport::StateSpace ss = testsupport::explore(net, 20000);
        if (!ss.complete) continue;
        testsupport::TempDir d;
        const std::string mci = unfold(d, net);
        ASSERT_FALSE(mci.empty());
        const bool expected = testsupport::has_deadlock(ss);
        ++checked;
        deadlocks += expected;
        for (const char* level : {"-O0", "-O1", "-O2", "-O3"}) {
            for (const char* n : {"", " -n"}) {
                const std::string args = std::string(level) + n;
                std::vector<std::string> argv{velcheck, level};
                if (*n) argv.push_back("-n");
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
    }
    EXPECT_GT(checked, 15);
    EXPECT_GT(deadlocks, 3);
    EXPECT_LT(deadlocks, checked);
}

struct RandomFormula {
    std::string text;
    std::function<bool(const testsupport::Marking&)> holds;
};

RandomFormula random_formula(std::mt19937_64& rng, const testsupport::TestNet& net,
                             const std::vector<int>& places, int depth) {
    const int k = depth == 0 ? 0 : static_cast<int>(rng() % 4);
    if (k == 0) {
        const int p = places[rng() % places.size()];
        return {net.place_names[p], [p](const testsupport::Marking& m) { return m[p] > 0; }};
    }
    if (k == 1) {
        RandomFormula f = random_formula(rng, net, places, depth - 1);
        auto h = f.holds;
        return {"-" + f.text, [h](const testsupport::Marking& m) { return !h(m); }};
    }
    RandomFormula l = random_formula(rng, net, places, depth - 1);
    RandomFormula r = random_formula(rng, net, places, depth - 1);
    auto lh = l.holds, rh = r.holds;
    if (k == 2)
        return {"(" + l.text + " * " + r.text + ")",
                [lh, rh](const testsupport::Marking& m) { return lh(m) && rh(m); }};
    return {"(" + l.text + " + " + r.text + ")",
            [lh, rh](const testsupport::Marking& m) { return lh(m) || rh(m); }};
}

TEST(VelcheckWithTrelmik, ReachabilityFormulasAgreeWithExplorer) {
    if (!have_trelmik()) GTEST_SKIP() << "trelmik is not built";
    const auto params = shapes();
    int checked = 0, reachable = 0;
    for (std::uint64_t seed = 1; seed <= 16; ++seed) {
        const testsupport::TestNet net = testsupport::random_safe_net(seed * 11 + 3, params[seed % params.size()]);
        const testsupport::StateSpace ss = testsupport::explore(net, 20000);
        if (!ss.complete) continue;
        testsupport::TempDir d;
        const std::string mci = unfold(d, net);
        ASSERT_FALSE(mci.empty());
        // Places that the unfolder kept in its name list.
        velcheck::BraProcess bp;
        std::string error;
        std::FILE* f = std::fopen(mci.c_str(), "rb");
        ASSERT_TRUE(f);
        ASSERT_TRUE(bp.ReadPrefix(f, error)) << error;
        std::fclose(f);
        std::vector<int> places;
        for (int p = 0; p < net.places(); ++p)
            if (bp.FindPlace(net.place_names[p])) places.push_back(p);
        if (places.empty()) continue;
        std::mt19937_64 rng(seed);
        for (int i = 0; i < 4; ++i) {
            const RandomFormula phi = random_formula(rng, net, places, 1 + static_cast<int>(rng() % 3));
            const bool negate = rng() % 3 == 0;
            testsupport::write_file(d.file("phi"), (negate ? "-^" : "^") + phi.text + "\n");
            const bool reach = testsupport::reachable(ss, phi.holds);
            const bool expected = negate ? !reach : reach;
            ++checked;
            reachable += reach;
            for (const char* args : {"-O3", "-O0 -n", i % 2 ? "-O1" : "-O2 -n"}) {
                std::vector<std::string> argv{velcheck};
                std::istringstream words(args);
                for (std::string w; words >> w;) argv.push_back(w);
                argv.push_back("-f=" + d.file("phi"));
                argv.push_back(mci);
                const auto r = minitest::spawn(argv, d.path());
                ASSERT_EQ(r.exit_code, 0) << phi.text << "\n" << r.err;
                const std::string v = verdict_part(r.out);
                ASSERT_EQ(v.rfind(expected ? "TRUE" : "FALSE", 0), 0u)
                    << "seed " << seed << " " << (negate ? "-^" : "^") << phi.text << " " << args << "\n" << r.out;
                if (!reach) continue;
                // A reachable marking comes with a configuration leading to it.
                const auto m = testsupport::replay_names(net, witness_transitions(v));
                ASSERT_TRUE(m.has_value()) << v;
                EXPECT_TRUE(phi.holds(*m)) << "seed " << seed << " " << phi.text << " " << args << "\n" << v;
            }
        }
    }
    EXPECT_GT(checked, 30);
    EXPECT_GT(reachable, 5);
    EXPECT_LT(reachable, checked - 5);
}

}  // namespace
