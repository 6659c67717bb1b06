#include "prefix_support.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <tuple>

namespace testsupport {

std::uint32_t Prefix::add_event(std::uint32_t transition) {
    event_trans.push_back(transition);
    return static_cast<std::uint32_t>(event_trans.size());
}

std::uint32_t Prefix::add_condition(std::uint32_t place, std::uint32_t pre,
                                    std::vector<std::uint32_t> post) {
    Condition c;
    c.place = place;
    c.pre = pre;
    c.post = std::move(post);
    conds.push_back(std::move(c));
    return static_cast<std::uint32_t>(conds.size());
}

namespace {

using Bits = std::vector<bool>;

// Events and conditions are kept 0-based here; event 0 stands for "none".
class Unfolder {
public:
    explicit Unfolder(const TestNet& net) : net_(net) {
        local_.emplace_back();
        cutoff_.push_back(false);
        ev_pre_.emplace_back();
    }

    Prefix run(const UnfoldOptions& opt) {
        seen_[net_.m0] = {0, 0};
        for (int p = 0; p < net_.places(); ++p)
            if (net_.m0[p] > 0) new_condition(p, 0);
        for (int c = 0; c < static_cast<int>(cond_place_.size()); ++c) add_candidates(c);
        std::vector<int> cutoff_events;
        bool complete = true;
        while (!queue_.empty()) {
            if (ev_trans_.size() >= opt.max_events) {
                complete = false;
                break;
            }
            auto [size, seq, t, chosen] = *queue_.begin();
            (void)seq;
            queue_.erase(queue_.begin());
            const int e = static_cast<int>(ev_trans_.size()) + 1;
            ev_trans_.push_back(t);
            Bits h;
            history(chosen, h);
            h.resize(static_cast<std::size_t>(e) + 1, false);
            h[static_cast<std::size_t>(e)] = true;
            for (auto& l : local_) l.resize(static_cast<std::size_t>(e) + 1, false);
            local_.push_back(h);
            ev_pre_.push_back(chosen);
            for (int c : chosen) cond_post_[c].push_back(e);
            const Marking m = marking(h);
            auto it = seen_.find(m);
            bool is_cutoff = false;
            if (it == seen_.end()) {
                seen_[m] = {size, e};
            } else if (it->second.first < size) {
                is_cutoff = true;
                cutoffs_.push_back({e, it->second.second});
            }
            cutoff_.push_back(is_cutoff);
            if (is_cutoff) {
                cutoff_events.push_back(e);
                continue;
            }
            for (int p : net_.post[t]) add_candidates(new_condition(p, e));
        }
        const std::size_t ordinary = cond_place_.size();
        if (opt.behind_cutoffs)
            for (int e : cutoff_events)
                for (int p : net_.post[ev_trans_[e - 1]]) new_condition(p, e);

        Prefix out;
        out.places = net_.place_names;
        out.transitions = net_.trans_names;
        out.complete = complete;
        for (int t : ev_trans_) out.add_event(static_cast<std::uint32_t>(t + 1));
        for (std::size_t c = 0; c < cond_place_.size(); ++c) {
            std::vector<std::uint32_t> post(cond_post_[c].begin(), cond_post_[c].end());
            std::sort(post.begin(), post.end());
            out.add_condition(static_cast<std::uint32_t>(cond_place_[c] + 1),
                              static_cast<std::uint32_t>(cond_pre_[c]), std::move(post));
            if (c >= ordinary) out.conds.back().kind = 3;
        }
        for (auto [e, k] : cutoffs_)
            out.cutoffs.push_back({static_cast<std::uint32_t>(e), static_cast<std::uint32_t>(k)});
        if (opt.maximal_configuration && !ev_trans_.empty()) out.configs.push_back(greedy_configuration());
        return out;
    }

private:
    // The union of the histories of the conditions, or false when it is not
    // a configuration or consumes one of them (the conditions are then not
    // pairwise concurrent).
    bool history(const std::vector<int>& conds, Bits& h) const {
        h.assign(ev_trans_.size() + 1, false);
        for (int c : conds) {
            const int e = cond_pre_[c];
            if (!e) continue;
            for (std::size_t i = 0; i < local_[e].size(); ++i)
                if (local_[e][i]) h[i] = true;
        }
        std::set<int> consumed;
        for (std::size_t e = 1; e < h.size(); ++e) {
            if (!h[e]) continue;
            for (int c : ev_pre_[e])
                if (!consumed.insert(c).second) return false;
        }
        for (int c : conds)
            if (consumed.count(c)) return false;
        return true;
    }

    // Queues every new extension whose preset holds the new condition.
    void add_candidates(int newcond) {
        const int p = cond_place_[newcond];
        for (int t = 0; t < net_.transitions(); ++t) {
            const auto& pre = net_.pre[t];
            if (std::find(pre.begin(), pre.end(), p) == pre.end()) continue;
            std::vector<int> chosen(pre.size(), -1);
            choose(t, 0, chosen, newcond);
        }
    }

    // Chooses a condition for input place k and on (the depth is bounded by
    // the preset size of one transition).
    void choose(int t, std::size_t k, std::vector<int>& chosen, int newcond) {
        const auto& pre = net_.pre[t];
        if (k == pre.size()) {
            if (std::find(chosen.begin(), chosen.end(), newcond) == chosen.end()) return;
            std::vector<int> key(chosen);
            std::sort(key.begin(), key.end());
            if (made_.count({t, key})) return;
            Bits h;
            if (!history(chosen, h)) return;
            made_.insert({t, key});
            int size = 1;
            for (std::size_t i = 1; i < h.size(); ++i) size += h[i];
            queue_.insert({size, seq_++, t, chosen});
            return;
        }
        const auto first = chosen.begin(), upto = chosen.begin() + static_cast<long>(k);
        for (int c = 0; c < static_cast<int>(cond_place_.size()); ++c) {
            if (cond_place_[c] != pre[k]) continue;
            const int e = cond_pre_[c];
            if (e && cutoff_[e]) continue;
            if (std::find(first, upto, c) != upto) continue;
            chosen[k] = c;
            choose(t, k + 1, chosen, newcond);
        }
        chosen[k] = -1;
    }

    int new_condition(int place, int pre) {
        cond_place_.push_back(place);
        cond_pre_.push_back(pre);
        cond_post_.emplace_back();
        return static_cast<int>(cond_place_.size()) - 1;
    }

    Marking marking(const Bits& config) const {
        Marking m = net_.m0;
        for (std::size_t e = 1; e < config.size(); ++e) {
            if (!config[e]) continue;
            const int t = ev_trans_[e - 1];
            for (int p : net_.pre[t]) m[p]--;
            for (int p : net_.post[t]) m[p]++;
        }
        return m;
    }

    std::vector<std::uint32_t> greedy_configuration() const {
        std::vector<char> in_cut(cond_place_.size(), 0);
        std::vector<std::vector<int>> ev_post(ev_trans_.size() + 1);
        for (std::size_t c = 0; c < cond_place_.size(); ++c) {
            in_cut[c] = cond_pre_[c] == 0;
            if (cond_pre_[c]) ev_post[cond_pre_[c]].push_back(static_cast<int>(c));
        }
        std::vector<std::uint32_t> conf;
        for (std::size_t e = 1; e <= ev_trans_.size(); ++e) {
            bool ok = true;
            for (int c : ev_pre_[e]) ok = ok && in_cut[c];
            if (!ok) continue;
            for (int c : ev_pre_[e]) in_cut[c] = 0;
            for (int c : ev_post[e]) in_cut[c] = 1;
            conf.push_back(static_cast<std::uint32_t>(e));
        }
        return conf;
    }

    const TestNet& net_;
    std::vector<int> cond_place_, cond_pre_;
    std::vector<std::vector<int>> cond_post_;
    std::vector<int> ev_trans_;                     // 0-based transitions
    std::vector<Bits> local_;                       // per event (0 unused): its local configuration
    std::vector<bool> cutoff_;
    std::vector<std::vector<int>> ev_pre_;
    std::vector<std::pair<int, int>> cutoffs_;      // (cut-off, corresponding or 0), detection order
    std::map<Marking, std::pair<int, int>> seen_;   // marking -> (size, first event reaching it)
    std::set<std::pair<int, std::vector<int>>> made_;  // (transition, sorted preset)
    std::set<std::tuple<int, int, int, std::vector<int>>> queue_;  // (size, sequence, transition, preset)
    int seq_ = 0;
};

}  // namespace

Prefix unfold_prefix(const TestNet& net, const UnfoldOptions& options) {
    return Unfolder(net).run(options);
}

void put_word(std::vector<unsigned char>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

std::vector<unsigned char> mci_bytes(const Prefix& p) {
    std::vector<unsigned char> out;
    put_word(out, static_cast<std::uint32_t>(p.conds.size()));
    put_word(out, static_cast<std::uint32_t>(p.event_trans.size()));
    for (std::uint32_t t : p.event_trans) put_word(out, t);
    for (const auto& c : p.conds) {
        put_word(out, c.place);
        put_word(out, c.pre);
        for (std::uint32_t e : c.post) put_word(out, e);
        put_word(out, 0);
    }
    for (const auto& [e, corr] : p.cutoffs) {
        put_word(out, e);
        put_word(out, corr);
    }
    put_word(out, 0);
    for (const auto& conf : p.configs) {
        for (std::uint32_t e : conf) put_word(out, e);
        put_word(out, 0);
    }
    put_word(out, 0);
    std::size_t longest = 0;
    for (const auto& n : p.places) longest = std::max(longest, n.size());
    for (const auto& n : p.transitions) longest = std::max(longest, n.size());
    put_word(out, static_cast<std::uint32_t>(p.places.size()));
    put_word(out, static_cast<std::uint32_t>(p.transitions.size()));
    put_word(out, static_cast<std::uint32_t>(longest));
    for (const auto& n : p.places) {
        out.insert(out.end(), n.begin(), n.end());
        out.push_back(0);
    }
    out.push_back(0);
    for (const auto& n : p.transitions) {
        out.insert(out.end(), n.begin(), n.end());
        out.push_back(0);
    }
    out.push_back(0);
    return out;
}

std::string mci_string(const Prefix& p) {
    const std::vector<unsigned char> b = mci_bytes(p);
    return std::string(b.begin(), b.end());
}

bool write_mci(const Prefix& p, const std::string& path) {
    const std::vector<unsigned char> b = mci_bytes(p);
    std::ofstream o(path, std::ios::binary);
    o.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return static_cast<bool>(o);
}

}  // namespace testsupport
