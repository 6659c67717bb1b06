#include "petri_test.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

int TestNet::place_index(const std::string& name) const {
    for (int i = 0; i < places(); ++i)
        if (place_names[i] == name) return i;
    return -1;
}

int TestNet::trans_index(const std::string& name) const {
    for (int i = 0; i < transitions(); ++i)
        if (trans_names[i] == name) return i;
    return -1;
}

int TestNet::pre_w(int t, std::size_t i) const {
    return static_cast<std::size_t>(t) < pre_weight.size() && i < pre_weight[t].size() ? pre_weight[t][i] : 1;
}

int TestNet::post_w(int t, std::size_t i) const {
    return static_cast<std::size_t>(t) < post_weight.size() && i < post_weight[t].size() ? post_weight[t][i] : 1;
}

namespace {

void name_nodes(TestNet& net, int places, int transitions) {
    net.place_names.clear();
    net.trans_names.clear();
    for (int i = 1; i <= places; ++i) net.place_names.push_back("p" + std::to_string(i));
    for (int i = 1; i <= transitions; ++i) net.trans_names.push_back("t" + std::to_string(i));
}

TestNet state_machine_net(std::mt19937_64& rng, const RandomNetParams& p) {
    TestNet net;
    const int comps = std::max(1, p.components);
    const int states = std::max(1, p.states_per_component);
    const int nplaces = comps * states;
    name_nodes(net, nplaces, std::max(1, p.transitions));
    net.m0.assign(nplaces, 0);
    for (int c = 0; c < comps; ++c)
        net.m0[c * states + static_cast<int>(rng() % states)] = 1;
    std::uniform_real_distribution<double> coin(0.0, 1.0);
    for (int t = 0; t < net.transitions(); ++t) {
        int k = 1 + static_cast<int>(rng() % std::max(1, std::min(p.max_sync, comps)));
        std::vector<int> cs(comps);
        for (int c = 0; c < comps; ++c) cs[c] = c;
        std::shuffle(cs.begin(), cs.end(), rng);
        cs.resize(k);
        std::sort(cs.begin(), cs.end());
        std::vector<int> pre, post;
        for (int c : cs) {
            int from = c * states + static_cast<int>(rng() % states);
            int to = c * states + static_cast<int>(rng() % states);
            pre.push_back(from);
            post.push_back(to);
        }
        net.pre.push_back(pre);
        net.post.push_back(post);
        (void)coin;
    }
    return net;
}

TestNet general_net(std::mt19937_64& rng, const RandomNetParams& p) {
    TestNet net;
    const int np = std::max(1, p.places), nt = std::max(1, p.transitions);
    name_nodes(net, np, nt);
    net.m0.assign(np, 0);
    for (int i = 0; i < np; ++i) net.m0[i] = (rng() % 3 == 0) ? 1 : 0;
    std::uniform_real_distribution<double> coin(0.0, 1.0);
    for (int t = 0; t < nt; ++t) {
        auto pick = [&](int lo) {
            int k = lo + static_cast<int>(rng() % std::max(1, p.max_preset));
            std::set<int> s;
            for (int i = 0; i < k; ++i) s.insert(static_cast<int>(rng() % np));
            return std::vector<int>(s.begin(), s.end());
        };
        std::vector<int> pre = pick(1), post = pick(0);
        if (coin(rng) < p.self_loop) {
            int q = pre[rng() % pre.size()];
            if (std::find(post.begin(), post.end(), q) == post.end()) post.push_back(q);
        }
        std::sort(post.begin(), post.end());
        net.pre.push_back(pre);
        net.post.push_back(post);
    }
    if (std::none_of(net.m0.begin(), net.m0.end(), [](int v) { return v != 0; })) net.m0[0] = 1;
    return net;
}

}  // namespace

TestNet random_safe_net(std::uint64_t seed, const RandomNetParams& params) {
    if (!params.general) {
        std::mt19937_64 rng(seed);
        return state_machine_net(rng, params);
    }
    for (std::uint64_t s = seed;; s += 0x9e3779b97f4a7c15ULL) {
        std::mt19937_64 rng(s);
        TestNet net = general_net(rng, params);
        StateSpace ss = explore(net, 20000);
        if (ss.safe && ss.complete) return net;
    }
}

std::string to_vos(const TestNet& net) {
    std::ostringstream o;
    o << "VOS\nPlainNet\nFORMAT_N\nPL\n";
    for (int i = 0; i < net.places(); ++i) {
        o << (i + 1) << "\"" << net.place_names[i] << "\"";
        if (net.m0[i]) o << "M" << net.m0[i];
        o << "\n";
    }
    o << "TR\n";
    for (int t = 0; t < net.transitions(); ++t) o << (t + 1) << "\"" << net.trans_names[t] << "\"\n";
    auto weight = [&o](int w) {
        if (w > 1) o << "w" << w;
        o << "\n";
    };
    o << "TP\n";
    for (int t = 0; t < net.transitions(); ++t)
        for (std::size_t i = 0; i < net.post[t].size(); ++i) {
            o << (t + 1) << "<" << (net.post[t][i] + 1);
            weight(net.post_w(t, i));
        }
    o << "PT\n";
    for (int t = 0; t < net.transitions(); ++t)
        for (std::size_t i = 0; i < net.pre[t].size(); ++i) {
            o << (net.pre[t][i] + 1) << ">" << (t + 1);
            weight(net.pre_w(t, i));
        }
    o << "TX\n";
    return o.str();
}

bool write_vos(const TestNet& net, const std::string& path) { return write_file(path, to_vos(net)); }

bool enabled(const TestNet& net, const Marking& m, int t) {
    for (std::size_t i = 0; i < net.pre[t].size(); ++i)
        if (m[net.pre[t][i]] < net.pre_w(t, i)) return false;
    return true;
}

Marking fire(const TestNet& net, const Marking& m, int t) {
    Marking r = m;
    for (std::size_t i = 0; i < net.pre[t].size(); ++i) r[net.pre[t][i]] -= net.pre_w(t, i);
    for (std::size_t i = 0; i < net.post[t].size(); ++i) r[net.post[t][i]] += net.post_w(t, i);
    return r;
}

bool is_dead(const TestNet& net, const Marking& m) {
    for (int t = 0; t < net.transitions(); ++t)
        if (enabled(net, m, t)) return false;
    return true;
}

StateSpace explore(const TestNet& net, std::size_t max_states) {
    StateSpace ss;
    std::map<Marking, int> index;
    ss.states.push_back(net.m0);
    ss.parent.push_back({-1, -1});
    ss.succ.emplace_back();
    index.emplace(net.m0, 0);
    for (int q : net.m0)
        if (q > 1) ss.safe = false;
    for (std::size_t i = 0; i < ss.states.size(); ++i) {
        for (int t = 0; t < net.transitions(); ++t) {
            if (!enabled(net, ss.states[i], t)) continue;
            Marking m = fire(net, ss.states[i], t);
            auto it = index.find(m);
            int target;
            if (it == index.end()) {
                if (ss.states.size() >= max_states) {
                    ss.complete = false;
                    continue;
                }
                for (int q : m)
                    if (q > 1) ss.safe = false;
                target = static_cast<int>(ss.states.size());
                index.emplace(m, target);
                ss.states.push_back(std::move(m));
                ss.parent.push_back({static_cast<int>(i), t});
                ss.succ.emplace_back();
            } else {
                target = it->second;
            }
            ss.succ[i].push_back({t, target});
        }
    }
    return ss;
}

std::vector<int> dead_states(const StateSpace& ss) {
    std::vector<int> r;
    for (std::size_t i = 0; i < ss.states.size(); ++i)
        if (ss.succ[i].empty()) r.push_back(static_cast<int>(i));
    return r;
}

bool has_deadlock(const StateSpace& ss) { return !dead_states(ss).empty(); }

bool reachable(const StateSpace& ss, const std::function<bool(const Marking&)>& pred) {
    return std::any_of(ss.states.begin(), ss.states.end(), pred);
}

std::optional<std::vector<int>> path_to(const StateSpace& ss,
                                        const std::function<bool(const Marking&)>& pred) {
    // States are numbered in breadth-first order, so the first hit is nearest.
    for (std::size_t i = 0; i < ss.states.size(); ++i) {
        if (!pred(ss.states[i])) continue;
        std::vector<int> seq;
        for (int s = static_cast<int>(i); ss.parent[s].first >= 0; s = ss.parent[s].first)
            seq.push_back(ss.parent[s].second);
        std::reverse(seq.begin(), seq.end());
        return seq;
    }
    return std::nullopt;
}

bool coverable(const StateSpace& ss, const std::vector<int>& places) {
    return reachable(ss, [&](const Marking& m) {
        return std::all_of(places.begin(), places.end(), [&](int q) { return m[q] > 0; });
    });
}

std::optional<Marking> replay(const TestNet& net, const std::vector<int>& seq) {
    Marking m = net.m0;
    for (int t : seq) {
        if (t < 0 || t >= net.transitions() || !enabled(net, m, t)) return std::nullopt;
        m = fire(net, m, t);
    }
    return m;
}

std::optional<Marking> replay_names(const TestNet& net, const std::vector<std::string>& seq) {
    std::vector<int> idx;
    for (const auto& n : seq) {
        int t = net.trans_index(n);
        if (t < 0) return std::nullopt;
        idx.push_back(t);
    }
    return replay(net, idx);
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/vostest.XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir() {
    // Best effort, and without starting a shell: tests make many of these.
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string shell_quote(const std::string& s) {
    std::string r = "'";
    for (char c : s) {
        if (c == '\'') r += "'\\''";
        else r += c;
    }
    return r + "'";
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream o;
    o << in.rdbuf();
    return o.str();
}

bool write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

RunResult run(const std::string& command) {
    TempDir tmp;
    std::string outf = tmp.file("out"), errf = tmp.file("err");
    std::string cmd = "(" + command + ") </dev/null >" + shell_quote(outf) + " 2>" + shell_quote(errf);
    int st = std::system(cmd.c_str());
    RunResult r;
    if (st != -1 && WIFEXITED(st)) r.exit_code = WEXITSTATUS(st);
    else if (st != -1 && WIFSIGNALED(st)) r.exit_code = 128 + WTERMSIG(st);
    r.out = read_file(outf);
    r.err = read_file(errf);
    return r;
}

}  // namespace testsupport
