// Possible extensions shared by the unfolding loops: for a new condition c,
// every co-set that c completes with older conditions in the preset of an
// output transition of its place.  Because only existing conditions are
// combined, each co-set is found once, from its newest condition.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "coset.h"
#include "unfold.h"

namespace trelmik {

class ExtensionFinder {
public:
    // Sizes the per-place caches; call before a run.
    void reset(std::size_t places) {
        cache_round_ = 0;
        cache_stamp_.assign(places, 0);
        cache_.assign(places, {});
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
        for (std::uint32_t t : net.place_post[p]) {
            const std::vector<std::uint32_t>& pre = net.pre[t];
            if (pre.size() == 1) {
                emit(t, &c, std::size_t{1});
                continue;
            }
            if (pre.size() == 2) {
                const std::uint32_t q = pre[0] == p ? pre[1] : pre[0];
                const std::vector<std::uint32_t>& cand = candidates(c, q, pf, place_conds);
                std::uint32_t pair[2] = {c, 0};
                for (auto it = cand.rbegin(); it != cand.rend(); ++it) {  // newest first
                    pair[1] = *it;
                    emit(t, pair, std::size_t{2});
                }
                continue;
            }
            lists_.clear();
            bool none = false;
            for (std::uint32_t q : pre) {
                if (q == p) continue;
                const std::vector<std::uint32_t>& cand = candidates(c, q, pf, place_conds);
                if (cand.empty()) { none = true; break; }
                lists_.push_back(&cand);
            }
            if (none) continue;
            const std::size_t m = lists_.size();
            chosen_.assign(m + 1, 0);
            pos_.assign(m, 0);
            chosen_[0] = c;
            std::size_t level = 0;
            for (;;) {
                if (pos_[level] == lists_[level]->size()) {
                    pos_[level] = 0;
                    if (level == 0) break;
                    --level;
                    ++pos_[level];
                    continue;
                }
                const std::uint32_t x = (*lists_[level])[pos_[level]];
                // The newer condition's set holds every older concurrent one.
                bool ok = true;
                for (std::size_t j = 1; j <= level && ok; ++j) {
                    const std::uint32_t y = chosen_[j];
                    ok = x > y ? pf.co[x - 1].contains(y) : pf.co[y - 1].contains(x);
                }
                if (!ok) { ++pos_[level]; continue; }
                chosen_[level + 1] = x;
                if (level + 1 == m) {
                    emit(t, static_cast<const std::uint32_t*>(chosen_.data()), m + 1);
                    ++pos_[level];
                } else {
                    ++level;
                }
            }
        }
    }

private:
    // The conditions of place q concurrent with c, cached for one find call.
    const std::vector<std::uint32_t>& candidates(std::uint32_t c, std::uint32_t q, const Prefix& pf,
                                                 const std::vector<std::vector<std::uint32_t>>& place_conds) {
        std::vector<std::uint32_t>& out = cache_[q];
        if (cache_stamp_[q] == cache_round_) return out;
        cache_stamp_[q] = cache_round_;
        out.clear();
        const std::vector<std::uint32_t>& conds = place_conds[q];
        const CoSet& co = pf.co[c - 1];
        if (conds.empty() || co.empty()) return out;
        // Either look up every condition of the place in the co set, or cut
        // the place's (sorted) conditions by the runs of the co set;
        // whichever is cheaper.
        auto log2 = [](std::size_t n) { std::size_t l = 1; while (n > 1) { n >>= 1; ++l; } return l; };
        const std::size_t by_cond = co.dense() ? 0 : conds.size() * log2(co.runs());
        const std::size_t by_run = co.dense() ? 1 : co.runs() * log2(conds.size());
        if (by_cond <= by_run) {
            for (std::uint32_t d : conds)
                if (co.contains(d)) out.push_back(d);
        } else {
            auto it = conds.begin();
            for (std::size_t r = 0; r < co.runs() && it != conds.end(); ++r) {
                it = std::lower_bound(it, conds.end(), co.run_lo(r));
                while (it != conds.end() && *it <= co.run_hi(r)) out.push_back(*it++);
            }
        }
        return out;
    }

    std::uint32_t cache_round_ = 0;
    std::vector<std::uint32_t> cache_stamp_;
    std::vector<std::vector<std::uint32_t>> cache_;
    std::vector<std::uint32_t> chosen_, pos_;
    std::vector<const std::vector<std::uint32_t>*> lists_;
};

}  // namespace trelmik
