// The cuts of local configurations, hashed and compared without forming them.
//
// The hash of a cut is the sum of a random key per token, so it follows the
// marking as a multiset: firing an event adds its transition's effect (keys
// of its output places minus keys of its input places).  The summary of [e]
// (size, hash, number of tokens) is that of one event below e's inputs plus
// the effects of the events [e] adds to it, which a walk over the difference
// of both configurations finds; when e's inputs come from one event, as along
// a token passed round a ring, no walk is needed at all.  Two cuts with the
// same hash and length are compared by the effects of the events in which
// their configurations differ.  The cost follows those differences, never the
// size of the configurations or the number of places.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "histwalk.h"
#include "unfold.h"

namespace trelmik {

class CutIndex {
public:
    // Sets up a run over `net`: place keys, transition effects, the initial
    // marking (the places holding a token) and an empty table.
    void reset(const InputNet& net) {
        const std::uint32_t P = net.places();
        place_key_.resize(P);
        place_count_.assign(P, 0);
        initial_hash_ = 0;
        initial_length_ = 0;
        for (std::uint32_t p = 0; p < P; ++p) {
            place_key_[p] = splitmix64(p + 0x5851f42d4c957f2dull);
            if (net.marking[p] == 0) continue;
            ++initial_length_;
            initial_hash_ += place_key_[p];
        }
        const std::uint32_t T = net.transitions();
        effect_hash_.assign(T, 0);
        effect_length_.assign(T, 0);
        for (std::uint32_t t = 0; t < T; ++t) {
            for (std::uint32_t p : net.post[t]) effect_hash_[t] += place_key_[p];
            for (std::uint32_t p : net.pre[t]) effect_hash_[t] -= place_key_[p];
            effect_length_[t] = static_cast<std::int32_t>(net.post[t].size()) - static_cast<std::int32_t>(net.pre[t].size());
        }
        summaries_.clear();
        slots_.assign(1024, 0);
    }

    std::uint64_t initial_hash() const { return initial_hash_; }
    std::uint32_t initial_length() const { return initial_length_; }

    struct Summary {
        std::uint32_t size;     // |[e]|
        std::uint64_t hash;
        std::uint32_t length;   // tokens of the cut
    };

    // The summary of [e], kept for the events above e; every event below
    // e's inputs has been analysed before.  Events may be analysed in any
    // order that respects causality.
    Summary analyse(const Prefix& pf, std::uint32_t e) {
        // The events that produce e's inputs; the one with the largest
        // configuration is the base.
        std::uint32_t base = 0, others = 0;
        for (std::uint32_t i = pf.ev_pre_begin[e - 1]; i < pf.ev_pre_begin[e]; ++i) {
            const std::uint32_t g = pf.cond_pre[pf.ev_pre_conds[i] - 1];
            if (g == 0 || g == base) continue;
            if (base == 0) {
                base = g;
            } else {
                ++others;
                if (summary(g).size > summary(base).size || (summary(g).size == summary(base).size && g > base))
                    base = g;
            }
        }
        Summary s = base == 0 ? Summary{0, initial_hash_, initial_length_} : summary(base);
        if (others != 0) {
            // Add the events below the other producers that [base] lacks.
            walk_.start(pf, TwoSidedWalk::kRight);
            walk_.seed(base, TwoSidedWalk::kLeft);
            for (std::uint32_t i = pf.ev_pre_begin[e - 1]; i < pf.ev_pre_begin[e]; ++i) {
                const std::uint32_t g = pf.cond_pre[pf.ev_pre_conds[i] - 1];
                if (g != base) walk_.seed(g, TwoSidedWalk::kRight);
            }
            walk_.run(pf, [&](std::uint32_t f, std::uint8_t) { fire(s, pf.ev_trans[f - 1]); });
        }
        fire(s, pf.ev_trans[e - 1]);
        if (summaries_.size() < e) summaries_.resize(e, Summary{0, 0, 0});
        summaries_[e - 1] = s;
        return s;
    }

    // The summary of an analysed event.
    const Summary& summary(std::uint32_t e) const { return summaries_[e - 1]; }

    // Whether the cuts of [e] and [f] are the same marking (0 = the initial
    // marking): the events in only one of the configurations add up to the
    // same effect on every place.
    bool same_cut(const InputNet& net, const Prefix& pf, std::uint32_t e, std::uint32_t f) {
        if (e == f) return true;
        walk_.start(pf, TwoSidedWalk::kBoth);
        walk_.seed(e, TwoSidedWalk::kLeft);
        walk_.seed(f, TwoSidedWalk::kRight);
        touched_.clear();
        walk_.run(pf, [&](std::uint32_t x, std::uint8_t side) {
            const std::int32_t sign = side == TwoSidedWalk::kLeft ? 1 : -1;
            const std::uint32_t t = pf.ev_trans[x - 1];
            for (std::uint32_t p : net.post[t]) count(p, sign);
            for (std::uint32_t p : net.pre[t]) count(p, -sign);
        });
        bool same = true;
        for (std::uint32_t p : touched_) {
            if (place_count_[p] != 0) same = false;
            place_count_[p] = 0;
        }
        return same;
    }

    // The index into pf.cuts of the first record with this hash and length
    // for which same(index) holds, or -1.  The slot where the search ended is
    // kept for insert().
    template <class Same>
    std::int64_t find(const Prefix& pf, std::uint64_t hash, std::uint32_t length, Same&& same) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = hash & mask;
        while (slots_[i] != 0) {
            const CutRecord& r = pf.cuts[slots_[i] - 1];
            if (r.hash == hash && r.length == length && same(slots_[i] - 1)) return slots_[i] - 1;
            i = (i + 1) & mask;
        }
        free_slot_ = i;
        return -1;
    }

    // Enters the newest record of pf.cuts after a find() that failed.
    void insert(const Prefix& pf) {
        slots_[free_slot_] = static_cast<std::uint32_t>(pf.cuts.size());
        if (pf.cuts.size() * 2 <= slots_.size()) return;
        std::vector<std::uint32_t> bigger(slots_.size() * 2, 0);
        const std::size_t mask = bigger.size() - 1;
        for (std::uint32_t k = 0; k < pf.cuts.size(); ++k) {
            std::size_t j = pf.cuts[k].hash & mask;
            while (bigger[j] != 0) j = (j + 1) & mask;
            bigger[j] = k + 1;
        }
        slots_.swap(bigger);
    }

private:
    static std::uint64_t splitmix64(std::uint64_t x) {
        x += 0x9e3779b97f4a7c15ull;
        x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
        x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
        return x ^ (x >> 31);
    }

    void fire(Summary& s, std::uint32_t t) const {
        s.size += 1;
        s.hash += effect_hash_[t];
        s.length = static_cast<std::uint32_t>(static_cast<std::int64_t>(s.length) + effect_length_[t]);
    }

    void count(std::uint32_t p, std::int32_t by) {
        if (place_count_[p] == 0) touched_.push_back(p);
        place_count_[p] += by;
    }

    std::vector<std::uint64_t> place_key_;
    std::vector<std::uint64_t> effect_hash_;    // per transition
    std::vector<std::int32_t> effect_length_;   // per transition
    std::vector<std::int32_t> place_count_;     // effects summed by same_cut, 0 between calls
    std::vector<std::uint32_t> touched_;
    std::vector<Summary> summaries_;            // per analysed event
    TwoSidedWalk walk_;
    std::uint64_t initial_hash_ = 0;
    std::uint32_t initial_length_ = 0;
    std::vector<std::uint32_t> slots_;  // record index + 1
    std::size_t free_slot_ = 0;
};

}  // namespace trelmik
