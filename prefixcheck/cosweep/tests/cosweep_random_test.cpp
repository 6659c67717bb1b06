// cosweep against the explorer on random 1-safe nets: for random lines of
// places and complement places the verdict must be the explorer's, and the
// firing sequence printed with "YES!" must reach a marking that satisfies a
// line of the file.  Each net is checked with fresh derived files first and
// then with the files of the first run.  The runs go through a stand-in for
// trelmik (default loop, matrix from the prefix itself) and through the real
// trelmik's ERV and component loops when the installed trelmik offers them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <random>
#include <sstream>

#include "coco_oracle.h"
#include "petri_test.h"

using testsupport::run;
using testsupport::shell_quote;

namespace {

struct Line {
    std::vector<int> places;
    std::vector<bool> complemented;
};

bool satisfies(const testsupport::Marking& m, const Line& l) {
    for (std::size_t i = 0; i < l.places.size(); ++i)
        if ((m[l.places[i]] == 1) == l.complemented[i]) return false;
    return true;
}

std::string text_of(const testsupport::TestNet& net, const std::vector<Line>& lines) {
    std::string s;
    for (const Line& l : lines) {
        for (std::size_t i = 0; i < l.places.size(); ++i) {
            if (i) s += ' ';
            s += (l.complemented[i] ? "|" : "") + net.place_names[l.places[i]];
        }
        s += '\n';
    }
    return s;
}

long long mtime_ns(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return -1;
    return st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
}

// Whether the installed trelmik runs the command line cosweep gives it.
bool real_trelmik_offers(bool component_loop) {
    testsupport::TempDir dir;
    testsupport::write_file(dir.file("p.ll_net"),
                            "VOS\nPlainNet\nFORMAT_N\nPL\n\"a\"M1C1\n\"b\"C1\nTR\n\"t\"\nTP\n1<2\nPT\n1>1\nTX\n");
    std::string cmd = component_loop ? "echo y|trelmik -ctCK=p.ll_net -m=p -M=p"
                                     : "echo y|trelmik -@@ctC -m=p -M=p p.ll_net";
    auto r = run("cd " + shell_quote(dir.path()) + " && " + cosweep_test::real_path_prefix() + "sh -c " + shell_quote(cmd));
    return r.exit_code == 0 && mtime_ns(dir.file("p.mci")) >= 0 && mtime_ns(dir.file("p.bin_coco")) >= 0;
}

// Runs the random check over `nets` nets; `path` puts the trelmik to use first.
void check_random(const std::string& path, bool component_loop, std::uint64_t first_seed, int nets,
                  const std::function<int()>& trelmik_runs) {
    std::mt19937_64 rng(first_seed);
    int yes = 0, no = 0;
    for (std::uint64_t seed = first_seed; seed < first_seed + static_cast<std::uint64_t>(nets); ++seed) {
        testsupport::RandomNetParams params;
        params.general = seed % 2 == 1;
        if (!params.general) {
            params.components = 2 + static_cast<int>(seed % 3);
            params.states_per_component = 2 + static_cast<int>(seed % 2);
        }
        testsupport::TestNet net = testsupport::random_safe_net(seed, params);
        testsupport::StateSpace ss = testsupport::explore(net);
        testsupport::TempDir dir;
        ASSERT_TRUE(testsupport::write_vos(net, dir.file("net.ll_net")));
        const int runs_before = trelmik_runs();
        long long mci_time = -1;
        for (int round = 0; round < 3; ++round) {
            std::vector<Line> lines(1 + rng() % 2);
            for (Line& l : lines) {
                std::vector<int> all(static_cast<std::size_t>(net.places()));
                for (int p = 0; p < net.places(); ++p) all[static_cast<std::size_t>(p)] = p;
                std::shuffle(all.begin(), all.end(), rng);
                std::size_t k = 1 + rng() % std::min<std::size_t>(3, all.size());
                for (std::size_t i = 0; i < k; ++i) {
                    l.places.push_back(all[i]);
                    l.complemented.push_back(rng() % 2 == 0);
                }
            }
            testsupport::write_file(dir.file("f"), text_of(net, lines));
            auto r = run("cd " + shell_quote(dir.path()) + " && " + path + "cosweep " +
                         (component_loop ? "-K " : "") + "net.ll_net f");
            std::string where = "seed " + std::to_string(seed) + " round " + std::to_string(round) + "\n" +
                                testsupport::to_vos(net) + text_of(net, lines) + r.out + r.err;
            ASSERT_EQ(r.exit_code, 0) << where;
            bool expected = false;
            for (const Line& l : lines)
                expected = expected || testsupport::reachable(ss, [&](const testsupport::Marking& m) {
                               return satisfies(m, l);
                           });
            std::size_t at = r.out.find("\nYES!\n#");
            bool got = at != std::string::npos;
            ASSERT_TRUE(got || r.out.find("\nNO!\n") != std::string::npos) << where;
            ASSERT_EQ(got, expected) << where;
            (got ? yes : no)++;
            if (got) {
                std::string seq_line = r.out.substr(at + 7, r.out.find('\n', at + 6) - at - 7);
                std::istringstream words(seq_line);
                std::vector<std::string> seq;
                for (std::string w; words >> w;) seq.push_back(w);
                auto m = testsupport::replay_names(net, seq);
                ASSERT_TRUE(m.has_value()) << "sequence not fireable: " << seq_line << "\n" << where;
                bool any = false;
                for (const Line& l : lines) any = any || satisfies(*m, l);
                ASSERT_TRUE(any) << "sequence misses every line: " << seq_line << "\n" << where;
            }
            // The first run makes the derived files, the others reuse them.
            if (round == 0) mci_time = mtime_ns(dir.file("net.comp.mci"));
            EXPECT_EQ(mtime_ns(dir.file("net.comp.mci")), mci_time) << where;
            if (runs_before >= 0) {
                EXPECT_EQ(trelmik_runs(), runs_before + 1) << where;
            }
        }
    }
    // The lines must exercise both answers.
    EXPECT_GT(yes, 0);
    EXPECT_GT(no, 0);
}

int count_lines(const std::string& log, const std::string& word) {
    int n = 0;
    for (std::size_t at = log.find(word); at != std::string::npos; at = log.find(word, at + 1)) ++n;
    return n;
}

}  // namespace

// Each test checks one half of its nets (the parameter), so that the halves
// run as parallel test entries.
class CosweepRandom : public testing::TestWithParam<int> {};

TEST_P(CosweepRandom, AgreesWithTheExplorerThroughTheDefaultLoop) {
    cosweep_test::FakeTrelmik fake;
    check_random(fake.path_prefix(), false, 1 + 10 * GetParam(), 10, [&] { return count_lines(fake.log(), "-@@ctC"); });
}

TEST_P(CosweepRandom, AgreesWithTheExplorerUnderK) {
    cosweep_test::FakeTrelmik fake;
    check_random(fake.path_prefix(), true, 101 + 6 * GetParam(), 6, [&] { return count_lines(fake.log(), "-ctCK="); });
}

TEST_P(CosweepRandom, AgreesWithTheExplorerThroughTrelmikErv) {
    if (!real_trelmik_offers(false)) GTEST_SKIP() << "the installed trelmik does not run -@@ctC -m -M";
    // The runs of the real program are not counted; the time of the prefix file shows reuse.
    check_random(cosweep_test::real_path_prefix(), false, 201 + 10 * GetParam(), 10, [] { return -1; });
}

TEST_P(CosweepRandom, AgreesWithTheExplorerThroughTrelmikComponents) {
    if (!real_trelmik_offers(true)) GTEST_SKIP() << "the installed trelmik does not run -ctCK= -m -M";
    check_random(cosweep_test::real_path_prefix(), true, 301 + 6 * GetParam(), 6, [] { return -1; });
}

INSTANTIATE_TEST_SUITE_P(Halves, CosweepRandom, testing::Values(0, 1));
