#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "prefix_fixture.h"
#include "vorga.h"

namespace vorga_test {

namespace {

void put32(std::vector<unsigned char>& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

}  // namespace

std::vector<unsigned char> mci_bytes(const Prefix& p) {
    std::vector<unsigned char> b;
    put32(b, static_cast<std::uint32_t>(p.conditions.size()));
    put32(b, static_cast<std::uint32_t>(p.event_transition.size()));
    for (std::uint32_t t : p.event_transition) put32(b, t);
    for (const auto& c : p.conditions) {
        put32(b, c.place);
        put32(b, c.producer);
        for (std::uint32_t e : c.consumers) put32(b, e);
        put32(b, 0);
    }
    for (const auto& [e, corr] : p.cutoffs) {
        put32(b, e);
        put32(b, corr);
    }
    put32(b, 0);
    for (const auto& conf : p.configurations) {
        for (std::uint32_t e : conf) put32(b, e);
        put32(b, 0);
    }
    put32(b, 0);
    put32(b, static_cast<std::uint32_t>(p.place_names.size()));
    put32(b, static_cast<std::uint32_t>(p.trans_names.size()));
    std::size_t maxlen = 0;
    for (const auto& s : p.place_names) maxlen = std::max(maxlen, s.size());
    for (const auto& s : p.trans_names) maxlen = std::max(maxlen, s.size());
    put32(b, static_cast<std::uint32_t>(maxlen));
    for (const auto& s : p.place_names) {
        b.insert(b.end(), s.begin(), s.end());
        b.push_back(0);
    }
    b.push_back(0);
    for (const auto& s : p.trans_names) {
        b.insert(b.end(), s.begin(), s.end());
        b.push_back(0);
    }
    b.push_back(0);
    return b;
}

bool write_mci(const Prefix& p, const std::string& path) {
    std::vector<unsigned char> b = mci_bytes(p);
    std::ofstream o(path, std::ios::binary);
    o.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return static_cast<bool>(o);
}

namespace {

struct MiniUnfolder {
    const testsupport::TestNet& net;
    struct Cond {
        int place;
        int producer;  // -1 initial
        std::vector<int> consumers;
    };
    struct Ev {
        int t;
        std::vector<int> pre, post;
        std::vector<int> local;  // sorted events of [e]
        bool cutoff = false;
        int corr = 0;
        std::vector<int> mark;
    };
    std::vector<Cond> conds;
    std::vector<Ev> evs;
    std::set<std::pair<int, std::vector<int>>> known;  // (transition, preset)

    explicit MiniUnfolder(const testsupport::TestNet& n) : net(n) {}

    std::vector<int> local_of(const std::vector<int>& preset) const {
        std::set<int> s;
        for (int c : preset)
            if (conds[c].producer >= 0) s.insert(evs[conds[c].producer].local.begin(), evs[conds[c].producer].local.end());
        return {s.begin(), s.end()};
    }
    // Whether the conditions are pairwise concurrent.
    bool coset(const std::vector<int>& cs) const {
        std::vector<int> u = local_of(cs);
        std::set<int> consumed;
        for (int e : u)
            for (int c : evs[e].pre)
                if (!consumed.insert(c).second) return false;  // conflict inside
        for (int c : cs)
            if (consumed.count(c)) return false;
        return true;
    }
    std::vector<int> marking_of(const std::vector<int>& local) const {
        std::vector<int> m = net.m0;
        for (int e : local) {
            for (int q : net.pre[evs[e].t]) --m[q];
            for (int q : net.post[evs[e].t]) ++m[q];
        }
        return m;
    }

    bool run(std::size_t max_events) {
        for (int q = 0; q < net.places(); ++q)
            if (net.m0[q]) conds.push_back({q, -1, {}});
        for (;;) {
            // All possible extensions, the smallest local configuration first.
            struct Cand {
                std::size_t size;
                int t;
                std::vector<int> pre;
            };
            std::vector<Cand> cands;
            for (int t = 0; t < net.transitions(); ++t) {
                std::vector<std::vector<int>> choice;
                for (int q : net.pre[t]) {
                    std::vector<int> cs;
                    for (int c = 0; c < static_cast<int>(conds.size()); ++c)
                        if (conds[c].place == q && (conds[c].producer < 0 || !evs[conds[c].producer].cutoff))
                            cs.push_back(c);
                    choice.push_back(cs);
                }
                std::vector<int> pick(choice.size(), 0);
                if (std::any_of(choice.begin(), choice.end(), [](const auto& v) { return v.empty(); })) continue;
                for (;;) {
                    std::vector<int> pre;
                    for (std::size_t k = 0; k < choice.size(); ++k) pre.push_back(choice[k][pick[k]]);
                    std::sort(pre.begin(), pre.end());
                    if (!known.count({t, pre}) && coset(pre)) cands.push_back({local_of(pre).size() + 1, t, pre});
                    std::size_t k = 0;
                    while (k < pick.size() && ++pick[k] == static_cast<int>(choice[k].size())) pick[k++] = 0;
                    if (k == pick.size()) break;
                }
            }
            if (cands.empty()) return true;
            auto best = std::min_element(cands.begin(), cands.end(),
                                         [](const Cand& a, const Cand& b) { return a.size < b.size; });
            if (evs.size() >= max_events) return false;
            Ev e;
            e.t = best->t;
            e.pre = best->pre;
            known.insert({e.t, e.pre});
            int id = static_cast<int>(evs.size());
            e.local = local_of(e.pre);
            e.local.push_back(id);
            std::sort(e.local.begin(), e.local.end());
            evs.push_back(e);
            evs[id].mark = marking_of(evs[id].local);
            if (evs[id].mark == net.m0) {
                evs[id].cutoff = true;
                evs[id].corr = -1;
            } else {
                for (int f = 0; f < id; ++f)
                    if (!evs[f].cutoff && evs[f].mark == evs[id].mark && evs[f].local.size() < evs[id].local.size()) {
                        evs[id].cutoff = true;
                        evs[id].corr = f;
                        break;
                    }
            }
            for (int c : evs[id].pre) conds[c].consumers.push_back(id);
            for (int q : net.post[evs[id].t]) {
                evs[id].post.push_back(static_cast<int>(conds.size()));
                conds.push_back({q, id, {}});
            }
        }
    }
};

}  // namespace

bool unfold(const testsupport::TestNet& net, Prefix& out, std::size_t max_events) {
    MiniUnfolder u(net);
    if (!u.run(max_events)) return false;
    out = Prefix{};
    for (const auto& e : u.evs) out.event_transition.push_back(static_cast<std::uint32_t>(e.t + 1));
    for (const auto& c : u.conds) {
        Prefix::Cond pc{static_cast<std::uint32_t>(c.place + 1), static_cast<std::uint32_t>(c.producer + 1), {}};
        for (int f : c.consumers) pc.consumers.push_back(static_cast<std::uint32_t>(f + 1));
        std::sort(pc.consumers.begin(), pc.consumers.end());
        out.conditions.push_back(pc);
    }
    for (std::size_t e = 0; e < u.evs.size(); ++e)
        if (u.evs[e].cutoff)
            out.cutoffs.emplace_back(static_cast<std::uint32_t>(e + 1), static_cast<std::uint32_t>(u.evs[e].corr + 1));
    out.place_names = net.place_names;
    out.trans_names = net.trans_names;
    return true;
}

VorgaRun run_vorga(const std::vector<std::string>& args) {
    std::vector<std::string> a{"vorga"};
    a.insert(a.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : a) argv.push_back(s.data());
    argv.push_back(nullptr);
    VorgaRun r;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    r.code = vorga::vorga_main(static_cast<int>(a.size()), argv.data());
    r.out = testing::internal::GetCapturedStdout();
    r.err = testing::internal::GetCapturedStderr();
    return r;
}

bool trail_of(const std::string& out, std::vector<std::string>& names) {
    names.clear();
    const std::string key = "YES\n_SEQUENCE:\n";
    std::size_t p = out.find(key);
    if (p == std::string::npos) return false;
    p += key.size();
    std::size_t end = out.find('\n', p);
    std::string line = out.substr(p, end - p);
    std::stringstream ss(line);
    std::string item;
    while (std::getline(ss, item, ','))
        if (!item.empty()) names.push_back(item);
    return true;
}

}  // namespace vorga_test
