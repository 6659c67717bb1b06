// Walks shared by the unfolding loops.
//
// Possible extensions: for a new condition c,
// every co-set that c completes with older conditions in the preset of an
// output transition of its place.  Because only existing conditions are
// combined, each co-set is found once, from its newest condition.  Co tests
// are decided from the histories of the conditions (CoTest), so no
// per-condition set is needed.
//
// The conditions of one place are never concurrent with each other (a second
// token on a place ends the run), so any two of them are causally ordered or
// in conflict.  When an older condition d of a place lies in the history of
// c (its producer is an event of c's history, or it is initial), every
// condition of that place older than d precedes d or is in conflict with d,
// hence with c: the conditions of a place are asked about newest first, and
// the search stops at the first one in c's history.  So a place with a long
// past costs what its conditions since c's history cost.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "cotest.h"
#include "unfold.h"

namespace trelmik {

class ExtensionFinder {
public:
    // Sizes the per-place caches; call before a run.
    void reset(std::size_t places) {
        cache_round_ = 0;
        cache_stamp_.assign(places, 0);
        cache_.assign(places, {});
        filled_.clear();
        co_ = CoTest();
        pair_ = CoTest();
    }

    // Calls emit(t, conds, n) for every co-set: conds[0] is c, then one
    // condition per other input place of t (presets of two: the other
    // place's conditions newest first; larger presets: depth first, the first
    // place outermost, each candidate set in ascending order).  place_conds
    // holds the conditions of each place in ascending number.
    template <class Emit>
    void find(std::uint32_t c, const InputNet& net, const Prefix& pf,
              const std::vector<std::vector<std::uint32_t>>& place_conds, Emit&& emit) {
        const std::uint32_t p = pf.cond_place[c - 1];
        if (++cache_round_ == 0) {
            std::fill(cache_stamp_.begin(), cache_stamp_.end(), 0);
            cache_round_ = 1;
        }
        anchored_ = co_.anchored() == c;  // by concurrent_in just before
        for (std::uint32_t t : net.place_post[p]) {
            const ListTable::List pre = net.pre[t];
            if (pre.size() == 1) {
                emit(t, &c, std::size_t{1});
                continue;
            }
            if (pre.size() == 2) {
                const std::uint32_t q = pre[0] == p ? pre[1] : pre[0];
                const std::vector<std::uint32_t>& cand = candidates(c, q, pf, place_conds).conds;
                std::uint32_t pair[2] = {c, 0};
                for (auto it = cand.rbegin(); it != cand.rend(); ++it) {  // newest first
                    pair[1] = *it;
                    emit(t, pair, std::size_t{2});
                }
                continue;
            }
            // A preset with a place that has no condition yet has no co-set;
            // places never lose their conditions, so the places found filled
            // are not looked at again.
            if (filled_.size() < net.transitions()) filled_.resize(net.transitions(), 0);
            std::uint32_t& filled = filled_[t];
            while (filled < pre.size() && !place_conds[pre[filled]].empty()) ++filled;
            if (filled < pre.size()) continue;
            lists_.clear();
            bool none = false;
            for (std::uint32_t q : pre) {
                if (q == p) continue;
                const Candidates& cand = candidates(c, q, pf, place_conds);
                if (cand.conds.empty()) { none = true; break; }
                lists_.push_back(&cand);
            }
            if (none) continue;
            const std::size_t m = lists_.size();
            chosen_.assign(m + 1, 0);
            outside_.assign(m + 1, 0);
            outside_count_.assign(m + 1, 0);
            pos_.assign(m, 0);
            chosen_[0] = c;
            std::size_t level = 0;
            for (;;) {
                if (pos_[level] == lists_[level]->conds.size()) {
                    pos_[level] = 0;
                    if (level == 0) break;
                    --level;
                    ++pos_[level];
                    continue;
                }
                const std::uint32_t x = lists_[level]->conds[pos_[level]];
                const std::uint8_t x_in_cut = lists_[level]->in_cut[pos_[level]];
                // Two conditions of the cut of c's history are concurrent: a
                // condition of that cut is tested only against the chosen
                // ones outside it.
                const std::uint32_t* against = x_in_cut ? outside_.data() : chosen_.data() + 1;
                const std::size_t n = x_in_cut ? outside_count_[level] : level;
                bool ok = true;
                for (std::size_t j = 0; j < n && ok; ++j) {
                    const std::uint32_t y = against[j];
                    if (pair_.anchored() != y) pair_.anchor(pf, y);
                    ok = pair_.with(pf, x);
                }
                if (!ok) { ++pos_[level]; continue; }
                chosen_[level + 1] = x;
                outside_count_[level + 1] = outside_count_[level];
                if (!x_in_cut) outside_[outside_count_[level + 1]++] = x;
                if (level + 1 == m) {
                    emit(t, static_cast<const std::uint32_t*>(chosen_.data()), m + 1);
                    ++pos_[level];
                } else {
                    ++level;
                }
            }
        }
    }

    // An older condition of `conds` concurrent with the new condition c, 0
    // when there is none.  Anchors on c, so a find for c that follows at
    // once reuses the walk of c's history.
    std::uint32_t concurrent_in(std::uint32_t c, const Prefix& pf, const std::vector<std::uint32_t>& conds) {
        if (conds.empty()) return 0;
        co_.anchor(pf, c);
        std::uint32_t found = 0;
        newest_first(pf, conds, [&](std::uint32_t d, bool) {
            found = d;
            return false;
        });
        return found;
    }

private:
    // The conditions of one place concurrent with c in ascending order, and
    // for each whether it lies in the cut of c's history (is initial or made
    // by an event of that history).
    struct Candidates {
        std::vector<std::uint32_t> conds;
        std::vector<std::uint8_t> in_cut;
    };

    // The candidates of place q, cached for one find call.
    const Candidates& candidates(std::uint32_t c, std::uint32_t q, const Prefix& pf,
                                 const std::vector<std::vector<std::uint32_t>>& place_conds) {
        Candidates& out = cache_[q];
        if (cache_stamp_[q] == cache_round_) return out;
        cache_stamp_[q] = cache_round_;
        out.conds.clear();
        out.in_cut.clear();
        const std::vector<std::uint32_t>& conds = place_conds[q];
        if (conds.empty()) return out;
        if (!anchored_) {
            co_.anchor(pf, c);
            anchored_ = true;
        }
        newest_first(pf, conds, [&](std::uint32_t d, bool in_cut) {
            out.conds.push_back(d);
            out.in_cut.push_back(in_cut);
            return true;
        });
        std::reverse(out.conds.begin(), out.conds.end());
        std::reverse(out.in_cut.begin(), out.in_cut.end());
        return out;
    }

    // Calls take(d, in_cut) for the conditions d of one place (ascending in
    // conds) that are concurrent with the anchor of co_, newest first, while
    // take returns true; in_cut tells that d lies in the cut of the anchor's
    // history.  Stops after the first condition made in that history.
    template <class Take>
    void newest_first(const Prefix& pf, const std::vector<std::uint32_t>& conds, Take&& take) {
        for (auto it = conds.rbegin(); it != conds.rend(); ++it) {
            bool below = false;
            if (co_.with(pf, *it, &below) && !take(*it, below)) return;
            if (below) return;
        }
    }

    std::uint32_t cache_round_ = 0;
    std::vector<std::uint32_t> cache_stamp_;
    std::vector<std::uint32_t> filled_;  // per transition: leading preset places known to have conditions
    std::vector<Candidates> cache_;
    std::vector<std::uint32_t> chosen_, pos_;
    // outside_[0, outside_count_[k]): the chosen conditions among
    // chosen_[1, k] that lie outside the cut of c's history.
    std::vector<std::uint32_t> outside_, outside_count_;
    std::vector<const Candidates*> lists_;
    CoTest co_;      // anchored on the new condition
    CoTest pair_;    // pairs of older conditions (presets of three or more)
    bool anchored_ = false;
};

// The cut of the local configuration [e] as ascending 1-based place numbers.
// Stamps every condition consumed in [e] and every event of [e] but e with st
// (the caller's fresh stamp), and leaves the events of [e] but e in visited.
inline void compute_local_cut(const InputNet& net, const Prefix& pf, std::uint32_t e, std::uint32_t st,
                              std::vector<std::uint32_t>& ev_stamp, std::vector<std::uint32_t>& cond_stamp,
                              std::vector<std::uint32_t>& stack, std::vector<std::uint32_t>& visited,
                              std::vector<std::uint32_t>& others, std::vector<std::uint32_t>& out) {
    stack.clear();
    visited.clear();
    auto take_pres = [&](std::uint32_t f) {
        for (std::uint32_t i = pf.ev_pre_begin[f - 1]; i < pf.ev_pre_begin[f]; ++i) {
            const std::uint32_t c = pf.ev_pre_conds[i];
            cond_stamp[c - 1] = st;
            const std::uint32_t g = pf.cond_pre[c - 1];
            if (g != 0 && ev_stamp[g - 1] != st) {
                ev_stamp[g - 1] = st;
                stack.push_back(g);
            }
        }
    };
    take_pres(e);
    while (!stack.empty()) {
        const std::uint32_t f = stack.back();
        stack.pop_back();
        visited.push_back(f);
        take_pres(f);
    }
    // The places marked by events of [e] (usually few) are sorted; those of
    // the initial conditions left are in ascending order already; merge both.
    others.clear();
    for (std::uint32_t f : visited) {
        const std::uint32_t first = pf.ev_post_first[f - 1];
        for (std::uint32_t x = first; x < first + pf.ev_post_count[f - 1]; ++x)
            if (cond_stamp[x - 1] != st) others.push_back(pf.cond_place[x - 1] + 1);
    }
    for (std::uint32_t p : net.post[pf.ev_trans[e - 1]]) others.push_back(p + 1);
    std::sort(others.begin(), others.end());
    out.clear();
    std::size_t k = 0;
    auto put = [&](std::uint32_t p) {
        if (out.empty() || out.back() != p) out.push_back(p);
    };
    for (std::uint32_t x = 1; x <= pf.initial_conditions; ++x) {
        if (cond_stamp[x - 1] == st) continue;
        const std::uint32_t p = pf.cond_place[x - 1] + 1;
        while (k < others.size() && others[k] <= p) put(others[k++]);
        put(p);
    }
    while (k < others.size()) put(others[k++]);
}

}  // namespace trelmik
