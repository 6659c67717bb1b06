// vorga's verdicts on random 1-safe nets against the explicit-state explorer,
// on prefixes built by the test unfolder and, once it is built, by trelmik.
// Every verdict must equal the explorer's, every trail must replay on the net
// and lead to a marking of the asked kind, and -t trails must be shortest.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <random>
#include <sstream>

#include "petri_test.h"
#include "prefix_fixture.h"

using namespace testsupport;
using namespace vorga_test;

namespace {

struct Case {
    TestNet net;
    StateSpace ss;
};

std::vector<Case> random_cases(int count, std::uint64_t seed0) {
    // LINCHECK_SEED_SHIFT moves every test to other nets (for longer local runs).
    if (const char* shift = std::getenv("LINCHECK_SEED_SHIFT")) seed0 += std::strtoull(shift, nullptr, 10);
    std::vector<Case> cases;
    for (int i = 0; static_cast<int>(cases.size()) < count; ++i) {
        RandomNetParams p;
        if (i % 3 == 1) {
            p.general = true;
            p.places = 6 + i % 4;
            p.transitions = 7 + i % 5;
            p.max_preset = 2;
        } else {
            p.components = 2 + i % 3;
            p.states_per_component = 3 + i % 2;
            p.transitions = 7 + i % 7;
        }
        TestNet net = random_safe_net(seed0 + static_cast<std::uint64_t>(i), p);
        StateSpace ss = explore(net);
        if (!ss.complete || ss.states.size() > 300 || ss.states.size() < 4) continue;
        cases.push_back({net, ss});
    }
    return cases;
}

// The option sets every verdict is checked under.  Reachability and
// coverability take every -! value but 0 alike (the branching search), so
// two of those stand for all there.
std::vector<std::vector<std::string>> option_sets(bool all_branching = true) {
    std::vector<std::vector<std::string>> sets;
    const char* ms[] = {nullptr, "-M0", "-M1", "-M2", "-M3", "-M4", "-M7"};
    std::vector<const char*> bs = {nullptr, "-!", "-!1", "-!2", "-!5"};
    if (!all_branching) bs = {nullptr, "-!", "-!5"};
    for (const char* m : ms)
        for (const char* b : bs)
            for (int s = 0; s < 2; ++s) {
                std::vector<std::string> o;
                if (m) o.push_back(m);
                if (b) o.push_back(b);
                if (s) o.push_back("-s");
                sets.push_back(o);
            }
    return sets;
}

std::string join(const std::vector<std::string>& v) {
    std::string s;
    for (const auto& x : v) s += x + " ";
    return s;
}

bool has(const std::vector<std::string>& opts, const std::string& o) {
    return std::find(opts.begin(), opts.end(), o) != opts.end();
}

// The exit status vorga owes for the options: 1 where it substitutes an -M or
// -! value with a warning, 0 otherwise (the files of these tests never give
// warnings of their own).
int expected_status(const std::string& mode, const std::vector<std::string>& opts) {
    const bool safe = has(opts, "-s");
    int m = -1, b = -1;
    for (const std::string& o : opts) {
        if (o.rfind("-M", 0) == 0) m = o.size() > 2 ? o[2] - '0' : 0;
        if (o.rfind("-!", 0) == 0) b = o.size() > 2 ? o[2] - '0' : 0;
    }
    if (mode.empty() || mode == "-d") return (m == 2 && !safe) || m == 3 || m >= 5 || b >= 2;
    if (mode == "-r") return (m == 3 && !safe) || m >= 4;
    if (mode == "-c") return (m == 2 && !safe) || m >= 3;
    if (mode == "-m") return b >= 3;
    return 0;
}

// The verdict line vorga ends with.
std::string verdict_line(const std::string& mode, bool found) {
    if (mode == "-r" || mode == "-e")
        return found ? "\nthe marking is reachable\n" : "\nthe marking is unreachable\n";
    if (mode == "-c") return found ? "\nthe marking is coverable\n" : "\nthe marking is uncoverable\n";
    if (mode == "-m") return found ? "\nplaces are not mutually exclusive\n" : "\nplaces are mutually exclusive\n";
    return found ? "\nthe system has a deadlock\n" : "\nthe system is deadlock-free\n";
}

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Runs vorga and checks status, verdict, trail and (with -t) trail length.
void check(const Case& c, const std::string& mci, std::vector<std::string> opts, const std::string& mode_opt,
           const std::string& data, bool expect, const std::function<bool(const Marking&)>& target) {
    std::vector<std::string> args = opts;
    if (!mode_opt.empty()) {
        args.push_back(mode_opt);
        args.push_back(data);
    }
    args.push_back(mci);
    VorgaRun r = run_vorga(args);
    SCOPED_TRACE("options: " + join(args));
    ASSERT_EQ(r.code, expected_status(mode_opt, opts)) << r.err;
    std::vector<std::string> names;
    bool found = trail_of(r.out, names);
    ASSERT_EQ(found, expect) << r.out;
    // Without a result file the answer "NO" stands right before the verdict.
    EXPECT_TRUE(ends_with(r.out, (found ? "" : "NO") + verdict_line(mode_opt, expect))) << r.out;
    if (!found) return;
    std::optional<Marking> m = replay_names(c.net, names);
    ASSERT_TRUE(m.has_value()) << "trail does not replay: " << r.out;
    EXPECT_TRUE(target(*m)) << r.out;
    if (has(opts, "-t")) {
        auto path = path_to(c.ss, target);
        ASSERT_TRUE(path.has_value());
        EXPECT_EQ(names.size(), path->size()) << "trail is not shortest: " << r.out;
    }
}

std::string place_list(const TestNet& net, const std::vector<int>& places, const Marking* counts = nullptr) {
    std::string s;
    for (std::size_t k = 0; k < places.size(); ++k) {
        if (k) s += ", ";
        if (counts && (*counts)[places[k]] != 1) s += std::to_string((*counts)[places[k]]) + " ";
        s += net.place_names[places[k]];
    }
    return s;
}

// Writes the prefix of the net as a ".mci" file; false when it cannot.
// The text is the net file for the unfolder (the test unfolder uses the net itself).
using Maker =
    std::function<bool(const TestNet&, const std::string& text, const TempDir&, const std::string& name)>;

bool mini_maker(const TestNet& net, const std::string&, const TempDir& dir, const std::string& name) {
    const Prefix p = unfold_prefix(net);
    return p.complete && write_mci(p, dir.file(name + ".mci"));
}

const std::string kTrelmik = std::string(VOS_BIN_DIR) + "/trelmik";

bool have_trelmik() {
    struct stat st;
    return ::stat(kTrelmik.c_str(), &st) == 0;
}

bool trelmik_writes(const TempDir& dir, const std::string& name, const std::string& opt, RunResult* r) {
    *r = run("cd " + shell_quote(dir.path()) + " && " + shell_quote(kTrelmik) + opt + " -m=" +
             shell_quote(name + ".mci") + " " + shell_quote(name + ".ll_net"));
    struct stat st;
    return ::stat(dir.file(name + ".mci").c_str(), &st) == 0 && st.st_size > 0;
}

// Whether trelmik offers the ERV loop (-@).
bool have_erv() {
    static const bool erv = [] {
        TempDir dir;
        write_vos(random_safe_net(1), dir.file("probe.ll_net"));
        RunResult r;
        return trelmik_writes(dir, "probe", " -@", &r);
    }();
    return erv;
}

// trelmik with McMillan's loop, and the ERV loop on every second net when it has one.
bool trelmik_maker(const TestNet&, const std::string& text, const TempDir& dir, const std::string& name) {
    static int count = 0;
    std::string netfile = dir.file(name + ".ll_net");
    if (!write_file(netfile, text)) return false;
    std::string opt = (count++ % 2 && have_erv()) ? " -@" : "";
    RunResult r;
    bool ok = trelmik_writes(dir, name, opt, &r);
    EXPECT_TRUE(ok) << "trelmik wrote no prefix (exit " << r.exit_code << "): " << r.err;
    return ok;
}


void deadlock_checks(const Maker& make, int count, std::uint64_t seed) {
    auto cases = random_cases(count, seed);
    auto sets = option_sets();
    TempDir dir;
    int idx = 0;
    for (const Case& c : cases) {
        std::string name = "n" + std::to_string(idx++);
        ASSERT_TRUE(make(c.net, to_vos(c.net), dir, name));
        std::string mci = dir.file(name + ".mci");
        bool dl = has_deadlock(c.ss);
        auto dead = [&](const Marking& m) { return is_dead(c.net, m); };
        SCOPED_TRACE(to_vos(c.net));
        for (auto o : sets) check(c, mci, o, "", "", dl, dead);
        for (auto o : {std::vector<std::string>{"-t"}, std::vector<std::string>{"-t", "-!1"},
                       std::vector<std::string>{"-t", "-M1"}, std::vector<std::string>{"-t", "-M2", "-s"}})
            check(c, mci, o, "", "", dl, dead);
    }
}

void reach_cover_checks(const Maker& make, int count, std::uint64_t seed) {
    auto cases = random_cases(count, seed);
    auto sets = option_sets(false);
    TempDir dir;
    std::mt19937 rng(7);
    int idx = 0;
    for (const Case& c : cases) {
        std::string name = "n" + std::to_string(idx);
        ASSERT_TRUE(make(c.net, to_vos(c.net), dir, name));
        std::string mci = dir.file(name + ".mci");
        SCOPED_TRACE(to_vos(c.net));
        for (int q = 0; q < 3; ++q) {
            // A reachable marking, or a random one that may not be.
            Marking want(c.net.places(), 0);
            if (q == 0) {
                want = c.ss.states[rng() % c.ss.states.size()];
            } else {
                for (int& v : want) v = rng() % 3 == 0;
            }
            std::vector<int> listed;
            for (int s = 0; s < c.net.places(); ++s)
                if (want[s]) listed.push_back(s);
            std::string rfile = dir.file("r" + std::to_string(idx) + "_" + std::to_string(q));
            write_file(rfile, place_list(c.net, listed, &want));
            auto is_want = [&](const Marking& m) { return m == want; };
            bool reach = reachable(c.ss, is_want);
            auto covers = [&](const Marking& m) {
                for (int s : listed)
                    if (m[s] < 1) return false;
                return true;
            };
            bool cover = reachable(c.ss, covers);
            for (auto o : sets) {
                check(c, mci, o, "-r", rfile, reach, is_want);
                check(c, mci, o, "-c", rfile, cover, covers);
            }
            check(c, mci, {"-t"}, "-r", rfile, reach, is_want);
            check(c, mci, {"-t", "-!0"}, "-c", rfile, cover, covers);
            check(c, mci, {"-t", "-s", "-M2"}, "-c", rfile, cover, covers);
        }
        ++idx;
    }
}

void ext_mutex_checks(const Maker& make, int count, std::uint64_t seed) {
    auto cases = random_cases(count, seed);
    TempDir dir;
    std::mt19937 rng(11);
    int idx = 0;
    for (const Case& c : cases) {
        std::string name = "n" + std::to_string(idx);
        ASSERT_TRUE(make(c.net, to_vos(c.net), dir, name));
        std::string mci = dir.file(name + ".mci");
        SCOPED_TRACE(to_vos(c.net));
        const int np = c.net.places();
        for (int q = 0; q < 4; ++q) {
            // Two random constraints: a*x + b*y REL k.
            std::string text;
            std::vector<std::function<bool(const Marking&)>> preds;
            for (int k = 0; k < 2; ++k) {
                int x = rng() % np, y = rng() % np;
                int a = static_cast<int>(rng() % 5) - 2, b = static_cast<int>(rng() % 3) + 1;
                int bound = static_cast<int>(rng() % 3);
                const char* rels[] = {"<=", "<", "=", ">", ">="};
                int rel = rng() % 5;
                std::ostringstream t;
                if (a != 0) t << a << "*" << c.net.place_names[x] << "+";
                t << b << "*" << c.net.place_names[y] << rels[rel] << bound << "\n";
                text += t.str();
                preds.push_back([=](const Marking& m) {
                    long v = static_cast<long>(a) * m[x] + static_cast<long>(b) * m[y];
                    switch (rel) {
                        case 0: return v <= bound;
                        case 1: return v < bound;
                        case 2: return v == bound;
                        case 3: return v > bound;
                        default: return v >= bound;
                    }
                });
            }
            std::string efile = dir.file("e" + std::to_string(idx) + "_" + std::to_string(q));
            write_file(efile, text);
            auto pred = [&](const Marking& m) { return preds[0](m) && preds[1](m); };
            bool expect = reachable(c.ss, pred);
            for (auto o : {std::vector<std::string>{}, std::vector<std::string>{"-!0"}, std::vector<std::string>{"-t"}})
                check(c, mci, o, "-e", efile, expect, pred);

            // Mutual exclusion of 2 to 4 distinct places.
            std::vector<int> places(np);
            for (int s = 0; s < np; ++s) places[s] = s;
            std::shuffle(places.begin(), places.end(), rng);
            places.resize(2 + rng() % std::min(3, np - 1));
            std::string mfile = dir.file("m" + std::to_string(idx) + "_" + std::to_string(q));
            write_file(mfile, place_list(c.net, places));
            auto two = [&](const Marking& m) {
                int n = 0;
                for (int s : places) n += m[s] > 0;
                return n >= 2;
            };
            bool notex = reachable(c.ss, two);
            for (auto o : {std::vector<std::string>{}, std::vector<std::string>{"-s"}, std::vector<std::string>{"-!0"},
                           std::vector<std::string>{"-!1"}, std::vector<std::string>{"-!0", "-t"},
                           std::vector<std::string>{"-!1", "-t", "-s"}, std::vector<std::string>{"-t"},
                           std::vector<std::string>{"-t", "-s"}})
                check(c, mci, o, "-m", mfile, notex, two);
        }
        ++idx;
    }
}

// The net as a box: the initially marked places are its entry places, the
// exit places are drawn at random (often the places of a dead marking).
std::string box_text(const TestNet& net, const std::vector<int>& kind) {
    std::ostringstream o;
    o << "VOS\nPetriBox\nFORMAT_N\nPL\n";
    for (int i = 0; i < net.places(); ++i)
        o << (i + 1) << "\"" << net.place_names[i] << "\"" << (kind[i] < 0 ? "e" : kind[i] > 0 ? "x" : "") << "\n";
    std::string plain = to_vos(net);
    o << plain.substr(plain.find("TR\n"));
    return o.str();
}

void terminal_checks(const Maker& make, int count, std::uint64_t seed) {
    auto cases = random_cases(count, seed);
    TempDir dir;
    std::mt19937 rng(static_cast<unsigned>(seed));
    int idx = 0;
    for (const Case& c : cases) {
        const int np = c.net.places();
        std::vector<int> kind(np, 0);
        for (int i = 0; i < np; ++i) kind[i] = c.net.m0[i] ? -1 : 0;
        std::vector<int> dead = dead_states(c.ss);
        if (!dead.empty() && rng() % 4 != 0) {
            const Marking& d = c.ss.states[dead[rng() % dead.size()]];
            for (int i = 0; i < np; ++i)
                if (d[i] && !kind[i]) kind[i] = 1;
        } else {
            for (int i = 0; i < np; ++i)
                if (!kind[i] && rng() % 3 == 0) kind[i] = 1;
        }
        std::string text = box_text(c.net, kind);
        std::string name = "b" + std::to_string(idx++);
        ASSERT_TRUE(make(c.net, text, dir, name));
        std::string mci = dir.file(name + ".mci");
        std::string llnet = dir.file(name + ".box");
        write_file(llnet, text);
        SCOPED_TRACE(text);
        for (bool internal : {false, true}) {
            auto terminal = [&](const Marking& m) {
                for (int i = 0; i < np; ++i) {
                    if (kind[i] > 0 && m[i] == 0) return false;
                    if (kind[i] <= 0 && m[i] > 0 && (!internal || kind[i] < 0)) return false;
                }
                return true;
            };
            auto target = [&](const Marking& m) { return is_dead(c.net, m) && !terminal(m); };
            bool expect = reachable(c.ss, target);
            for (std::vector<std::string> o : {std::vector<std::string>{}, std::vector<std::string>{"-M1"},
                                               std::vector<std::string>{"-s", "-M2"}, std::vector<std::string>{"-!1"},
                                               std::vector<std::string>{"-t"}, std::vector<std::string>{"-t", "-M1"}}) {
                if (internal) o.push_back("-i");
                check(c, mci, o, "-d", llnet, expect, target);
            }
        }
    }
}

}  // namespace

TEST(RandomNets, DeadlockVerdictsAgreeUnderEveryOption) { deadlock_checks(mini_maker, 14, 1000); }
TEST(RandomNets, ReachabilityAndCoverabilityAgree) { reach_cover_checks(mini_maker, 14, 2000); }
TEST(RandomNets, ExtendedReachabilityAndMutualExclusionAgree) { ext_mutex_checks(mini_maker, 12, 3000); }

TEST(TrelmikPrefixes, DeadlockVerdictsAgreeUnderEveryOption) {
    if (!have_trelmik()) GTEST_SKIP() << "trelmik is not built";
    deadlock_checks(trelmik_maker, 14, 5000);
}
TEST(TrelmikPrefixes, ReachabilityAndCoverabilityAgree) {
    if (!have_trelmik()) GTEST_SKIP() << "trelmik is not built";
    reach_cover_checks(trelmik_maker, 12, 6000);
}
TEST(TrelmikPrefixes, ExtendedReachabilityAndMutualExclusionAgree) {
    if (!have_trelmik()) GTEST_SKIP() << "trelmik is not built";
    ext_mutex_checks(trelmik_maker, 10, 7000);
}
TEST(RandomNets, TerminalMarkingsAreNoDeadlocks) { terminal_checks(mini_maker, 12, 4000); }
TEST(TrelmikPrefixes, TerminalMarkingsAreNoDeadlocks) {
    if (!have_trelmik()) GTEST_SKIP() << "trelmik is not built";
    terminal_checks(trelmik_maker, 10, 8000);
}
