#include "mini_unfolder.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <tuple>

namespace minitest {

namespace {

using Bits = std::vector<bool>;

struct Builder {
    const testsupport::TestNet& net;
    MiniPrefix pf;
    std::vector<Bits> local;  // per event (0 unused): its local configuration
    std::vector<bool> cutoff;
    std::vector<std::vector<int>> ev_pre;
    std::map<testsupport::Marking, std::pair<int, int>> seen;  // marking -> (size, event)
    std::set<std::pair<int, std::vector<int>>> made;           // (transition, preset)
    // Candidates: (size, sequence, transition, preset).
    std::set<std::tuple<int, int, int, std::vector<int>>> queue;
    int seq = 0;

    explicit Builder(const testsupport::TestNet& n) : net(n) {
        local.emplace_back();
        cutoff.push_back(false);
        ev_pre.emplace_back();
    }

    int events() const { return static_cast<int>(pf.ev_trans.size()); }

    // The union of the histories of the conditions, or false when it is not
    // a configuration or consumes one of them.
    bool history(const std::vector<int>& conds, Bits& h) const {
        h.assign(pf.ev_trans.size() + 1, false);
        for (int c : conds) {
            const int e = pf.cond_pre[c];
            if (!e) continue;
            for (std::size_t i = 0; i < local[e].size(); ++i)
                if (local[e][i]) h[i] = true;
        }
        std::set<int> consumed;
        for (std::size_t e = 1; e < h.size(); ++e) {
            if (!h[e]) continue;
            for (int c : ev_pre[e])
                if (!consumed.insert(c).second) return false;
        }
        for (int c : conds)
            if (consumed.count(c)) return false;
        return true;
    }

    void add_candidates(int newcond) {
        const int p = pf.cond_place[newcond];
        for (int t = 0; t < net.transitions(); ++t) {
            const auto& pre = net.pre[t];
            if (std::find(pre.begin(), pre.end(), p) == pre.end()) continue;
            // Choose a condition for every input place; newcond for (one) p.
            std::vector<int> chosen(pre.size(), -1);
            std::function<void(std::size_t)> rec = [&](std::size_t k) {
                if (k == pre.size()) {
                    if (std::find(chosen.begin(), chosen.end(), newcond) == chosen.end()) return;
                    std::vector<int> key(chosen);
                    std::sort(key.begin(), key.end());
                    if (made.count({t, key})) return;
                    Bits h;
                    if (!history(chosen, h)) return;
                    made.insert({t, key});
                    int size = 1;
                    for (std::size_t i = 1; i < h.size(); ++i) size += h[i];
                    queue.insert({size, seq++, t, chosen});
                    return;
                }
                for (int c = 0; c < static_cast<int>(pf.cond_place.size()); ++c) {
                    if (pf.cond_place[c] != pre[k]) continue;
                    const int e = pf.cond_pre[c];
                    if (e && cutoff[e]) continue;
                    if (std::find(chosen.begin(), chosen.begin() + static_cast<long>(k), c) !=
                        chosen.begin() + static_cast<long>(k))
                        continue;
                    chosen[k] = c;
                    rec(k + 1);
                }
                chosen[k] = -1;
            };
            rec(0);
        }
    }

    int new_condition(int place, int pre) {
        pf.cond_place.push_back(place);
        pf.cond_pre.push_back(pre);
        pf.cond_post.emplace_back();
        return static_cast<int>(pf.cond_place.size()) - 1;
    }

    testsupport::Marking marking(const Bits& config) const {
        testsupport::Marking m = net.m0;
        for (std::size_t e = 1; e < config.size(); ++e) {
            if (!config[e]) continue;
            const int t = pf.ev_trans[e - 1];
            for (int p : net.pre[t]) m[p]--;
            for (int p : net.post[t]) m[p]++;
        }
        return m;
    }
};

}  // namespace

MiniPrefix unfold(const testsupport::TestNet& net, bool behind_cutoffs, int max_events) {
    Builder b(net);
    b.seen[net.m0] = {0, 0};
    for (int p = 0; p < net.places(); ++p)
        if (net.m0[p] > 0) b.new_condition(p, 0);
    for (int c = 0; c < static_cast<int>(b.pf.cond_place.size()); ++c) b.add_candidates(c);
    std::vector<int> cutoff_events;
    while (!b.queue.empty()) {
        if (b.events() >= max_events) {
            b.pf.complete = false;
            break;
        }
        auto [size, s, t, chosen] = *b.queue.begin();
        b.queue.erase(b.queue.begin());
        const int e = b.events() + 1;
        b.pf.ev_trans.push_back(t);
        Bits h;
        b.history(chosen, h);
        h.resize(static_cast<std::size_t>(e) + 1, false);
        h[static_cast<std::size_t>(e)] = true;
        for (auto& l : b.local) l.resize(static_cast<std::size_t>(e) + 1, false);
        b.local.push_back(h);
        b.ev_pre.push_back(chosen);
        for (int c : chosen) b.pf.cond_post[c].push_back(e);
        const testsupport::Marking m = b.marking(h);
        auto it = b.seen.find(m);
        bool is_cutoff = false;
        if (it != b.seen.end() && it->second.first < size) {
            is_cutoff = true;
            b.pf.cutoffs.push_back({e, it->second.second});
        } else if (it == b.seen.end()) {
            b.seen[m] = {size, e};
        }
        b.cutoff.push_back(is_cutoff);
        if (is_cutoff) {
            cutoff_events.push_back(e);
            continue;
        }
        for (int p : net.post[t]) {
            const int c = b.new_condition(p, e);
            b.add_candidates(c);
        }
    }
    if (behind_cutoffs)
        for (int e : cutoff_events)
            for (int p : net.post[b.pf.ev_trans[e - 1]]) b.new_condition(p, e);
    for (auto& post : b.pf.cond_post) std::sort(post.begin(), post.end());
    return b.pf;
}

void put(std::vector<unsigned char>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

std::vector<unsigned char> to_mci(const testsupport::TestNet& net, const MiniPrefix& pf) {
    std::vector<unsigned char> out;
    put(out, static_cast<std::uint32_t>(pf.cond_place.size()));
    put(out, static_cast<std::uint32_t>(pf.ev_trans.size()));
    for (int t : pf.ev_trans) put(out, static_cast<std::uint32_t>(t + 1));
    for (std::size_t c = 0; c < pf.cond_place.size(); ++c) {
        put(out, static_cast<std::uint32_t>(pf.cond_place[c] + 1));
        put(out, static_cast<std::uint32_t>(pf.cond_pre[c]));
        for (int e : pf.cond_post[c]) put(out, static_cast<std::uint32_t>(e));
        put(out, 0);
    }
    for (auto [e, k] : pf.cutoffs) {
        put(out, static_cast<std::uint32_t>(e));
        put(out, static_cast<std::uint32_t>(k));
    }
    put(out, 0);
    put(out, 0);  // no maximal configurations
    put(out, static_cast<std::uint32_t>(net.places()));
    put(out, static_cast<std::uint32_t>(net.transitions()));
    std::size_t longest = 0;
    for (const auto& n : net.place_names) longest = std::max(longest, n.size());
    for (const auto& n : net.trans_names) longest = std::max(longest, n.size());
    put(out, static_cast<std::uint32_t>(longest));
    for (const auto& n : net.place_names) {
        out.insert(out.end(), n.begin(), n.end());
        out.push_back(0);
    }
    out.push_back(0);
    for (const auto& n : net.trans_names) {
        out.insert(out.end(), n.begin(), n.end());
        out.push_back(0);
    }
    out.push_back(0);
    return out;
}

}  // namespace minitest
