// trelmik end to end: the ".mci" file written for random 1-safe nets and for
// small members of the benchmark families, read back and checked against the
// explicit-state explorer; ".unf" agrees with ".mci".
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "petri_test.h"
#include "prefix_check.h"

using namespace testsupport;
using trelmik::Prefix;

namespace {

const std::string kTrelmik = std::string(VOS_BIN_DIR) + "/trelmik";

struct Mci {
    Prefix pf;
    std::vector<std::string> places, transitions;
    std::uint32_t maxlen = 0;
    std::uint32_t config_zeros = 0;
    std::vector<std::vector<std::uint32_t>> configs;  // event numbers in file order
};

// Reads a ".mci" file into a prefix record (the fields the checks use).
bool read_mci(const std::string& path, Mci& m, std::string& why) {
    const std::string data = read_file(path);
    std::size_t pos = 0;
    auto u32 = [&](std::uint32_t& v) {
        if (pos + 4 > data.size()) return false;
        v = static_cast<unsigned char>(data[pos]) | static_cast<unsigned char>(data[pos + 1]) << 8 |
            static_cast<unsigned char>(data[pos + 2]) << 16 | static_cast<std::uint32_t>(static_cast<unsigned char>(data[pos + 3])) << 24;
        pos += 4;
        return true;
    };
    std::uint32_t B, E;
    if (!u32(B) || !u32(E)) return why = "short header", false;
    Prefix& pf = m.pf;
    pf.ev_trans.resize(E);
    for (auto& t : pf.ev_trans) {
        if (!u32(t) || t == 0) return why = "bad label", false;
        t -= 1;
    }
    std::vector<std::vector<std::uint32_t>> ev_pre(E);
    pf.ev_post_first.assign(E, 0);
    pf.ev_post_count.assign(E, 0);
    for (std::uint32_t c = 1; c <= B; ++c) {
        std::uint32_t place, pre;
        if (!u32(place) || !u32(pre) || place == 0 || pre > E) return why = "bad condition", false;
        pf.cond_place.push_back(place - 1);
        pf.cond_pre.push_back(pre);
        pf.cond_kind.push_back(0);
        pf.cond_first_arc.push_back(0);
        pf.cond_last_arc.push_back(0);
        if (pre == 0) {
            if (c != pf.initial_conditions + 1) return why = "initial condition after others", false;
            pf.initial_conditions = c;
        } else {
            if (pf.ev_post_count[pre - 1] == 0) pf.ev_post_first[pre - 1] = c;
            else if (pf.ev_post_first[pre - 1] + pf.ev_post_count[pre - 1] != c) return why = "outputs not consecutive", false;
            pf.ev_post_count[pre - 1] += 1;
        }
        for (std::uint32_t e; u32(e) && e != 0;) {
            if (e > E) return why = "bad post-event", false;
            ev_pre[e - 1].push_back(c);
            pf.arc_event.push_back(e);
            pf.arc_next.push_back(0);
            const std::uint32_t a = static_cast<std::uint32_t>(pf.arc_event.size());
            if (pf.cond_last_arc[c - 1]) pf.arc_next[pf.cond_last_arc[c - 1] - 1] = a;
            else pf.cond_first_arc[c - 1] = a;
            pf.cond_last_arc[c - 1] = a;
        }
    }
    pf.ev_pre_begin.push_back(0);
    for (auto& pre : ev_pre) {
        pf.ev_pre_conds.insert(pf.ev_pre_conds.end(), pre.begin(), pre.end());
        pf.ev_pre_begin.push_back(static_cast<std::uint32_t>(pf.ev_pre_conds.size()));
    }
    pf.is_cutoff.assign(E, 0);
    for (std::uint32_t e, corr; u32(e) && e != 0;) {
        if (!u32(corr) || e > E || corr > E) return why = "bad cut-off pair", false;
        pf.cutoffs.emplace_back(e, corr);
        pf.is_cutoff[e - 1] = 1;
    }
    // Configurations: lists ended by 0, then a further 0.
    for (std::uint32_t v; u32(v);) {
        if (v == 0) {
            ++m.config_zeros;
            break;
        }
        m.configs.emplace_back();
        for (std::uint32_t e = v; e != 0;) {
            if (e > E) return why = "bad configuration event", false;
            m.configs.back().push_back(e);
            if (!u32(e)) return why = "bad configuration", false;
        }
    }
    std::uint32_t np, nt;
    if (!u32(np) || !u32(nt) || !u32(m.maxlen)) return why = "bad name block", false;
    auto names = [&](std::uint32_t n, std::vector<std::string>& out) {
        for (std::uint32_t i = 0; i < n; ++i) {
            std::size_t end = data.find('\0', pos);
            if (end == std::string::npos) return false;
            out.push_back(data.substr(pos, end - pos));
            pos = end + 1;
        }
        if (pos >= data.size() || data[pos] != '\0') return false;
        ++pos;
        return true;
    };
    if (!names(np, m.places) || !names(nt, m.transitions)) return why = "bad names", false;
    if (pos != data.size()) return why = "trailing bytes", false;
    // |[e]| for the checks.
    pf.ev_size.assign(E, 0);
    for (std::uint32_t e = 1; e <= E; ++e) {
        std::vector<std::uint32_t> stack{e};
        std::vector<bool> seen(E + 1, false);
        seen[e] = true;
        std::uint32_t n = 0;
        while (!stack.empty()) {
            std::uint32_t f = stack.back();
            stack.pop_back();
            ++n;
            for (std::uint32_t i = pf.ev_pre_begin[f - 1]; i < pf.ev_pre_begin[f]; ++i) {
                std::uint32_t g = pf.cond_pre[pf.ev_pre_conds[i] - 1];
                if (g && !seen[g]) {
                    seen[g] = true;
                    stack.push_back(g);
                }
            }
        }
        pf.ev_size[e - 1] = n;
    }
    return true;
}

// The net with places and transitions in the order trelmik numbers them
// (the order of the name block), so that numbers in the file index it.
TestNet reorder(const TestNet& net, const Mci& m) {
    TestNet out;
    out.place_names = m.places;
    out.trans_names = m.transitions;
    out.m0.assign(m.places.size(), 0);
    for (int p = 0; p < net.places(); ++p) {
        int q = static_cast<int>(std::find(m.places.begin(), m.places.end(), net.place_names[p]) - m.places.begin());
        out.m0[q] = net.m0[p];
    }
    out.pre.resize(m.transitions.size());
    out.post.resize(m.transitions.size());
    for (int t = 0; t < net.transitions(); ++t) {
        int u = static_cast<int>(std::find(m.transitions.begin(), m.transitions.end(), net.trans_names[t]) - m.transitions.begin());
        for (int p : net.pre[t]) out.pre[u].push_back(out.place_index(net.place_names[p]));
        for (int p : net.post[t]) out.post[u].push_back(out.place_index(net.place_names[p]));
    }
    return out;
}

std::string unfold_and_check(const TestNet& net, const std::string& options, bool behind) {
    TempDir dir;
    if (!write_vos(net, dir.file("n.ll_net"))) return "cannot write the net";
    RunResult r = run("cd " + shell_quote(dir.path()) + " && " + shell_quote(kTrelmik) + " " + options +
                      " -m=n -u=n n.ll_net");
    if (r.exit_code != 0) return "trelmik exit " + std::to_string(r.exit_code) + ": " + r.err;
    Mci m;
    std::string why;
    if (!read_mci(dir.file("n.mci"), m, why)) return ".mci unreadable: " + why;
    if (m.places.size() != static_cast<std::size_t>(net.places()) ||
        m.transitions.size() != static_cast<std::size_t>(net.transitions()))
        return "name block counts";
    std::uint32_t maxlen = 0;
    for (const auto& s : m.places) maxlen = std::max<std::uint32_t>(maxlen, static_cast<std::uint32_t>(s.size()));
    for (const auto& s : m.transitions) maxlen = std::max<std::uint32_t>(maxlen, static_cast<std::uint32_t>(s.size()));
    if (maxlen != m.maxlen) return "maximal name length";
    if (m.config_zeros != 1) return "configuration section";
    const TestNet ordered = reorder(net, m);
    std::string res = unftest::check_prefix(ordered, m.pf, behind);
    if (!res.empty()) return res;
    // The ".unf" text lists the same counts and cut-offs.
    const std::string unf = read_file(dir.file("n.unf"));
    std::ostringstream counts;
    counts << m.pf.conditions() << " condition" << (m.pf.conditions() == 1 ? "" : "s") << ".\n"
           << m.pf.events() << " event" << (m.pf.events() == 1 ? "" : "s") << ".\n";
    if (unf.find(counts.str()) == std::string::npos) return ".unf counts";
    std::ostringstream cut;
    cut << "\n" << m.pf.cutoffs.size() << " cutoff event" << (m.pf.cutoffs.size() == 1 ? "" : "s");
    if (unf.find(cut.str()) == std::string::npos) return ".unf cut-off count";
    return "";
}

bool have_trelmik() { return std::ifstream(kTrelmik).good(); }

}  // namespace

TEST(TrelmikFiles, RandomNetsGiveCompletePrefixes) {
    if (!have_trelmik()) GTEST_SKIP() << "trelmik is not built";
    for (std::uint64_t seed = 1000; seed < 1036; ++seed) {
        RandomNetParams params;
        params.general = seed % 2 == 1;
        if (params.general) {
            params.places = 7;
            params.transitions = 9;
        } else {
            params.components = 3;
            params.states_per_component = 3;
            params.transitions = 12;
            params.max_sync = 3;
        }
        const TestNet net = random_safe_net(seed, params);
        const std::string opts = seed % 3 == 0 ? "-C" : (seed % 3 == 1 ? "-l" : "");
        ASSERT_EQ(unfold_and_check(net, opts, opts != "-C"), "") << "seed " << seed << " options " << opts << "\n"
                                                                 << to_vos(net);
    }
}

namespace {

TestNet philosophers(int n) {
    TestNet net;
    for (int i = 0; i < n; ++i)
        for (const char* s : {"think", "hasleft", "eat", "fork"}) {
            net.place_names.push_back(s + std::to_string(i));
            net.m0.push_back(std::string(s) == "think" || std::string(s) == "fork");
        }
    for (int i = 0; i < n; ++i) {
        int j = (i + 1) % n;
        auto P = [&](const char* s, int k) { return net.place_index(s + std::to_string(k)); };
        net.trans_names.push_back("takeleft" + std::to_string(i));
        net.pre.push_back({P("think", i), P("fork", i)});
        net.post.push_back({P("hasleft", i)});
        net.trans_names.push_back("takeright" + std::to_string(i));
        net.pre.push_back({P("hasleft", i), P("fork", j)});
        net.post.push_back({P("eat", i)});
        net.trans_names.push_back("release" + std::to_string(i));
        net.pre.push_back({P("eat", i)});
        net.post.push_back({P("think", i), P("fork", i), P("fork", j)});
    }
    return net;
}

TestNet token_ring(int n) {
    TestNet net;
    for (int i = 0; i < n; ++i)
        for (const char* s : {"token", "idle", "crit"}) {
            net.place_names.push_back(s + std::to_string(i));
            net.m0.push_back(std::string(s) == "idle" || (i == 0 && std::string(s) == "token"));
        }
    auto P = [&](const char* s, int k) { return net.place_index(s + std::to_string(k)); };
    for (int i = 0; i < n; ++i) {
        int j = (i + 1) % n;
        net.trans_names.push_back("enter" + std::to_string(i));
        net.pre.push_back({P("token", i), P("idle", i)});
        net.post.push_back({P("crit", i)});
        net.trans_names.push_back("leave" + std::to_string(i));
        net.pre.push_back({P("crit", i)});
        net.post.push_back({P("token", i), P("idle", i)});
        net.trans_names.push_back("pass" + std::to_string(i));
        net.pre.push_back({P("token", i)});
        net.post.push_back({P("token", j)});
    }
    return net;
}

TestNet buffer_chain(int n) {
    TestNet net;
    for (int i = 0; i < n; ++i) {
        net.place_names.push_back("empty" + std::to_string(i));
        net.m0.push_back(1);
        net.place_names.push_back("full" + std::to_string(i));
        net.m0.push_back(0);
    }
    auto P = [&](const char* s, int k) { return net.place_index(s + std::to_string(k)); };
    net.trans_names.push_back("produce");
    net.pre.push_back({P("empty", 0)});
    net.post.push_back({P("full", 0)});
    for (int i = 0; i + 1 < n; ++i) {
        net.trans_names.push_back("move" + std::to_string(i));
        net.pre.push_back({P("full", i), P("empty", i + 1)});
        net.post.push_back({P("empty", i), P("full", i + 1)});
    }
    net.trans_names.push_back("consume");
    net.pre.push_back({P("full", n - 1)});
    net.post.push_back({P("empty", n - 1)});
    return net;
}

}  // namespace

TEST(TrelmikFiles, BenchmarkFamiliesGiveCompletePrefixes) {
    if (!have_trelmik()) GTEST_SKIP() << "trelmik is not built";
    for (int n : {2, 3, 4, 5}) {
        EXPECT_EQ(unfold_and_check(philosophers(n), "", true), "") << "philosophers " << n;
        EXPECT_EQ(unfold_and_check(token_ring(n), "", true), "") << "token ring " << n;
        EXPECT_EQ(unfold_and_check(buffer_chain(n + 1), "", true), "") << "buffer chain " << n + 1;
    }
}

namespace {

// Empty when every configuration of the file is a maximal configuration of
// its prefix: causally closed, conflict-free, firing its events in ascending
// number (a causal order) replays in the net, no further event extends it,
// and none is listed twice.
std::string check_configurations(const TestNet& net, const Mci& m) {
    const Prefix& pf = m.pf;
    const std::uint32_t E = pf.events();
    std::set<std::vector<std::uint32_t>> seen;
    for (std::vector<std::uint32_t> set : m.configs) {
        std::sort(set.begin(), set.end());
        std::string text;
        for (std::uint32_t e : set) text += " E" + std::to_string(e);
        if (!seen.insert(set).second) return "listed twice:" + text;
        std::vector<bool> in(E + 1, false);
        for (std::uint32_t e : set) in[e] = true;
        std::vector<std::uint32_t> consumer(pf.conditions() + 1, 0);
        for (std::uint32_t e : set)
            for (std::uint32_t i = pf.ev_pre_begin[e - 1]; i < pf.ev_pre_begin[e]; ++i) {
                const std::uint32_t c = pf.ev_pre_conds[i], g = pf.cond_pre[c - 1];
                if (g != 0 && !in[g]) return "E" + std::to_string(e) + " without E" + std::to_string(g) + ":" + text;
                if (consumer[c] != 0) return "B" + std::to_string(c) + " consumed twice:" + text;
                consumer[c] = e;
            }
        std::vector<int> seq;
        for (std::uint32_t e : set) seq.push_back(static_cast<int>(pf.ev_trans[e - 1]));
        if (!replay(net, seq)) return "does not replay:" + text;
        // Maximal: every event outside needs a condition the set does not
        // produce or has consumed.
        for (std::uint32_t f = 1; f <= E; ++f) {
            if (in[f]) continue;
            bool enabled = true;
            for (std::uint32_t i = pf.ev_pre_begin[f - 1]; i < pf.ev_pre_begin[f] && enabled; ++i) {
                const std::uint32_t c = pf.ev_pre_conds[i], g = pf.cond_pre[c - 1];
                enabled = (g == 0 || in[g]) && consumer[c] == 0;
            }
            if (enabled) return "E" + std::to_string(f) + " extends" + text;
        }
    }
    return "";
}

}  // namespace

// -z compares each new configuration with every older one; the list written
// must still hold only maximal, causally closed and conflict-free
// configurations, the same ones as without -z, in both loops.
TEST(TrelmikFiles, ConfigurationsWrittenUnderZAreMaximalConfigurations) {
    if (!have_trelmik()) GTEST_SKIP() << "trelmik is not built";
    int checked = 0;
    std::size_t configs = 0;
    for (std::uint64_t seed = 2000; seed < 2010; ++seed) {
        RandomNetParams params;
        params.transitions = 8 + static_cast<int>(seed % 4);
        params.components = 2 + static_cast<int>(seed % 2);
        params.states_per_component = 3;
        params.max_sync = 2;
        const TestNet net = random_safe_net(seed, params);
        for (const char* loop : {"", "-@"}) {
            std::set<std::vector<std::uint32_t>> lists[2];
            for (int z = 0; z < 2; ++z) {
                TempDir dir;
                ASSERT_TRUE(write_vos(net, dir.file("n.ll_net")));
                const RunResult r = run("cd " + shell_quote(dir.path()) + " && " + shell_quote(kTrelmik) + " " +
                                        loop + (z ? " -z" : "") + " -x=40 -m=n n.ll_net");
                if (r.exit_code == 3) break;  // too large for this test
                ASSERT_EQ(r.exit_code, 0) << r.err;
                Mci m;
                std::string why;
                ASSERT_TRUE(read_mci(dir.file("n.mci"), m, why)) << why;
                const std::string where = "seed " + std::to_string(seed) + " " + loop + (z ? " -z" : "") + "\n" +
                                          to_vos(net);
                ASSERT_EQ(check_configurations(reorder(net, m), m), "") << where;
                configs += m.configs.size();
                for (auto set : m.configs) {
                    std::sort(set.begin(), set.end());
                    lists[z].insert(set);
                }
                if (z == 1) {
                    EXPECT_EQ(lists[0], lists[1]) << where;
                    ++checked;
                }
            }
        }
    }
    EXPECT_GT(checked, 10);
    EXPECT_GT(configs, 100u);
}
